#include "KestLib20/CMailApartment.h"

#include <mutex>

CMailSingleApartment::CMailSingleApartment(IMailPostOffice *office, int32_t apartment)
    : m_pOffice(office ? office : IMailPostOffice::GetMailPostOffice()), m_nApartment(apartment)
{
}

CMailSingleApartment::~CMailSingleApartment()
{
    Unregister();
}

int32_t CMailSingleApartment::UseApartment()
{
    if (!m_pOffice) return 0;
    if (m_nApartment == 0) {
        m_nApartment = m_pOffice->NewApartment();
        m_bOwnApartment = m_nApartment != 0;
    }
    return m_nApartment;
}

void CMailSingleApartment::GiveBackApartment()
{
    if (!m_bOwnApartment) return;
    m_pOffice->DeleteApartment(m_nApartment);
    m_nApartment = 0;
    m_bOwnApartment = false;
}

int32_t CMailSingleApartment::Register(const char *name, tagMailHandler handler, void *param)
{
    if (m_nListener) m_pOffice->RemoveListener(m_nListener, m_nApartment);
    m_nListener = 0;
    tagMailListener listener;
    listener.apartment = UseApartment();
    listener.handler = handler;
    listener.param = param;
    if (!listener.apartment) return 0;
    m_nListener = m_pOffice->AddListener(name, &listener);
    return m_nListener;
}

int32_t CMailSingleApartment::Unregister()
{
    if (!m_nListener) return 0;
    m_pOffice->RemoveListener(m_nListener, m_nApartment);
    m_nListener = 0;
    GiveBackApartment();
    return -1;
}

CMailApartment::CMailApartment(const char *name, IMailPostOffice *office, int32_t apartment)
    : CMailSingleApartment(office, apartment), m_strName(name)
{
}

CMailApartment::~CMailApartment()
{
    Unregister();
}

int32_t CMailApartment::Register(const char *box, tagMailHandler handler, void *param)
{
    tagMailListener listener;
    listener.apartment = UseApartment();
    if (!listener.apartment) return 0;
    listener.handler = [](void *self, int32_t id, const char *address, const char *text1,
                          const char *text2, const char *text3) {
        static_cast<CMailApartment *>(self)->OnRecvMail(id, address, text1, text2, text3);
    };
    listener.param = this;
    // Entered before the listener exists, so that its first mail finds the entry.
    std::lock_guard<CDataLock> lk(m_lock);
    const int32_t id = m_pOffice->AddListener(m_strName + "." + box, &listener);
    if (id) m_entries.push_back({id, handler, param});
    return id;
}

int32_t CMailApartment::Unregister()
{
    std::vector<Entry> entries;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        entries.swap(m_entries);
    }
    if (entries.empty()) return 0;
    for (const Entry &entry : entries) m_pOffice->RemoveListener(entry.id, m_nApartment);
    GiveBackApartment();
    return -1;
}

void CMailApartment::OnRecvMail(int32_t listenerId, const char *address, const char *text1,
                                const char *text2, const char *text3)
{
    Entry found{};
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (const Entry &entry : m_entries)
            if (entry.id == listenerId) found = entry;
    }
    if (found.handler) found.handler(found.param, listenerId, address, text1, text2, text3);
}
