// Host names and addresses of IPv4 hosts, through the system resolver. Addresses are in
// network byte order, as the socket calls give them.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <vector>

// Every address of the local host name into `addresses`; returns their count.
DEVEXT20_API int glGetLocalAddresses(CDWordArray &addresses);
// 1 when `ip` is one of the local addresses.
DEVEXT20_API int glIsLocalAddress(uint32_t ip);
// 1 when the first three bytes of `ip` equal those of a local address.
DEVEXT20_API int glIsLocalSubnet(uint32_t ip);
// The official name of the host `text` names (spaces trimmed), cut at its first "." when
// `shortName` is asked and the host lies in a local subnet; the trimmed text when it does not
// resolve.
DEVEXT20_API CString glGetHostName(const char *text, bool shortName);
// The local host name up to its first "."; empty when it cannot be read.
DEVEXT20_API CString glGetLocalHostName();
// The name's first address other than 127.0.0.1 (127.0.0.1 when it has no other); 0 when the
// name does not resolve.
DEVEXT20_API uint32_t glGetAddressByName(const char *name);
// The host name of an address; empty when it has none.
DEVEXT20_API CString glGetNameByAddress(uint32_t ip);

// The IPv4 addresses of `name` in the resolver's order, and its official name when asked.
// False when it does not resolve.
bool ResolveIPv4(const char *name, std::vector<uint32_t> &addresses, CString *official = nullptr);
