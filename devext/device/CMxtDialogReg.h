// The setting-dialog registry. Each dialog class (a setting page or a control panel) is
// registered, when its module loads, with the device class it serves, a dialog key and a
// caption, by a static CMxtDialogReg:
//
//     static CMxtDialogReg s_reg(RUNTIME_CLASS(CProp_Device_Src_Line), "Line_Setting_Dlg",
//                                "线路信号设置", "CVideoSrc_Line");
//
// Every module that registers dialogs carries its own registry object (everything here is
// defined in this header and compiled, with hidden visibility, into each such module). A
// module's registry is made by its first registration, published in a named-pointer slot of
// the type "Kest20.Mxt.DialogMgr.1" of that module, and destroyed when the module unloads.
// Collection (CMxtDialogCollection.h) asks every slot of the type, so the registrations of
// every loaded module are found.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/KestNamedPtr.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/ui/CObject.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class CMxtDialogReg;

using tagMxtDlgInfoArray = CArray<CMxtDialogReg *, CMxtDialogReg *>;

// A module's registry, as other modules reach it through its named pointer.
class IMxtDialogMgr {
public:
    static constexpr const char *kNamedPtrType = "Kest20.Mxt.DialogMgr.1";

    // Nonzero takes the registry's lock, 0 releases it; 0.
    virtual int32_t Lock(int32_t on) = 0;
    // The named-pointer slot that publishes the registry.
    virtual void **GetActivePtr() = 0;
    // 1 when added; 0 when that record is held already.
    virtual int32_t Add(CMxtDialogReg *reg) = 0;
    // 1 when it was held.
    virtual int32_t Remove(CMxtDialogReg *reg) = 0;
    // Appends every record whose device class equals the name (without case); the out
    // array's count.
    virtual int32_t Find(const char *deviceClass, tagMxtDlgInfoArray &out) = 0;
    // Reserved; 0.
    virtual int32_t Reserved() = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IMxtDialogMgr() = default;
};

// One dialog's registration; held by its module's registry for its lifetime.
class CMxtDialogReg {
public:
    inline CMxtDialogReg(const CRuntimeClass *dialogClass, const char *dialogKey,
                         const char *caption, const char *deviceClass);
    inline ~CMxtDialogReg();
    CMxtDialogReg(const CMxtDialogReg &) = delete;
    CMxtDialogReg &operator=(const CMxtDialogReg &) = delete;

    const CRuntimeClass *m_pDialogClass;
    const CString m_strDialogKey;
    const CString m_strCaption;
    const CString m_strDeviceClass;
};

// The registry object of one module.
class CMxtDialogMgr final : public IMxtDialogMgr {
public:
    CMxtDialogMgr() : m_ppSlot(glNewNamedPtr(kNamedPtrType, "DialogMgr"))
    {
        if (m_ppSlot)
            __atomic_store_n(m_ppSlot, static_cast<IMxtDialogMgr *>(this), __ATOMIC_RELEASE);
    }
    // Clears and removes its slot first, so that no module finds it any more.
    ~CMxtDialogMgr()
    {
        if (!m_ppSlot) return;
        __atomic_store_n(m_ppSlot, nullptr, __ATOMIC_RELEASE);
        glDeleteNamedPtr(m_ppSlot);
    }
    CMxtDialogMgr(const CMxtDialogMgr &) = delete;
    CMxtDialogMgr &operator=(const CMxtDialogMgr &) = delete;

    // The registry of the calling module, made on first use.
    static CMxtDialogMgr &ThisModule()
    {
        static CMxtDialogMgr registry;
        return registry;
    }

    int32_t Lock(int32_t on) override
    {
        if (on)
            m_lock.Lock();
        else
            m_lock.Unlock();
        return 0;
    }
    void **GetActivePtr() override { return m_ppSlot; }
    int32_t Add(CMxtDialogReg *reg) override
    {
        std::lock_guard<CDataLock> hold(m_lock);
        for (CMxtDialogReg *held : m_regs)
            if (held == reg) return 0;
        m_regs.Add(reg);
        return 1;
    }
    int32_t Remove(CMxtDialogReg *reg) override
    {
        std::lock_guard<CDataLock> hold(m_lock);
        for (int i = 0; i < m_regs.GetSize(); ++i) {
            if (m_regs[i] != reg) continue;
            m_regs.RemoveAt(i);
            return 1;
        }
        return 0;
    }
    int32_t Find(const char *deviceClass, tagMxtDlgInfoArray &out) override
    {
        std::lock_guard<CDataLock> hold(m_lock);
        for (CMxtDialogReg *reg : m_regs)
            if (deviceClass && reg->m_strDeviceClass.CompareNoCase(deviceClass) == 0) out.Add(reg);
        return out.GetSize();
    }
    int32_t Reserved() override { return 0; }
    uint32_t AddRef() override { return ++m_nRefCount; }
    uint32_t Release() override { return --m_nRefCount; }

private:
    CDataLock m_lock;
    tagMxtDlgInfoArray m_regs;
    void **m_ppSlot;
    std::atomic<uint32_t> m_nRefCount{1};
};

CMxtDialogReg::CMxtDialogReg(const CRuntimeClass *dialogClass, const char *dialogKey,
                             const char *caption, const char *deviceClass)
    : m_pDialogClass(dialogClass), m_strDialogKey(dialogKey), m_strCaption(caption),
      m_strDeviceClass(deviceClass)
{
    CMxtDialogMgr::ThisModule().Add(this);
}

CMxtDialogReg::~CMxtDialogReg()
{
    CMxtDialogMgr::ThisModule().Remove(this);
}
