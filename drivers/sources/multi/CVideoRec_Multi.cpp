#include "drivers/sources/multi/CVideoRec_Multi.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/CVideoDevMgr.h"
#include "platform/Thread.h"

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr const char *kTypeId = "LVREC_ENC_MULTI";
constexpr const char *kDescription = "Multi视频录制(基于VDCP协议的视频服务器)";

// The member recorder of the id, opened when needed; null when the manager does not give it.
CVideoRecA *Member(const char *id)
{
    CVideoDevMgr *mgr = CVideoDevMgr::m_pVideoDevMgr;
    return mgr ? mgr->GetVideoRecDev(id, 1, nullptr) : nullptr;
}

// 1 when `call` succeeded on every member; every member found is called.
template <class Call> int ForEachMember(const CStringArray &ids, Call call)
{
    int all = 1;
    for (const CString &id : ids) {
        CVideoRecA *member = Member(id);
        if (!member || !call(*member)) all = 0;
    }
    return all;
}

// 1 when every member is there and passes `check`; stops at the first that is not.
template <class Check> int EveryMember(const CStringArray &ids, Check check)
{
    for (const CString &id : ids) {
        CVideoRecA *member = Member(id);
        if (!member || !check(*member)) return 0;
    }
    return 1;
}

// One member's start, shared with its thread: the thread may outlive the caller's wait, so it
// owns its copy of the start time.
struct RecordStart {
    CString id;
    std::optional<int64_t> at;
    std::atomic<int> result{0};
};

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoRec_Multi, CVideoRecA, "双路上载设备驱动")

CVideoRec_Multi::CVideoRec_Multi() : CVideoRecA(kTypeId)
{
    m_strDescription = kDescription;
    m_nRecBeforeTime = 1;
    m_nPrepareTime = 3000;
}

int32_t CVideoRec_Multi::OnInitInstance()
{
    if (!CVideoRecA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_Devs.RemoveAll();
    setting["Dev"].GetAsStringArray(m_Devs);
    return 1;
}

int CVideoRec_Multi::DevOpen()
{
    for (const CString &id : m_Devs) Member(id);
    return 1;
}

int CVideoRec_Multi::DevClose()
{
    return 1;
}

int CVideoRec_Multi::DevIsOpen()
{
    return EveryMember(m_Devs, [](CVideoRecA &m) { return m.DevIsOpen() != 0; });
}

int CVideoRec_Multi::DevTest(const char *argument)
{
    return EveryMember(m_Devs, [argument](CVideoRecA &m) { return m.DevTest(argument) != 0; });
}

int CVideoRec_Multi::GetEmbenddedDev(CStringArray &names)
{
    names.RemoveAll();
    for (const CString &id : m_Devs) names.Add(id);
    return names.GetSize();
}

int CVideoRec_Multi::DevRecInit(const char *clip, timecode_t dur, int flag)
{
    return ForEachMember(m_Devs, [&](CVideoRecA &m) { return m.DevRecInit(clip, dur, flag) != 0; });
}

int CVideoRec_Multi::DevRecord(const int64_t *at)
{
    std::vector<std::shared_ptr<RecordStart>> starts;
    std::vector<plat::Thread> threads;
    for (const CString &id : m_Devs) {
        auto start = std::make_shared<RecordStart>();
        start->id = id;
        if (at) start->at = *at;
        plat::Thread thread = plat::Thread::Start([start]() -> uint32_t {
            CVideoRecA *member = Member(start->id);
            const int64_t *time = start->at ? &*start->at : nullptr;
            start->result = member ? member->DevRecord(time) : 0;
            return 0;
        });
        // A member whose thread cannot start has not started recording.
        if (!thread.Valid()) continue;
        starts.push_back(std::move(start));
        threads.push_back(std::move(thread));
    }
    std::vector<const plat::Waitable *> handles;
    for (const plat::Thread &thread : threads) handles.push_back(&thread);
    const uint32_t wait = handles.empty() ? plat::WAIT_OBJECT_0
                                          : plat::WaitForMultiple(handles.data(), handles.size(),
                                                                  true, kRecordWaitMs);
    int started = 0;
    if (wait == plat::WAIT_OBJECT_0) {
        for (const auto &start : starts)
            if (start->result) ++started;
    } else {
        // The members still starting run on with what they share.
        for (plat::Thread &thread : threads) thread.StopWithin(0, 0);
    }
    return started == m_Devs.GetSize() ? 1 : 0;
}

int CVideoRec_Multi::DevStop()
{
    return ForEachMember(m_Devs, [](CVideoRecA &m) { return m.DevStop() != 0; });
}

int CVideoRec_Multi::DevDeleteClipID(const char *clip)
{
    return ForEachMember(m_Devs, [clip](CVideoRecA &m) { return m.DevDeleteClipID(clip) != 0; });
}

int CVideoRec_Multi::DevGetClipSize(const char *clip, timecode_t &size)
{
    for (const CString &id : m_Devs) {
        CVideoRecA *member = Member(id);
        timecode_t length = 0;
        if (member && member->DevGetClipSize(clip, length)) {
            size = length;
            return 1;
        }
    }
    return 0;
}
