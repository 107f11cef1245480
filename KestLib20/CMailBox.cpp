#include "KestLib20/CMailBox.h"

#include "platform/Gbk.h"

#include <cstring>

int32_t IMailBoxA::Register()
{
    IPostOffice **slot = GetMailBoxInfo().office;
    IPostOffice *office = slot ? *slot : nullptr;
    return office ? office->Register(this) : 0;
}

int32_t IMailBoxA::Unregister()
{
    IPostOffice **slot = GetMailBoxInfo().office;
    IPostOffice *office = slot ? *slot : nullptr;
    // A box that is not registered must not remove another box that holds its wanted id.
    const int32_t result = office && IsRegistered() ? office->Unregister(GetMailBoxInfo().id) : 0;
    SetRegistered(0);
    SetEnabled(0);
    OnCtrl(kCtrlStopWait, 0);
    return result;
}

int32_t IMailBoxA::DeliverMail(CPacket &packet)
{
    if (!IsEnabled()) return 0;
    return OnRecvMail(GetMailBoxInfo().id, packet);
}

CMailBoxA::CMailBoxA(IPostOffice *office, int32_t id)
{
    m_info.office = office ? office->GetActivePtr() : nullptr;
    m_info.id = id;
}

CMailBoxA::~CMailBoxA()
{
    CMailBoxA::DisableMailBox();
    Unregister();
}

int32_t CMailBoxA::EnableMailBox()
{
    const int32_t id = IsRegistered() ? m_info.id : Register();
    SetEnabled(id);
    return id;
}

int32_t CMailBoxA::DisableMailBox()
{
    SetEnabled(0);
    OnCtrl(kCtrlStopWait, 0);
    return 1;
}

int32_t CMailBoxA::OnRecvMail(int32_t boxId, CPacket &packet)
{
    return m_pHandler ? m_pHandler(m_pHandlerObject, boxId, packet) : 0;
}

int32_t CMailBoxA::OnCtrl(int32_t, int32_t)
{
    return 0;
}

void CMailBoxA::SetMailHandler(void *object, MAIL_HANDLER handler)
{
    m_pHandlerObject = object;
    m_pHandler = handler;
}

void CMailBoxA::SetMailBoxName(const char *name)
{
    const size_t length = plat::GbkCutLength(name ? name : "", tagMailBoxInfo::kNameSize - 1);
    memcpy(m_info.name, name ? name : "", length);
    m_info.name[length] = '\0';
}
