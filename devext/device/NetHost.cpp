#include "devext/device/NetHost.h"

#include "devext/device/NetAddr.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr int kMaxHostName = 128;

bool LocalHostName(CString &name)
{
    char buf[kMaxHostName + 1] = {};
    if (gethostname(buf, kMaxHostName) != 0) return false;
    name = buf;
    return true;
}

std::vector<uint32_t> LocalAddresses()
{
    std::vector<uint32_t> addresses;
    CString name;
    if (LocalHostName(name)) ResolveIPv4(name, addresses);
    return addresses;
}

CString UpToFirstDot(const CString &name)
{
    const int dot = name.Find('.');
    return dot < 0 ? name : name.Left(dot);
}

} // namespace

bool ResolveIPv4(const char *name, std::vector<uint32_t> &addresses, CString *official)
{
    addresses.clear();
    if (!name || !*name) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address
    hints.ai_flags = official ? AI_CANONNAME : 0;
    addrinfo *list = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &list) != 0) return false;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
        addresses.push_back(reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr);
    }
    if (official) *official = list && list->ai_canonname ? list->ai_canonname : name;
    freeaddrinfo(list);
    return !addresses.empty();
}

int glGetLocalAddresses(CDWordArray &addresses)
{
    addresses.RemoveAll();
    for (uint32_t ip : LocalAddresses()) addresses.Add(ip);
    return addresses.GetSize();
}

int glIsLocalAddress(uint32_t ip)
{
    const std::vector<uint32_t> local = LocalAddresses();
    return std::find(local.begin(), local.end(), ip) != local.end() ? 1 : 0;
}

int glIsLocalSubnet(uint32_t ip)
{
    const uint32_t mask = htonl(0xFFFFFF00u);
    const std::vector<uint32_t> local = LocalAddresses();
    return std::any_of(local.begin(), local.end(),
                       [&](uint32_t a) { return (a & mask) == (ip & mask); })
               ? 1
               : 0;
}

CString glGetHostName(const char *text, bool shortName)
{
    CString name = text ? text : "";
    name.Trim(' ');
    std::vector<uint32_t> addresses;
    CString official;
    if (!ResolveIPv4(name, addresses, &official)) return name;
    if (shortName && glIsLocalSubnet(addresses.front())) return UpToFirstDot(official);
    return official;
}

CString glGetLocalHostName()
{
    CString name;
    return LocalHostName(name) ? UpToFirstDot(name) : CString();
}

uint32_t glGetAddressByName(const char *name)
{
    std::vector<uint32_t> addresses;
    if (!ResolveIPv4(name, addresses)) return 0;
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    const auto it =
        std::find_if(addresses.begin(), addresses.end(), [&](uint32_t a) { return a != loopback; });
    return it != addresses.end() ? *it : addresses.back();
}

CString glGetNameByAddress(uint32_t ip)
{
    const sockaddr_in sa = ToSockAddr(ip, 0);
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&sa), sizeof sa, host, sizeof host, nullptr,
                    0, NI_NAMEREQD) != 0)
        return CString();
    return host;
}
