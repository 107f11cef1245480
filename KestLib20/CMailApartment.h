// Clients of the text-mail post office. CMailSingleApartment holds one listener in one
// apartment (A by default; with apartment 0 it makes an apartment of its own on first use).
// CMailApartment holds several listeners under a name of its own ("<name>.<box>") and passes
// each mail to the handler registered for its box.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/CMailPostOffice.h"
#include "platform/String.h"

#include <cstdint>
#include <vector>

class CMailSingleApartment {
public:
    // `office` null: the process's post office.
    explicit CMailSingleApartment(IMailPostOffice *office = nullptr, int32_t apartment = 1);
    // Unregisters.
    virtual ~CMailSingleApartment();
    CMailSingleApartment(const CMailSingleApartment &) = delete;
    CMailSingleApartment &operator=(const CMailSingleApartment &) = delete;

    // Adds the one listener (replacing one registered before); its id, 0 when it could not
    // be added.
    int32_t Register(const char *name, tagMailHandler handler, void *param);
    // Removes the listener (and gives back an apartment made for it): -1, or 0 when nothing
    // was registered.
    int32_t Unregister();
    // Takes effect at the next Register.
    void SetApartment(int32_t apartment) { m_nApartment = apartment; }
    IMailPostOffice *GetPostOffice() const { return m_pOffice; }

protected:
    // The apartment to register in, made first when this object makes its own; 0 when
    // there is no post office or no apartment could be made.
    int32_t UseApartment();
    // Gives back an apartment this object made.
    void GiveBackApartment();

    IMailPostOffice *m_pOffice;
    int32_t m_nApartment;
    bool m_bOwnApartment = false;

private:
    int32_t m_nListener = 0;
};

class CMailApartment : public CMailSingleApartment {
public:
    explicit CMailApartment(const char *name, IMailPostOffice *office = nullptr,
                            int32_t apartment = 1);
    ~CMailApartment() override;

    // Listens at "<name>.<box>"; the listener id, 0 when it could not be added.
    int32_t Register(const char *box, tagMailHandler handler, void *param);
    // Removes every listener: -1, or 0 when there was none.
    int32_t Unregister();
    // Passes a mail to the handler registered for that listener.
    void OnRecvMail(int32_t listenerId, const char *address, const char *text1, const char *text2,
                    const char *text3);

private:
    struct Entry {
        int32_t id;
        tagMailHandler handler;
        void *param;
    };

    CString m_strName;
    CDataLock m_lock;
    std::vector<Entry> m_entries;
};
