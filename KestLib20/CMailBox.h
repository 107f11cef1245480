// Mail boxes of the packet post office. IMailBoxA is what the post office sees of a box;
// CMailBoxA is the plain box, which hands each packet to a handler set by its owner.
#pragma once

#include "KestLib20/CPacket.h"
#include "KestLib20/IPostOffice.h"

#include <cstdint>

// The record every mail box keeps. The post office writes id and registered under its lock;
// registered and enabled are read and written atomically, since deliveries read them on any
// thread.
struct tagMailBoxInfo {
    static constexpr int kNameSize = 16; // 15 visible characters and the NUL

    IPostOffice **office = nullptr; // the slot that holds the box's post office
    int32_t id = 0;                 // 0 = none yet
    int32_t registered = 0;
    int32_t enabled = 0;
    char name[kNameSize] = {};
};

class IMailBoxA {
public:
    // Registers the box (when not registered yet); enabled becomes the id, or 0 when that
    // failed, which is returned.
    virtual int32_t EnableMailBox() = 0;
    // Clears enabled and tells a waiting reader to stop waiting; 1.
    virtual int32_t DisableMailBox() = 0;
    virtual tagMailBoxInfo &GetMailBoxInfo() = 0;
    virtual int32_t OnRecvMail(int32_t boxId, CPacket &packet) = 0;
    // Control notices: kCtrlStopWait tells a waiting reader to stop waiting.
    virtual int32_t OnCtrl(int32_t code, int32_t param) = 0;

    static constexpr int32_t kCtrlStopWait = 1;

    // Registers the box with its post office: its id, 0 without a post office or id.
    int32_t Register();
    // Tells the post office (which waits for deliveries to the box in progress), clears
    // registered and enabled and tells a waiting reader to stop waiting.
    int32_t Unregister();
    // 0 when the box is disabled, else OnRecvMail with the box's own id.
    int32_t DeliverMail(CPacket &packet);

    bool IsEnabled() { return __atomic_load_n(&GetMailBoxInfo().enabled, __ATOMIC_ACQUIRE) != 0; }
    bool IsRegistered()
    {
        return __atomic_load_n(&GetMailBoxInfo().registered, __ATOMIC_ACQUIRE) != 0;
    }
    void SetEnabled(int32_t enabled)
    {
        __atomic_store_n(&GetMailBoxInfo().enabled, enabled, __ATOMIC_RELEASE);
    }
    void SetRegistered(int32_t registered)
    {
        __atomic_store_n(&GetMailBoxInfo().registered, registered, __ATOMIC_RELEASE);
    }

protected:
    ~IMailBoxA() = default;
};

class CMailBoxA : public IMailBoxA {
public:
    using MAIL_HANDLER = int32_t (*)(void *object, int32_t boxId, CPacket &packet);

    // Keeps the office's slot (none for a null office) and the wanted id (0 = any).
    CMailBoxA(IPostOffice *office, int32_t id);
    // Disables and unregisters the box.
    virtual ~CMailBoxA();
    CMailBoxA(const CMailBoxA &) = delete;
    CMailBoxA &operator=(const CMailBoxA &) = delete;

    int32_t EnableMailBox() override;
    int32_t DisableMailBox() override;
    tagMailBoxInfo &GetMailBoxInfo() override { return m_info; }
    // The handler's result; 0 without one.
    int32_t OnRecvMail(int32_t boxId, CPacket &packet) override;
    int32_t OnCtrl(int32_t code, int32_t param) override;

    // Set by the owner before the box is enabled.
    void SetMailHandler(void *object, MAIL_HANDLER handler);
    template <auto Member, class T> void SetMailHandler(T *object)
    {
        SetMailHandler(object, [](void *o, int32_t boxId, CPacket &packet) -> int32_t {
            return (static_cast<T *>(o)->*Member)(boxId, packet);
        });
    }
    // Cut to 15 characters; set before the box registers.
    void SetMailBoxName(const char *name);

private:
    tagMailBoxInfo m_info;
    void *m_pHandlerObject = nullptr;
    MAIL_HANDLER m_pHandler = nullptr;
};
