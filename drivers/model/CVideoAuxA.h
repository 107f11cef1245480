// The base of auxiliary devices (changeover switches, keyers, caption units): a device with one
// operation of its own, the auxiliary task, which a driver overrides.
#pragma once

#include "devext/device/CDeviceA.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>

// An auxiliary task: the action to take (nonzero on, 0 off).
class KSOVRA20_API CVideoAuxTask {
public:
    int32_t m_nAction = 0;
};

class KSOVRA20_API CVideoAuxA : public CDeviceA {
    DECLARE_KEST_CLASS(CVideoAuxA)

    explicit CVideoAuxA(const char *typeId = kUnknownType);
    CVideoAuxA(const CVideoAuxA &other) : CDeviceA(other) {}
    CVideoAuxA &operator=(const CVideoAuxA &other) = default;
    ~CVideoAuxA() override;

    // The base does nothing: 0.
    virtual int DevDoAuxTask(CVideoAuxTask &task);
};
