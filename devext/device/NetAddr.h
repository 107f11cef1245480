// Network address of a process: an IPv4 address as the socket calls give it (network byte
// order, 0 = unset) and a port in host order, with the conversions to and from sockaddr_in.
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
