// Resolves a process of the station to the UDP address of its packet dispatcher: by URL
// through the management service of the host the URL names, or through the
// distributed-system kernel.
#pragma once

#include "KestLib20/tagURL.h"
#include "devext/Devext20Api.h"
#include "devext/device/NetAddr.h"

#include <cstdint>

class DEVEXT20_API CNetAddress {
public:
    CNetAddress() = default;
    CNetAddress(const tagNetAddr &addr) : m_addr(addr) {}
    CNetAddress &operator=(const tagNetAddr &addr)
    {
        m_addr = addr;
        return *this;
    }

    const tagNetAddr &GetAddr() const { return m_addr; }
    operator const tagNetAddr &() const { return m_addr; }

    // A text that parses as a URL: GetByUrl. Otherwise the address becomes 127.0.0.1 with
    // the port of this process's dispatcher (0 without one), and the result is 0.
    int GetByName(const char *text, uint16_t *serviceId);
    // Without `serviceId`: GetByDS. Otherwise asks the management service on the URL's host
    // for the port of the process named by the URL's path and, once found, for the id of the
    // service named by its query; 1 when the port was found.
    int GetByUrl(const tagURL &url, uint16_t *serviceId);
    // Through the distributed-system kernel: the process whose program name is the URL's
    // path, on the node of the URL's host ("any": every node); 1 when both its port and its
    // address are known, else 0 and the address zeroed.
    int GetByDS(const tagURL &url);

private:
    tagNetAddr m_addr;
};
