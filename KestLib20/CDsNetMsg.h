// A base for objects that want the kernel's command-48 messages (and its events): a callback
// registered with the kernel forwards each message to OnRecvNetMsg. Messages arrive on the
// kernel's receive thread at any time, so the derived class registers once it is fully built
// (Register) and unregisters in its own destructor, never reaching a half-built object.
#pragma once

#include "KestLib20/IDSKernel.h"

#include <cstdint>

class CDsNetMsg {
public:
    // For `kernel` (none: nothing is received); registers nothing yet.
    explicit CDsNetMsg(IDSKernel *kernel) : m_pKernel(kernel) {}
    virtual ~CDsNetMsg();
    CDsNetMsg(const CDsNetMsg &) = delete;
    CDsNetMsg &operator=(const CDsNetMsg &) = delete;

    // The callback id; 0 without a kernel. Registering twice keeps the first registration.
    int32_t Register();
    // Waits for a call in progress unless made from inside it; 1 when one was registered.
    int32_t Unregister();
    // Returns 0 here.
    virtual int32_t OnRecvNetMsg(tagNetMsgHeader &header, const char **arguments);

private:
    IDSKernel *m_pKernel;
    int32_t m_nCallBack = 0;
};
