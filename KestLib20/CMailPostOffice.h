// The text-mail post office: short text messages (an address and three texts) between the
// objects of one process. Receivers are listeners that live in apartments; an apartment owns
// a mail queue and, for most apartments, a delivery thread. A listener hangs under a mail box
// name, or as a proxy that gets every "mailto:" mail, or in the group that gets every mail.
//
// Apartments: 1 = A, 2 = whichever of A and B holds fewer queued mails, 3 = the polled
// apartment (delivers one mail per OnMailThrdIdle), 4 = the synchronous apartment (delivers on
// the sender's thread), 101 and up = further apartments made with NewApartment.
#pragma once

#include "platform/ComTypes.h"

#include <cstdint>
#include <memory>

using tagMailHandler = void (*)(void *param, int32_t listenerId, const char *address,
                                const char *text1, const char *text2, const char *text3);

struct tagMailListener {
    int32_t id = 0;        // set by AddListener
    int32_t apartment = 1; // where the listener lives
    tagMailHandler handler = nullptr;
    void *param = nullptr; // a listener without parameter is skipped
};

// {6D1E0B52-3A47-4C1E-9E0B-5A7C2F4D8E11}
inline constexpr IID IID_IMailPostOffice = {
    0x6D1E0B52, 0x3A47, 0x4C1E, {0x9E, 0x0B, 0x5A, 0x7C, 0x2F, 0x4D, 0x8E, 0x11}};

class IMailPostOffice : public IUnknown {
public:
    static constexpr const char *kNamedPtrType = "Kest20.MailPostOffice.1";

    virtual int32_t LockServer(int32_t lock) = 0;
    // The named-pointer slot that publishes the post office.
    virtual void **GetActivePtr() = 0;
    // Queues the mail to every apartment that accepts it and calls the listeners of the
    // synchronous apartment on this thread; 1.
    virtual int32_t SendMail(const char *address, const char *text1, const char *text2,
                             const char *text3) = 0;
    // Adds the listener under `name` ("proxy" and "_group" are the two lists); the listener
    // id (also written into `listener`), 0 when its apartment does not exist.
    virtual int32_t AddListener(const char *name, tagMailListener *listener) = 0;
    // Removes the listener (every listener for an id below 1) of the apartment given (all
    // for 0), waiting for calls into it in progress unless made from inside one; 1.
    virtual int32_t RemoveListener(int32_t listenerId, int32_t apartmentId) = 0;
    // Adds the listener under a box name made free from `name` (written back, cut to
    // `size`); the listener id, 0 when its apartment does not exist.
    virtual int32_t ApplyListener(char *name, int32_t size, tagMailListener *listener) = 0;
    // Lists box names under `prefix` into `buffer`, each followed by ";"; 0.
    virtual int32_t EnumMailBox(const char *prefix, int32_t mode, char *buffer, int32_t size) = 0;
    virtual int32_t NewApartment() = 0;
    // Stops and removes a further apartment; 1 when there was one.
    virtual int32_t DeleteApartment(int32_t id) = 0;
    // Delivers one queued mail of the polled apartment; 1 when there was one.
    virtual int32_t OnMailThrdIdle() = 0;

    // The process's post office from the named pointer; null when there is none.
    static IMailPostOffice *GetMailPostOffice();

protected:
    ~IMailPostOffice() = default;
};

class CMailPostOffice final : public IMailPostOffice {
public:
    static constexpr int kQueueLimit = 1024;
    static constexpr int kNameLimit = 128;
    static constexpr int kBuckets = 127;
    static constexpr uint32_t kIdleEnd = 5000; // a delivery thread without mail ends
    static constexpr uint32_t kStopBound = 50;

    // Publishes itself as the named pointer "Kest20.MailPostOffice.1".
    CMailPostOffice();
    // Stops every apartment and withdraws the named pointer.
    ~CMailPostOffice();
    CMailPostOffice(const CMailPostOffice &) = delete;
    CMailPostOffice &operator=(const CMailPostOffice &) = delete;

    HRESULT QueryInterface(const GUID *iid, void **object) override;
    // The count only counts: the post office belongs to its holder.
    uint32_t AddRef() override;
    uint32_t Release() override;
    int32_t LockServer(int32_t lock) override;
    void **GetActivePtr() override { return m_ppSlot; }
    int32_t SendMail(const char *address, const char *text1, const char *text2,
                     const char *text3) override;
    int32_t AddListener(const char *name, tagMailListener *listener) override;
    int32_t RemoveListener(int32_t listenerId, int32_t apartmentId) override;
    int32_t ApplyListener(char *name, int32_t size, tagMailListener *listener) override;
    int32_t EnumMailBox(const char *prefix, int32_t mode, char *buffer, int32_t size) override;
    int32_t NewApartment() override;
    int32_t DeleteApartment(int32_t id) override;
    int32_t OnMailThrdIdle() override;

private:
    struct State;
    struct Apartment;

    const std::shared_ptr<State> m_pState;
    void **m_ppSlot;
    int32_t m_nRef = 0;
};

// SendMail on the process's post office; 0 when there is none.
int32_t glSendTextMail(const char *address, const char *text1, const char *text2,
                       const char *text3);
