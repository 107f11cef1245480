// The device manager's record of each configured device, by kind, and the kind codes: a
// device's number in the manager is its kind code plus its index in the kind's list (8 bits).
#pragma once

#include "devext/device/tagDevStatus.h"
#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <cstdint>

class iRtc;

enum VideoDevKind : int32_t {
    VIDEODEV_SRC = 256,
    VIDEODEV_REC = 512,
    VIDEODEV_AUX = 768,
    VIDEODEV_STORE = 1024,
    VIDEODEV_SWITCH = 1280,
};

// A kind holds at most this many devices: the index is the low byte of a device's number.
constexpr int kVideoDevPerKind = 256;

struct tagVideoDev {
    CString strDevID;        // upper case, as configured
    CString strDevName;      // key DeviceName
    CString strSettingPath;  // resource path of the device's settings
    CString strParentID;     // key Parent
    CString strReserved;     // left empty
    CString strTypeID;       // key DeviceTypeId, upper case
    uint32_t dwLastOpen = 0; // tick of the last open attempt
    tagDevStatus status;     // last status posted
};

struct tagVideoSrc : tagVideoDev {
    int32_t nEntry = 1; // input on its switcher, 1..512
    CString strSwitchDev;
    int32_t nCom = 0;
    int32_t nLocation = 1;
};

struct tagVideoRec : tagVideoDev {
    int32_t nEntry = 1; // 1..512
    CString strSwitchDev;
    int32_t nCom = 0;
};

struct tagVideoStore : tagVideoDev {
    int32_t nStoreGroupID = 1;
    int32_t nLocation = 1;
    int32_t nStore = 0;
    int32_t nMaxAmount = -1;
    int32_t nAlertPercent = -1;
};

struct tagVideoAux : tagVideoDev {};
struct tagVideoSwitch : tagVideoDev {};

// The base class of a kind's devices. Stores and switchers are looked up by the registered
// names "CVideoStoreA" and "CVideoSwitchA", so their base classes plug in when their module
// registers them; until then any device serves.
KSOVRA20_API iRtc *GetVideoDevKindRtc(int32_t kind);
