#include "KestLib20/CPostOffice.h"

#include "KestLib20/ActivePtr.h"
#include "KestLib20/CMailBox.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <mutex>

IMailBoxA *IPostOffice::GetByName(const char *name)
{
    int32_t ids[2];
    int32_t count = 2;
    return FindByName(name, ids, &count) > 0 ? GetByID(ids[0]) : nullptr;
}

CPostOffice::CPostOffice(IPostOffice **slot)
    : m_ppSlot(slot ? slot : reinterpret_cast<IPostOffice **>(glAllocActivePtr(1)))
{
    if (m_ppSlot) *m_ppSlot = this;
}

CPostOffice::~CPostOffice()
{
    StopService();
    if (m_ppSlot && *m_ppSlot == this) *m_ppSlot = nullptr;
}

int32_t CPostOffice::LockServer(int32_t lock)
{
    if (lock)
        m_lock.Lock();
    else
        m_lock.Unlock();
    return 1;
}

void CPostOffice::Forget(IMailBoxA *box)
{
    box->SetRegistered(0);
    box->SetEnabled(0);
    tagMailBoxInfo &info = box->GetMailBoxInfo();
    if (info.id > kLastFixedId) info.id = 0;
}

int32_t CPostOffice::StopService()
{
    std::vector<IMailBoxA *> boxes;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        boxes.swap(m_boxes);
        for (IMailBoxA *box : boxes) {
            Forget(box);
            m_gate.Enter(GateKey(box));
        }
    }
    for (IMailBoxA *box : boxes) {
        CCallGate::Pass pass(m_gate, GateKey(box), std::adopt_lock);
        box->OnCtrl(IMailBoxA::kCtrlStopWait, 0);
    }
    for (IMailBoxA *box : boxes) m_gate.WaitIdle(GateKey(box));
    return 0;
}

IMailBoxA *CPostOffice::FindLocked(int32_t id) const
{
    auto it = std::find_if(m_boxes.begin(), m_boxes.end(),
                           [id](IMailBoxA *box) { return box->GetMailBoxInfo().id == id; });
    return it == m_boxes.end() ? nullptr : *it;
}

int32_t CPostOffice::NextAutoIdLocked()
{
    for (int tries = 0; tries < kIdTries; ++tries) {
        ++m_nIdCounter;
        if (m_nIdCounter <= kLastFixedId || m_nIdCounter > kLastAutoId)
            m_nIdCounter = kLastFixedId + 1;
        if (!FindLocked(m_nIdCounter)) return m_nIdCounter;
    }
    return 0;
}

int32_t CPostOffice::Register(IMailBoxA *box)
{
    if (!box) return 0;
    tagMailBoxInfo &info = box->GetMailBoxInfo();
    if (box->IsRegistered()) return info.id;
    std::lock_guard<CDataLock> lk(m_lock);
    int32_t id = info.id;
    if (id <= 0 || id > kLastFixedId) {
        id = NextAutoIdLocked();
        if (!id) return 0;
    } else if (FindLocked(id)) {
        return 0;
    }
    info.office = m_ppSlot;
    info.id = id;
    box->SetRegistered(1);
    m_boxes.push_back(box);
    return id;
}

int32_t CPostOffice::Unregister(int32_t id)
{
    IMailBoxA *box;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        box = FindLocked(id);
        if (!box) return 0;
        std::erase(m_boxes, box);
        Forget(box);
    }
    m_gate.WaitIdle(GateKey(box));
    return 1;
}

IMailBoxA *CPostOffice::GetByID(int32_t id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return FindLocked(id);
}

IMailBoxA *CPostOffice::GetAt(int32_t index)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (index < 0 || index >= static_cast<int32_t>(m_boxes.size())) return nullptr;
    return m_boxes[static_cast<size_t>(index)];
}

int32_t CPostOffice::GetCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return static_cast<int32_t>(m_boxes.size());
}

int32_t CPostOffice::SendMail(const char *name, CPacket &packet)
{
    std::vector<IMailBoxA *> targets;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (auto it = m_boxes.rbegin(); it != m_boxes.rend(); ++it) {
            if (plat::GbkCompareNoCase((*it)->GetMailBoxInfo().name, name ? name : "") != 0)
                continue;
            targets.push_back(*it);
            m_gate.Enter(GateKey(*it));
        }
    }
    for (IMailBoxA *box : targets) {
        CCallGate::Pass pass(m_gate, GateKey(box), std::adopt_lock);
        box->DeliverMail(packet);
    }
    return 1;
}

int32_t CPostOffice::SendMail(int32_t id, CPacket &packet)
{
    IMailBoxA *box;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        box = FindLocked(id);
        if (!box || !box->IsEnabled()) return 0;
        m_gate.Enter(GateKey(box));
    }
    CCallGate::Pass pass(m_gate, GateKey(box), std::adopt_lock);
    return box->DeliverMail(packet);
}

int32_t CPostOffice::FindByName(const char *name, int32_t *ids, int32_t *count)
{
    if (!count) return 0;
    const int32_t capacity = ids ? *count : 0;
    int32_t found = 0;
    std::lock_guard<CDataLock> lk(m_lock);
    for (auto it = m_boxes.rbegin(); it != m_boxes.rend() && found < capacity; ++it) {
        const tagMailBoxInfo &info = (*it)->GetMailBoxInfo();
        if (plat::GbkCompareNoCase(info.name, name ? name : "") == 0) ids[found++] = info.id;
    }
    *count = found;
    return found;
}
