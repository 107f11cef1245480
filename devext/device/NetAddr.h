// Network address of a process: an IPv4 address as the socket calls give it (network byte
// order, 0 = unset) and a port in host order, with the conversions to and from sockaddr_in and
// the 8-byte form it takes inside a network head.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>

struct tagNetAddr {
    uint32_t ip = 0;   // network byte order
    uint16_t port = 0; // host order

    friend bool operator==(const tagNetAddr &, const tagNetAddr &) = default;
};

inline sockaddr_in ToSockAddr(uint32_t ip, uint16_t port)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = ip;
    sa.sin_port = htons(port);
    return sa;
}

inline sockaddr_in ToSockAddr(const tagNetAddr &addr)
{
    return ToSockAddr(addr.ip, addr.port);
}

inline tagNetAddr FromSockAddr(const sockaddr_in &sa)
{
    return tagNetAddr{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
}

// The address in dotted form ("127.0.0.1"); `ip` in network byte order.
inline void IpText(uint32_t ip, char (&text)[INET_ADDRSTRLEN])
{
    in_addr addr;
    addr.s_addr = ip;
    if (!inet_ntop(AF_INET, &addr, text, sizeof text)) text[0] = '\0';
}

// Inside a network head an address takes 8 bytes: the IP address in network byte order, the
// port little-endian, then two reserved bytes that a reply carries back unchanged.
inline constexpr int kNetAddrWireSize = 8;

inline void PutNetAddr(uint8_t *out, const tagNetAddr &addr, uint16_t reserved)
{
    const uint32_t ip = ntohl(addr.ip);
    out[0] = static_cast<uint8_t>(ip >> 24);
    out[1] = static_cast<uint8_t>(ip >> 16);
    out[2] = static_cast<uint8_t>(ip >> 8);
    out[3] = static_cast<uint8_t>(ip);
    out[4] = static_cast<uint8_t>(addr.port);
    out[5] = static_cast<uint8_t>(addr.port >> 8);
    out[6] = static_cast<uint8_t>(reserved);
    out[7] = static_cast<uint8_t>(reserved >> 8);
}

inline tagNetAddr GetNetAddr(const uint8_t *in, uint16_t *reserved = nullptr)
{
    const uint32_t ip =
        uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
    if (reserved) *reserved = static_cast<uint16_t>(in[6] | in[7] << 8);
    return tagNetAddr{htonl(ip), static_cast<uint16_t>(in[4] | in[5] << 8)};
}
