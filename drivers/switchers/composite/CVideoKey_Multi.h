// The composite keyer: owns no hardware, but spreads each logical key ("Key1".."KeyN", items
// "DEVICE:key") over one or more real keyers, each with its own key number, and hands every
// keyer the part of a take that concerns it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyCtrlA.h"

#include <cstdint>
#include <vector>

// The composite keyer's operations, which CVideoKey_Multi guards for virtual mode.
class KSOVRA20_API CVideoKey_MultiDevice : public CVideoKeyCtrlA {
public:
    // While virtual a take drives no member and fails.
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{.directTake = 0};

    // Where one logical key goes: device indexes and, beside them, the key on that device.
    struct tagKeyTargets {
        std::vector<int32_t> devices;
        std::vector<int32_t> keys;
    };

    // The base's keys, then "KeyCount" and "Key1" up to "Key<KeyCount>". 1.
    int32_t OnInitInstance() override;
    // Splits the tasks by logical key onto the member keyers and drives each member in list
    // order; the caller's tasks are left with the logical key and function type 0. 1 after
    // the members were driven; 0 without members, or when this keyer is already taking on
    // this thread (a configuration that names itself).
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

    // The member ids (upper case) in order of first mention; the position is the index.
    const CStringArray &GetDeviceList() const { return m_devices; }
    // Entry k-1 for logical key k.
    const std::vector<tagKeyTargets> &GetKeyMap() const { return m_keyMap; }
    int32_t GetKeyCount() const { return m_nKeyCount; }

private:
    void DriveMember(const CString &id, IVideoKeyTaskArray *tasks);

    CStringArray m_devices;
    std::vector<tagKeyTargets> m_keyMap;
    int32_t m_nKeyCount = 0;
};

class KSOVRA20_API CVideoKey_Multi : public CKeyerVirtualMode<CVideoKey_MultiDevice> {
    DECLARE_KEST_CLASS(CVideoKey_Multi)
};
