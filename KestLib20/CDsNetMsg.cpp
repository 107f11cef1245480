#include "KestLib20/CDsNetMsg.h"

CDsNetMsg::~CDsNetMsg()
{
    Unregister();
}

int32_t CDsNetMsg::Register()
{
    if (!m_pKernel) return 0;
    if (!m_nCallBack) {
        m_nCallBack = m_pKernel->RegisterCallBack(
            this, [](void *self, tagNetMsgHeader &header, const char **arguments) -> int32_t {
                return static_cast<CDsNetMsg *>(self)->OnRecvNetMsg(header, arguments);
            });
    }
    return m_nCallBack;
}

int32_t CDsNetMsg::Unregister()
{
    if (!m_pKernel || !m_nCallBack) return 0;
    m_pKernel->UnregisterCallBack(m_nCallBack);
    m_nCallBack = 0;
    return 1;
}

int32_t CDsNetMsg::OnRecvNetMsg(tagNetMsgHeader &, const char **)
{
    return 0;
}
