#include "drivers/switchers/composite/CVideoKey_Multi.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

IMPLEMENT_KEST_CLASS(CVideoKey_Multi, CVideoKeyCtrlA)

namespace {

// The composite keyers taking on this thread, innermost last: a keyer met again is part of a
// configuration loop and must not recurse without end.
thread_local std::vector<const CVideoKey_MultiDevice *> t_taking;

class TakingOnThisThread {
public:
    explicit TakingOnThisThread(const CVideoKey_MultiDevice *keyer) { t_taking.push_back(keyer); }
    ~TakingOnThisThread() { t_taking.pop_back(); }
    TakingOnThisThread(const TakingOnThisThread &) = delete;
    TakingOnThisThread &operator=(const TakingOnThisThread &) = delete;

    static bool Has(const CVideoKey_MultiDevice *keyer)
    {
        return std::find(t_taking.begin(), t_taking.end(), keyer) != t_taking.end();
    }
};

} // namespace

int32_t CVideoKey_MultiDevice::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nKeyCount = std::max<int32_t>(setting["KeyCount"].GetAsInteger(0), 0);
    m_devices.RemoveAll();
    m_keyMap.assign(static_cast<size_t>(m_nKeyCount), {});

    std::map<std::string, int32_t> indexOf;
    for (int32_t key = 1; key <= m_nKeyCount; ++key) {
        CString name;
        name.Format("Key%d", key);
        CStringArray items;
        setting[name].GetAsStringArray(items);
        tagKeyTargets &targets = m_keyMap[static_cast<size_t>(key - 1)];
        for (int i = 0; i < items.GetSize(); ++i) {
            const CString &item = items[i];
            const int colon = item.Find(':');
            if (colon < 0) continue;
            CString id = item.Left(colon);
            id.MakeUpper();
            const int32_t number = std::atoi(item.Mid(colon + 1));
            if (id.IsEmpty() || number <= 0) continue;
            auto [found, added] = indexOf.try_emplace(id.GetString(), m_devices.GetSize());
            if (added) m_devices.Add(id);
            targets.devices.push_back(found->second);
            targets.keys.push_back(number);
        }
    }
    return 1;
}

int32_t CVideoKey_MultiDevice::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (m_devices.GetSize() == 0 || !tasks) return 0;
    if (TakingOnThisThread::Has(this)) return 0;
    TakingOnThisThread taking(this);

    std::vector<CVideoKeyTaskArray> perDevice(static_cast<size_t>(m_devices.GetSize()));
    const int32_t count = tasks->GetCount();
    for (int32_t i = 0; i < count; ++i) {
        tagVideoKeyTask *task = tasks->GetPtrAt(i);
        const int32_t logical = GetKeyID(task);
        task->nKey = logical;
        task->functype = 0;
        if (logical < 1 || logical > m_nKeyCount) continue;
        const tagKeyTargets &targets = m_keyMap[static_cast<size_t>(logical - 1)];
        for (size_t t = 0; t < targets.devices.size(); ++t) {
            tagVideoKeyTask copy = *task;
            copy.nKey = targets.keys[t];
            perDevice[static_cast<size_t>(targets.devices[t])]->Add(copy);
        }
    }

    for (size_t d = 0; d < perDevice.size(); ++d)
        if (perDevice[d]->GetCount() > 0)
            DriveMember(m_devices[static_cast<int>(d)], perDevice[d].Get());
    return 1;
}

void CVideoKey_MultiDevice::DriveMember(const CString &id, IVideoKeyTaskArray *tasks)
{
    CVideoDevMgr *manager = CVideoDevMgr::m_pVideoDevMgr;
    if (!manager) return;
    CDeviceA *device = manager->GetVideoDev(id, 1, nullptr);
    if (!device) return;
    void *answer = nullptr;
    if (device->QueryInterface(&IID_IVideoKeyTaskProcess, &answer) != S_OK || !answer) return;
    static_cast<IVideoKeyTaskProcess *>(answer)->DevTaskDirectTake(tasks);
}
