#include "drivers/model/CVideoDevMgrConfig.h"

#include "drivers/model/CVideoSrcA.h"
#include "drivers/model/VideoDevEntries.h"

#include "Kest20/ClassA.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CStrings.h"

#include <set>

namespace {

constexpr int32_t kMaxCheckedEntry = 128;

void ReadList(CResAccess &config, const char *key, CStringArray &list, bool upper)
{
    CStrings items;
    config[key].GetAsStringArray(items);
    if (upper)
        for (CString &item : items) item.MakeUpper();
    items.Pack();
    list.Copy(items);
}

CString ReadDefault(CResAccess &config, const char *key, const CStringArray &list)
{
    CString id = config[key].GetAsString("");
    id.Trim();
    if (id.IsEmpty() && !list.IsEmpty()) id = list[0];
    id.MakeUpper();
    return id;
}

bool Contains(const CStringArray &list, const char *id)
{
    for (const CString &item : list)
        if (item.CompareNoCase(id) == 0) return true;
    return false;
}

CString Key(const CString &path, const char *key)
{
    return CResAccess(path)[key].GetAsString("");
}

} // namespace

int CVideoDevMgrConfig::LoadFromRes(const char *path)
{
    CResAccess config(path);
    // Nothing at all at the path is a set-up mistake, not a station without devices.
    CStringArray keys;
    config.EnumSub(keys);
    if (keys.IsEmpty()) {
        CString text;
        text.Format("device configuration %s not found: its settings file is missing or "
                    "unreadable, or has no such section; no devices",
                    path ? path : "");
        glReportLog("LOG_DEV", text, "");
    }
    ReadList(config, "VideoSrc", VideoSrc, true);
    ReadList(config, "VideoAux", VideoAux, true);
    ReadList(config, "VideoRec", VideoRec, true);
    ReadList(config, "VideoSwitch", VideoSwitch, true);
    ReadList(config, "VideoStore", VideoStore, true);
    ReadList(config, "CheckDevList", CheckDevList, false);
    VideoSrcDef = ReadDefault(config, "VideoSrc.Def", VideoSrc);
    VideoRecDef = ReadDefault(config, "VideoRec.Def", VideoRec);
    VideoAuxDef = ReadDefault(config, "VideoAux.Def", VideoAux);
    VideoSwitchDef = ReadDefault(config, "VideoSwitch.Def", VideoSwitch);
    VideoStoreDef = ReadDefault(config, "VideoStore.Def", VideoStore);
    return 1;
}

void CVideoDevMgrConfig::GetTotal(CStringArray &ids) const
{
    for (const CStringArray *list : {&VideoSrc, &VideoAux, &VideoRec, &VideoSwitch, &VideoStore})
        ids.Append(*list);
}

int CVideoDevMgrConfig::GetDevSettingPath(CMapStringToString &paths) const
{
    paths.RemoveAll();
    const std::pair<const CStringArray *, int32_t> kinds[] = {
        {&VideoSrc, VIDEODEV_SRC},     {&VideoRec, VIDEODEV_REC},       {&VideoAux, VIDEODEV_AUX},
        {&VideoStore, VIDEODEV_STORE}, {&VideoSwitch, VIDEODEV_SWITCH},
    };
    for (const auto &[list, kind] : kinds) {
        for (const CString &id : *list) {
            CString path;
            if (!CDeviceA::GetDevSetting(id, GetVideoDevKindRtc(kind), path))
                path = "/etc/dev/" + id;
            paths.SetAt(id, path);
        }
    }
    return 1;
}

int CVideoDevMgrConfig::Check(CStringArray &messages) const
{
    messages.RemoveAll();
    int errors = 0;
    auto error = [&](const CString &text) {
        messages.Add(text);
        ++errors;
    };
    CString text;

    messages.Add("---------------Check CheckDevList-----------------");
    for (const CString &id : CheckDevList) {
        bool known = false;
        for (const CStringArray *list :
             {&VideoSrc, &VideoAux, &VideoRec, &VideoSwitch, &VideoStore})
            known = known || Contains(*list, id);
        if (!known) error("Error at CheckDevList : " + id + " invalid");
    }

    messages.Add("---------------Check Default Device--------------");
    const std::pair<const CString *, const CStringArray *> defaults[] = {
        {&VideoSrcDef, &VideoSrc},     {&VideoRecDef, &VideoRec}, {&VideoSwitchDef, &VideoSwitch},
        {&VideoStoreDef, &VideoStore}, {&VideoAuxDef, &VideoAux},
    };
    const char *names[] = {"VideoSrc", "VideoRec", "VideoSwitch", "VideoStore", "VideoAux"};
    for (int i = 0; i < 5; ++i) {
        const CString &def = *defaults[i].first;
        if (def.IsEmpty() || Contains(*defaults[i].second, def)) continue;
        text.Format("Error at %s.Def: %s not in %s", names[i], def.GetString(), names[i]);
        error(text);
    }

    CMapStringToString paths;
    GetDevSettingPath(paths);

    messages.Add("---------------Check VideoSrc Entry -------------");
    std::set<int32_t> used;
    for (const CString &id : VideoSrc) {
        const int32_t entry = CResAccess(paths[id])["Entry"].GetAsInteger(0);
        if (entry < 1 || entry > kMaxCheckedEntry) {
            text.Format("Error at %s: VideoSrc Entry out of bound(%d)", id.GetString(), entry);
            error(text);
        }
        if (!used.insert(entry).second) {
            text.Format("Error at %s: VideoSrc Entry conflict(Entry=%d)", id.GetString(), entry);
            error(text);
        }
    }

    messages.Add("---------------Check VideoSrc -------------");
    for (const CString &id : VideoSrc) {
        const CString &path = paths[id];
        iRtc *rtc = glGetKestRootRtc()->FindByNames(Key(path, "class"));
        if (!rtc || !rtc->IsKindOf(CVideoSrcA::GetClassID())) {
            text.Format("Error at %s(class) :%s", id.GetString(), "classname invalid or missing");
            error(text);
        }
        if (Key(path, "DeviceName").IsEmpty()) {
            text.Format("Error at %s(DeviceName):%s", id.GetString(), "Device name missing");
            error(text);
        }
        if (Key(path, "DeviceTypeID").Left(5) != CString("LVSRC")) {
            text.Format("Error at %s(DeviceTypeID):%s", id.GetString(),
                        "Device Type ID must be LVSRC_XXX");
            error(text);
        }
    }
    return errors == 0 ? 1 : 0;
}
