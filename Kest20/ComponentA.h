// Components: objects with an instance name, a setting path, an object status and a fixed life
// cycle (initialise, activate, deactivate, kill). Every framework object and every device is
// one. The status runs 1 created, 2 initialising, 3 initialised, 4 activating, 5 active,
// 6 deactivating, 7 killed.
#pragma once

#include "Kest20/Kest20Api.h"
#include "KestLib20/IClassA.h"

#include <cstdint>

enum KestObjectStatus : int32_t {
    OBJ_CREATED = 1,
    OBJ_INITIALISING = 2,
    OBJ_INITIALISED = 3,
    OBJ_ACTIVATING = 4,
    OBJ_ACTIVE = 5,
    OBJ_DEACTIVATING = 6,
    OBJ_KILLED = 7,
};

class KEST20_API IComponentA : public IClassA {
public:
    virtual const char *GetInstanceName() = 0;
    virtual int32_t SetInstanceName(const char *name) = 0;
    virtual const char *GetSettingInfo() = 0;
    virtual int32_t SetSettingInfo(const char *path) = 0;
    virtual int32_t SetObjectStatus(int32_t status) = 0;
    virtual int32_t GetObjectStatus() = 0;
    virtual int32_t OnInitInstance() = 0;
    virtual int32_t OnActiveInstance() = 0;
    virtual int32_t OnDeactiveInstance() = 0;
    virtual int32_t OnKillInstance() = 0;
    virtual ~IComponentA() = default;

    // Below status 2: takes the name and setting path (null keeps what is there), runs
    // OnInitInstance and ends in 3, or back in 1 when it fails; returns its result. From
    // status 2 on: 1, nothing done.
    int32_t InitInstance(const char *setting, const char *name);
    // Initialises first. Active: 1. Initialised: runs OnActiveInstance and ends in 5, or back
    // in 3 when it fails; returns its result. Any other status: 0.
    int32_t ActiveInstance();
    // Not active: 1, nothing done. Otherwise runs OnDeactiveInstance: when it fails the object
    // stays active and the result is 0; else, with `kill`, OnKillInstance runs and the status
    // becomes 7, without it 3.
    int32_t DeactiveInstance(int32_t kill);
};

struct CComponentA_Impl;

// The base implementation of a component. Reference counting does not delete the object;
// objects are deleted through their run-time class record (Suicide).
class KEST20_API CComponentA : public IComponentA {
public:
    CComponentA();
    // A copy takes the other's status, name, setting path and reference count; it gets an
    // implementation and an active-pointer slot of its own.
    CComponentA(const CComponentA &other);
    CComponentA &operator=(const CComponentA &other);

    // Answers nothing: stores null and returns 1.
    HRESULT QueryInterface(const GUID *iid, void **object) override;
    // Both return the count before the change.
    uint32_t AddRef() override;
    uint32_t Release() override;
    // No record of its own: null.
    iRtc *GetObjectRtc() override;
    int32_t IsValid() override;
    int32_t Suicide() override;
    IClassA **GetActivePtr() override;
    // Texts stay valid while the object lives, even when they are set again.
    const char *GetInstanceName() override;
    int32_t SetInstanceName(const char *name) override;
    // Empty path and a name: the path becomes "/etc/tvx/" followed by the name first.
    const char *GetSettingInfo() override;
    // Null fills in the default path as GetSettingInfo does.
    int32_t SetSettingInfo(const char *path) override;
    int32_t SetObjectStatus(int32_t status) override;
    int32_t GetObjectStatus() override;
    int32_t OnInitInstance() override;
    int32_t OnActiveInstance() override;
    int32_t OnDeactiveInstance() override;
    int32_t OnKillInstance() override;
    // Clears the active-pointer slot, so its holders see the object disappear.
    ~CComponentA() override;

protected:
    CComponentA_Impl *_Impl;
    int32_t m_nRefCount = 0;
};
