// The base of every device: a component that opens when it is activated and closes when it is
// deactivated, with a device type id, a device name, its own status and one interrupt
// handler through which lower layers hand it received data. Its statics find live devices
// and open a device by instance name, creating it from its setting when needed.
#pragma once

#include "Kest20/ClassA.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/buffer_t.h"
#include "devext/Devext20Api.h"
#include "devext/device/tagDevStatus.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <functional>
#include <mutex>

class DEVEXT20_API CDeviceA : public CClassA {
    DECLARE_KEST_CLASS(CDeviceA)

    static constexpr const char *kUnknownType = "UnkownDevType";
    static constexpr int kLastErrorSize = 128;

    using DevIntHandler = std::function<int(int code, pointer_t &data)>;

    explicit CDeviceA(const char *typeId = kUnknownType);
    // Copies every field; the copy gets a lock of its own.
    CDeviceA(const CDeviceA &other);
    CDeviceA &operator=(const CDeviceA &other);
    ~CDeviceA() override;

    // Activation opens the device, deactivation closes it.
    int32_t OnActiveInstance() override;
    int32_t OnDeactiveInstance() override;

    // How the calls that other threads make into a device end: ended, the device
    // deactivated (which closes it) and the calls waited for, bounded; false when one has not
    // left in time. Set once by the layer that notes those calls.
    using CallEnder = bool (*)(CDeviceA *device);
    static void SetCallEnder(CallEnder ender);
    // What the deletion of a device through its class record does before any part of it is
    // destroyed: the call ender's steps (without one, the deactivation alone). False when a
    // thread is still in the device, which is then kept rather than freed.
    bool EndBeforeDelete();

    virtual int DevClose();
    virtual int DevOpen();
    virtual int DevIsOpen();
    virtual int DevTest(const char *argument);
    // A device that contains other devices lists their names; the base lists none.
    virtual int GetEmbenddedDev(CStringArray &names);
    virtual int OnDevModeChange(int mode, const char *argument);

    // 1 when `type` is a prefix of the type id (case-sensitive; "" matches every device).
    int IsThisType(const char *type) const;

    // The interrupt handler: `handler` of `object`, called by DoDevInt. A null object or
    // handler clears it.
    template <class T> void SetDevIntHandler(T *object, int (T::*handler)(int, pointer_t &))
    {
        DevIntHandler call;
        if (object && handler)
            call = [object, handler](int code, pointer_t &data) {
                return (object->*handler)(code, data);
            };
        std::lock_guard<std::mutex> lk(m_fieldLock);
        m_pfnDevInt = std::move(call);
    }
    // Calls the handler with (code, data) on the caller's thread: its result, 0 without one.
    int DoDevInt(int code, pointer_t &data);

    const CString &GetTypeID() const { return m_strTypeID; }
    const CString &GetDescription() const { return m_strDescription; }
    // The device name (a port keeps its port name here) and the device's own status; any
    // thread may read them while the device's threads set them.
    CString GetDevName() const;
    void SetDevName(const char *name);
    tagDevStatus GetDevStatus() const;
    // tagDevStatus::SetStatus on the device's status.
    int SetDevStatus(int32_t code, const char *text = nullptr);

    // The live device named `name` when it is a kind of `rtc`, else null.
    static CDeviceA *FindByDevName(const char *name, iRtc *rtc);
    // The first live device whose device name equals `name` without case, else null.
    static CDeviceA *FindByDevProp(const char *name);
    // Empties `list` and fills it with the live devices, in instance order, whose type id
    // starts with `type` (every device for a null `type`); their number.
    static int GetDeviceList(CArray<CDeviceA *, CDeviceA *> &list, const char *type = nullptr);
    // The setting path of `name` whose key "class" names a class below `rtc`, searched under
    // "/etc/dev/", "/etc/tvx/dev/", "/etc/system/dev/" and "/etc/tvx/" in that order.
    static int GetDevSetting(const char *name, iRtc *rtc, CString &setting);
    // The active device `name` of kind `rtc`: the live one, or one created from its setting,
    // activated (which opens it). Null on failure, with the reason in `status` (when given):
    // 1 name taken by another kind, 2 no setting or no object, else the device's own status
    // (5, a failed run, when the device left its status normal).
    static CDeviceA *OpenDev(const char *name, iRtc *rtc, tagDevStatus *status = nullptr);

    // The thread's last device error: the code goes to the thread's last error, the text
    // (or the code's built-in text) to a 128-byte buffer of the thread.
    static void SetLastDevError(int code, const char *text = nullptr);
    static const char *GetLastDevErrorMsg();
    static int GetLastDevErrorCode();

protected:
    CString m_strTypeID;
    CString m_strDescription; // set by the constructors of the device classes
    CDataLock m_lock;         // free for the derived classes

private:
    // Guards the fields below; held only to copy them, never while calling out.
    mutable std::mutex m_fieldLock;
    CString m_strDevName;
    tagDevStatus m_DevStatus;
    DevIntHandler m_pfnDevInt;
};
