// The device manager's configuration as read from its resource path: the id lists of the five
// device kinds and of the devices to check, and each kind's default device.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

class KSOVRA20_API CVideoDevMgrConfig {
public:
    // Reads the keys VideoSrc, VideoAux, VideoRec, VideoSwitch, VideoStore, CheckDevList
    // (lists, trimmed and without empty items; device ids upper-cased) and the defaults
    // "<list>.Def" (trimmed and upper-cased, the list's first id when empty). A path that
    // holds nothing (its settings file missing or unreadable) is told on "LOG_DEV". 1.
    int LoadFromRes(const char *path);
    // Appends the sources, auxiliaries, recorders, switchers and stores, in that order.
    void GetTotal(CStringArray &ids) const;
    // Id -> setting path of every device: the first setting whose "class" is of the device's
    // kind under the device roots, else "/etc/dev/" followed by the id. 1.
    int GetDevSettingPath(CMapStringToString &paths) const;
    // Lists what is wrong with the configuration under four headings; 1 when nothing is.
    int Check(CStringArray &messages) const;

    CStringArray VideoSrc;
    CStringArray VideoAux;
    CStringArray VideoRec;
    CStringArray VideoSwitch;
    CStringArray VideoStore;
    CStringArray CheckDevList;

    CString VideoSrcDef;
    CString VideoRecDef;
    CString VideoAuxDef;
    CString VideoSwitchDef;
    CString VideoStoreDef;
};
