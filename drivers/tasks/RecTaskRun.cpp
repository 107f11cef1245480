#include "drivers/tasks/RecTaskRun.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/KestRtc.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/tasks/BroTaskDevices.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <optional>

namespace {

constexpr const char *kLogDub = "LOG_DUB";
constexpr int64_t kSecond = 10000000; // 100 ns units
constexpr int64_t kMs = 10000;
constexpr int32_t kFramesPerDay = 2160000;
constexpr int32_t kStartLeadSeconds = 6; // SEQ and TRIGGER start this long after the cue

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

CString TimeText(int64_t time)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(time).GetAsString(text);
}

CString TcText(timecode_t tc)
{
    char text[timecode_t::kTextSize];
    return tc.GetAsString(text);
}

// "h:m:s:f" without padding.
CString TcFields(timecode_t tc)
{
    int32_t hours, minutes, seconds, frames;
    tc.GetAsDetail(hours, minutes, seconds, frames);
    CString text;
    text.Format("%d:%d:%d:%d", hours, minutes, seconds, frames);
    return text;
}

// The tape id as the tape check and the tape search use it.
CString TapeKey(const CString &tape)
{
    return tape.GetLength() > 8 ? tape.Right(8) : tape;
}

bool IsTapeDeck(CVideoSrcA &src)
{
    iRtc *deck = iRtc::vFind("CVideoSrc_BetaCamX", iRtc::FIND_CLASSNAME);
    iRtc *own = src.GetObjectRtc();
    return deck && own && own->IsKindOf(deck);
}

int64_t Counter()
{
    int64_t counter = 0;
    glQueryStdCounter(&counter);
    return counter;
}

// Thrown on a task's thread when an operator's abort ends its steps before the recording.
struct RecTaskAborted {};

} // namespace

RecTaskRun::RecTaskRun(std::shared_ptr<CVideoRecTaskList_Impl> list, const CString &taskId,
                       plat::Event stop)
    : m_pList(std::move(list)), m_evStop(std::move(stop))
{
    m_task.m_strTaskID = taskId;
}

uint32_t RecTaskRun::Run()
{
    try {
        m_task = m_pList->RunTask(m_evStop);
        Guarded([this] { RecTaskProc(); });
        // An abort the steps did not end on, whatever ended them, ends the task now.
        while (const int32_t abort = m_pList->RunEnd(m_evStop))
            Guarded([this, abort] { EndAborted(abort); });
    } catch (const RecTaskStopped &) {
        // taken out of the list: nothing more of the task is touched
    }
    m_evPlayEnd.Set();
    return 0;
}

template <class Steps> void RecTaskRun::Guarded(Steps steps)
{
    try {
        steps();
    } catch (const RecTaskStopped &) {
        throw;
    } catch (const RecTaskAborted &) {
        // the abort is ended on by Run
    } catch (...) {
        glReportLog(kLogDub, "fatal@__RecTaskProc; " + m_task.m_strTaskID, "");
    }
}

void RecTaskRun::EndAborted(int32_t abort)
{
    if (!m_bRecording) {
        // Nothing was recorded: what the steps set up for the clip is undone.
        if (m_pPlayed->load()) {
            if (CVideoSrcA *src = Src()) src->DevStop();
        }
        if (m_bRecInit) {
            if (CVideoRecA *rec = Rec()) {
                rec->DevStop();
                Check();
                rec->DevClose();
            }
        }
    } else if (abort == RECTASK_REVERSEABORT) {
        // Aborted keeping the clip after the recording: the clip ends as recorded.
        if (LastStatus(RECTASK_FINISHED)) Dbg(" 正常结束录制");
        return;
    }
    if (LastStatus(RECTASK_ABORT) && !m_bAbortLogged) Log(" 被手工终止录制");
}

void RecTaskRun::RecTaskProc()
{
    Status(RECTASK_ACTIVE);
    Status(RECTASK_DEVCHKBEGIN);
    CVideoSrcA *src = Src();
    if (!src) {
        Error(RECTASK_ERR_SRC);
        Exit("__RecTaskProc", 1);
        return Dbg(" 使用的源设备为:%s", m_task.m_strSrcDev.GetString());
    }
    Dbg(" CVideoRecTaskList::_Impl::__RecTaskProc 获取源设备:%s成功",
        m_task.m_strSrcDev.GetString());
    Status(RECTASK_DEVCHKING, 1);

    const CString tape = TapeKey(m_task.m_strTapeID);
    if (!src->DevCheckCompatible(m_task.m_strTapeType, tape)) {
        Error(RECTASK_ERR_TAPE);
        Dbg(": CVideoRecTaskList::_Impl::__RecTaskProc 退出 --- 002");
        return Dbg(" 使用的磁带类型为:%s 磁带号为%s", m_task.m_strTapeType.GetString(),
                   tape.GetString());
    }
    Status(RECTASK_DEVCHKING, 2);

    CVideoRecA *rec = Rec();
    if (!rec) {
        Error(RECTASK_ERR_REC);
        Exit("__RecTaskProc", 3);
        return Dbg(" 使用的录制设备为:%s", m_task.m_strRecDev.GetString());
    }
    Dbg(" CVideoRecTaskList::_Impl::__RecTaskProc 获取录制设备:%s成功",
        m_task.m_strRecDev.GetString());
    Status(RECTASK_DEVCHKING, 2);

    if (!m_task.m_strSwitchDev.IsEmpty() && Take(*rec)) return;

    timecode_t size = 0;
    Check();
    rec->DevGetClipSize(m_task.m_strClipID, size);
    if (size != 0) {
        Error(RECTASK_ERR_CLIPEXISTS);
        Exit("__RecTaskProc", 4);
        return Dbg(" 待录的素材编号为:<%s> 素材已经存在，长度为:<%s>",
                   m_task.m_strClipID.GetString(), TcFields(size).GetString());
    }

    Status(RECTASK_DEVCHKING, 0);
    switch (m_task.m_nTaskType) {
    case RECTASK_SEQ:
        return RecTaskSeq();
    case RECTASK_TIME:
        return RecTaskTime();
    case RECTASK_TRIGGER:
        return RecTaskTrigger();
    default:
        return;
    }
}

bool RecTaskRun::Take(CVideoRecA &rec)
{
    CVideoDevMgr *devMgr = TaskDevMgr();
    CVideoSwitchA *router = devMgr ? devMgr->GetVideoSwitchDev(m_task.m_strSwitchDev, 1) : nullptr;
    if (!router) {
        Error(RECTASK_ERR_SWITCH);
        Exit("__RecTaskProc", 25);
        Dbg(" 使用的切换设备为:%s", m_task.m_strSwitchDev.GetString());
        return true;
    }
    Dbg(" CVideoRecTaskList::_Impl::__RecTaskProc 获取切换设备:%s成功",
        m_task.m_strSwitchDev.GetString());
    Status(RECTASK_DEVCHKING, 3);

    CArray<int32_t, int32_t> dests;
    CResAccess(rec.GetSettingInfo())["Entrys"].GetAsIntArray(dests);
    tagVideoRec recEntry;
    if (dests.GetSize() == 0 && devMgr->GetVideoRec(m_task.m_strRecDev, recEntry))
        dests.Add(recEntry.nEntry);
    tagVideoSrc srcEntry;
    const int32_t source = devMgr->GetVideoSrc(m_task.m_strSrcDev, srcEntry) ? srcEntry.nEntry : 0;

    for (int attempt = 0;; ++attempt) {
        int32_t taken = 0, last = 0;
        for (int i = 0; i < dests.GetSize(); ++i) {
            Check();
            last = dests[i];
            if (router->DevDirectTake(last, source) && !taken) taken = last;
        }
        if (taken) {
            Dbg(" CVideoRecTaskList::_Impl::__RecTaskProc 切换成功 源编号:%d 目的编号:%d", source,
                taken);
            return false;
        }
        const int64_t ahead = m_task.m_nStart - Now();
        if (ahead < 20 * kSecond) {
            Error(RECTASK_ERR_TAKE);
            Exit("__RecTaskProc", 26);
            return true;
        }
        Dbg(" 第%d次切换失败,使用的切换设备为:%s  源编号:%d 目的编号:%d", attempt,
            m_task.m_strSwitchDev.GetString(), source, last);
        Wait(3000);
        EndOnAbort();
    }
}

int RecTaskRun::Cue()
{
    Status(RECTASK_BEGININIT);
    const CString inPoint = TcText(m_task.m_tsom);
    CVideoSrcA *src = Src();
    bool cued = false;
    if (!src || !src->DevSetMode(m_task.m_nTapeIDType)) {
        Exit("_RecTask_Cue", 5);
        Dbg(" 的磁带编号类型为:%d", m_task.m_nTapeIDType);
    } else {
        timecode_t position;
        if (src->DevGetPosition(0, position))
            Log(" 预卷前的时码为<%s>，录制要求的磁带入点为<%s>", TcText(position).GetString(),
                inPoint.GetString());
        else
            Log(" 预卷前获取当前时码失败，录制要求的磁带入点为<%s>", inPoint.GetString());
        Check();
        cued = src->DevCueEx(TapeKey(m_task.m_strTapeID), m_task.m_tsom, m_task.m_nLength,
                             nullptr) != 0;
    }
    if (!cued) {
        Error(RECTASK_ERR_CUE);
        Exit("_RecTask_Cue", 6);
        Dbg(" 使用的磁带编号为:%s 入点为:%s 长度为:%s", m_task.m_strTapeID.GetString(),
            TcFields(m_task.m_tsom).GetString(), TcText(m_task.m_nLength).GetString());
        return 1;
    }

    Status(RECTASK_INITING, 4);
    Wait(2000);
    timecode_t position;
    if (src->DevGetPosition(0, position))
        Log(" 预卷后的时码为<%s>，录制要求的磁带入点为<%s>", TcText(position).GetString(),
            inPoint.GetString());
    else
        Log(" 预卷后获取当前时码失败，录制要求的磁带入点为<%s>", inPoint.GetString());

    EndOnAbort(); // the recorder is not set up for an aborted task
    CVideoRecA *rec = Rec();
    Check();
    if (rec && rec->DevRecInit(m_task.m_strClipID, m_task.m_nLength + 25, 0)) {
        m_bRecInit = true;
        Status(RECTASK_INITING, 1);
        Status(RECTASK_INITED);
        return 0;
    }
    if (rec) {
        rec->DevStop();
        const bool closed = rec->DevClose() != 0;
        Wait(5000);
        Dbg(" 录制设备预卷失败,%s", closed ? "关闭设备成功" : "关闭设备失败");
    }
    Error(RECTASK_ERR_RECINIT);
    Exit("_RecTask_Cue", 7);
    Dbg(" 待录的素材编号为:<%s> 待录的长度为:<%s>", m_task.m_strClipID.GetString(),
        TcText(m_task.m_nLength).GetString());
    return 1;
}

void RecTaskRun::RecTaskSeq()
{
    if (Cue()) return;
    StartAndRecord(Now() + kStartLeadSeconds * kSecond, nullptr, 0, 0, 0);
}

void RecTaskRun::RecTaskTime()
{
    if (Cue()) return Exit("_RecTask_Time", 8);
    for (;;) {
        const int64_t now = Now();
        if (now + 60 * kSecond >= m_task.m_nStart) {
            Dbg(" 当前时间为:<%s> 计划录制开始的时间为:<%s>", TimeText(now).GetString(),
                TimeText(m_task.m_nStart).GetString());
            Status(RECTASK_BEGINREC);
            EndOnAbort(); // aborted from the callback: nothing is played
            const plat::Thread starter = StartPlay(m_task.m_nStart);
            CVideoSrcA *src = Src();
            CVideoRecA *rec = Rec();
            if (!src || !rec) {
                Exit("_RecTask_Time", 9);
                if (!src)
                    return Dbg(" 使用的源设备为空 源设备为:%s", m_task.m_strSrcDev.GetString());
                return Dbg(" 使用的录制设备为空 录制设备为:%s", m_task.m_strRecDev.GetString());
            }
            const int64_t untilStart = std::max<int64_t>(m_task.m_nStart - Now(), 0) / kMs;
            if (!WaitStartThread(starter, static_cast<uint32_t>(untilStart + 3000))) {
                Error(RECTASK_ERR_PLAY);
                return Exit("_RecTask_Time", 11);
            }
            EndOnAbort();
            Check();
            if (!rec->DevRecord(nullptr)) {
                Error(RECTASK_ERR_RECORD);
                Exit("_RecTask_Time", 10);
                return Dbg(" 录制命令执行失败!!!!!");
            }
            m_bRecording = true;
            glReportDbg(kLogDub, ":-)");
            Dbg(" 录制开始 :-)");
            glReportDbg(kLogDub, ":-)");
            Status(RECTASK_RECORDING, 2);
            return AfterRecStart();
        }
        // An abort before the start ends the wait; Run ends the task on it.
        if (m_pList->RunPendingAbort(m_evStop)) {
            m_bAbortLogged = true;
            return Log(" 当前时间为:<%s> 计划录制开始的时间为:<%s> 录制任务开始前被手动中止",
                       TimeText(now).GetString(), TimeText(m_task.m_nStart).GetString());
        }
        Wait(1000);
    }
}

void RecTaskRun::RecTaskTrigger()
{
    if (Cue()) return Exit("_RecTask_Trigger", 12);
    EndOnAbort(); // an aborted task does not wait for its trigger
    if (!m_pList->RunNotify(m_evStop, RECTASK_WAITING, 1800000))
        return Exit("_RecTask_Trigger", 13);
    EndOnAbort(); // nor does one aborted while it waited
    const int64_t start = Now() + kStartLeadSeconds * kSecond;
    m_task.m_nStart = start;
    m_pList->RunSetStart(m_evStop, start);
    StartAndRecord(start, "_RecTask_Trigger", 14, 15, 16);
}

void RecTaskRun::StartAndRecord(int64_t start, const char *step, int exitMissing, int exitRecord,
                                int exitLate)
{
    Status(RECTASK_BEGINREC);
    EndOnAbort(); // aborted from the callback: nothing is played
    const plat::Thread starter = StartPlay(start);
    CVideoSrcA *src = Src();
    CVideoRecA *rec = Rec();
    if (!src || !rec) {
        if (!step) return;
        Exit(step, exitMissing);
        if (!src) return Dbg(" 使用的源设备为空 源设备为:%s", m_task.m_strSrcDev.GetString());
        return Dbg(" 使用的录制设备为空 录制设备为:%s", m_task.m_strRecDev.GetString());
    }
    if (!WaitStartThread(starter, 7000)) {
        Error(RECTASK_ERR_PLAY);
        if (step) Exit(step, exitLate);
        return;
    }
    EndOnAbort();
    Check();
    if (!rec->DevRecord(nullptr)) {
        Error(RECTASK_ERR_RECORD);
        if (step) Exit(step, exitRecord);
        return;
    }
    m_bRecording = true;
    Status(RECTASK_RECORDING, 2);
    AfterRecStart();
}

void RecTaskRun::AfterRecStart()
{
    CVideoSrcA *src = Src();
    CVideoRecA *rec = Rec();
    if (!src || !rec) return Dbg(" 获取不到设备指针退出_RecTask_AfterRecStart函数");

    const int32_t length = m_task.m_nLength;
    Dbg(" 的录制实际开始时间为:%s  待录制素材的长度为:%s", TimeText(Now()).GetString(),
        TcText(length).GetString());
    const int32_t seconds = length / 25 + 3;
    Log(" 计划录制%d秒后退出", seconds);

    int32_t frames = 0, aborted = 0;
    for (int32_t pass = 0; pass <= seconds; ++pass) {
        frames += 25;
        Progress(frames);
        // ABORT stored by hand counts as an abort without keeping.
        if (const int32_t abort = m_pList->RunTakeAbort(m_evStop)) {
            const bool keep = abort == RECTASK_REVERSEABORT;
            Log(" 因为被%s而停止录制", keep ? "保留中断" : "不保留中断");
            aborted = keep ? RECTASK_REVERSEABORT : RECTASK_ABORTING;
            Status(aborted, frames);
            break;
        }
        Wait(1000);
    }

    timecode_t size = 0;
    Check();
    if (rec->DevGetClipSize(m_task.m_strClipID, size)) {
        Dbg(" 预期的录制时间<%d秒>已经用完,计划录制长度为:<%s>,实际长度为:<%s>", seconds,
            TcText(length).GetString(), TcText(size).GetString());
        if (size < length) {
            Dbg(",预期的录制时间<%d秒>已经用完,素材实际长度比计划长度短:%s", seconds,
                TcText(length - size).GetString());
            Wait(static_cast<uint32_t>(std::min<int64_t>(int64_t{length - size} * 40, 10000)));
        }
    }

    Status(RECTASK_RECORDED);
    Dbg(" 录制完毕的素材使用的磁带为:%s  编码口为:%s 视频源为%s", m_task.m_strTapeID.GetString(),
        m_task.m_strRecDev.GetString(), m_task.m_strSrcDev.GetString());
    Dbg(" 录制结束时间为:%s", TimeText(Now()).GetString());
    Wait(2000);
    Status(RECTASK_STOPBEGIN);

    Check();
    if (!rec->DevStop()) {
        Error(RECTASK_ERR_RECSTOP);
    } else {
        timecode_t first, second;
        bool haveFirst = false, haveSecond = false;
        // Reads the source's position after a stop, logging it with `suffix`.
        const auto readPosition = [&](timecode_t &at, bool second2, const char *suffix) {
            Check();
            const bool read = second2 ? src->DevGetPosition2(0, at) : src->DevGetPosition(0, at);
            if (read)
                Log(" 录像机停止后的时码为<%s>%s", TcText(at).GetString(), suffix);
            else
                Log(" 录像机停止后获取录像机时码失败%s", suffix);
            return read;
        };
        Check();
        if (src->DevStop()) {
            Status(RECTASK_STOPPED);
            Dbg(" 尝试停止录像机的时间为:%s", TimeText(Now()).GetString());
            haveFirst = readPosition(first, false, "  001");
            Wait(5000);
            haveSecond = readPosition(second, false, "  002");
        } else {
            Error(RECTASK_ERR_SRCSTOP);
            Dbg(" 停止录像机的命令执行失败");
            Wait(5000);
        }

        timecode_t recorded = 0;
        for (int ask = 0; ask < 30; ++ask) {
            Check();
            rec->DevGetClipSize(m_task.m_strClipID, recorded);
            if (recorded != 0) break;
            Wait(2000);
        }
        Progress(std::min<int32_t>(recorded, length));

        Status(RECTASK_STOPPING);
        for (int tryTime = 0; tryTime < 10; ++tryTime) {
            if (haveFirst && haveSecond && std::abs(first - second) < 26) {
                Log(" 经核对录像机已经停止 TRYTIME=<%d>", tryTime);
                break;
            }
            Check();
            const bool stopped = src->DevStop() != 0;
            Log(" 再次尝试停止录像机<%s>  TRYTIME=<%d>", stopped ? "成功" : "失败", tryTime);
            if (!stopped) continue;
            CString suffix;
            suffix.Format(" TRYTIME=<%d>  001", tryTime);
            haveFirst = readPosition(first, true, suffix);
            Wait(3000);
            suffix.Format(" TRYTIME=<%d>  002", tryTime);
            haveSecond = readPosition(second, false, suffix);
        }
    }

    Dbg(" 关闭编码口的时间为:%s", TimeText(Now()).GetString());
    if (Status(RECTASK_STOPPED) == 0) {
        Status(RECTASK_EJECTBEGIN);
        EndAction(*src);
        Status(RECTASK_EJECTED);
    }
    // An abort that came during the stop is ended on by Run.
    if (aborted == RECTASK_ABORTING) {
        if (LastStatus(RECTASK_ABORT)) Log(" 被手工终止录制");
    } else if (LastStatus(RECTASK_FINISHED)) {
        Dbg(" 正常结束录制");
    }
}

void RecTaskRun::EndAction(CVideoSrcA &src)
{
    Check();
    const auto cueBack = [&] {
        const int32_t inPoint = m_task.m_tsom + src.GetPlayBeforeTime() / 40;
        return src.DevCueEx(m_task.m_strClipID, inPoint, m_task.m_nLength, nullptr);
    };
    switch (src.GetVtrOverOpt()) {
    case CVideoSrcA::VTROVER_EJECT:
        src.DevEject();
        break;
    case CVideoSrcA::VTROVER_ZERO:
        cueBack();
        break;
    case CVideoSrcA::VTROVER_ZERO_EJECT:
        if (cueBack()) src.DevEject();
        break;
    default:
        src.DevStop();
        break;
    }
}

plat::Thread RecTaskRun::StartPlay(int64_t start)
{
    CVideoSrcA *src = Src();
    const int32_t inPoint = m_task.m_tsom;
    const plat::Event end = m_evPlayEnd;
    const std::shared_ptr<std::atomic<bool>> played = m_pPlayed;
    return plat::Thread::Start([src, start, inPoint, end, played] {
        PlayAtInPoint(src, start, inPoint, end, *played);
        return 0u;
    });
}

void RecTaskRun::PlayAtInPoint(CVideoSrcA *src, int64_t start, int32_t inPoint,
                               const plat::Event &end, std::atomic<bool> &played)
{
    if (!src) return;
    if (!IsTapeDeck(*src)) {
        // The way to the pre-roll is this thread's own wait, which an abort ends; the timed
        // play then waits no more than the pre-roll.
        const int64_t preroll = int64_t{std::max(src->GetPlayBeforeTime(), 0)} * kMs;
        if (!glSleepUntilSpecialTime(start - preroll, end)) return;
        played = true;
        src->DevPlay(&start);
        return;
    }
    // A tape deck plays at once and is timed by its tape: two position readings 1.62 s apart
    // give the frames left to the in-point, and the thread returns when the tape reaches it.
    played = true;
    src->DevPlay(nullptr);
    if (end.Wait(3000) == plat::WAIT_OBJECT_0) return;
    const int64_t t1 = Counter();
    timecode_t p1, p2;
    src->DevGetPosition(0, p1);
    const int64_t t2 = Counter();
    if (!glSleepUntilSpecialCount(t1 + 16200000, end)) return;
    const int64_t t3 = Counter();
    src->DevGetPosition(0, p2);
    const int64_t t4 = Counter();
    // Any odd difference, also a negative one, counts as odd.
    const int32_t intTimes = (p2 - p1) % 2 != 0 ? 3 : 2;
    const int32_t framesLeft = ((inPoint - p1) % kFramesPerDay + kFramesPerDay) % kFramesPerDay;
    if (framesLeft > 150) return;
    const int64_t counterLeft = int64_t{framesLeft} * 400000 - intTimes * 140000;
    const int64_t adjustFrame = CResAccess(src->GetSettingInfo())["AdjustFrame"].GetAsInteger(0);
    if (!glSleepUntilSpecialCount(t2 + adjustFrame * 10000 + counterLeft, end)) return;
    const int64_t current = Counter();
    glReportDbg("LOG_debug",
                "counter1 = %lld, counter2-counter1=%lld,\n \t\t\t\t\tcounter4 - counter3 = %lld, "
                "tc1=%s, tc2=%s",
                static_cast<long long>(t1), static_cast<long long>(t2 - t1),
                static_cast<long long>(t4 - t3), TcText(p1).GetString(), TcText(p2).GetString());
    glReportDbg("Log_debug",
                "cmd.tsom = %s, nIntTimes = %d, counterCurrent=%lld,\t\t\t\t\tcounterLeft=%lld",
                TcText(inPoint).GetString(), intTimes, static_cast<long long>(current),
                static_cast<long long>(counterLeft));
}

bool RecTaskRun::WaitStartThread(const plat::Thread &thread, uint32_t ms)
{
    // An abort is stored, not signalled (the host may also write it by hand): it is looked
    // for between slices of the wait.
    constexpr uint32_t kAbortLookMs = 100;
    const uint32_t begin = plat::GetTickCount();
    for (;;) {
        const uint32_t left = ms - std::min(ms, plat::TickElapsed(begin));
        const uint32_t result =
            plat::WaitForAny({&m_evStop, &thread}, std::min(left, kAbortLookMs));
        if (result == plat::WAIT_OBJECT_0) {
            EndStartThread(thread);
            throw RecTaskStopped{};
        }
        if (result == plat::WAIT_OBJECT_0 + 1) return true;
        if (m_pList->RunPendingAbort(m_evStop)) {
            EndStartThread(thread);
            EndOnAbort();
        }
        if (left <= kAbortLookMs) return false;
    }
}

void RecTaskRun::EndStartThread(const plat::Thread &thread)
{
    // A play already on its way finishes its exchange first.
    constexpr uint32_t kEndBoundMs = 5000;
    m_evPlayEnd.Set();
    thread.Join(kEndBoundMs);
}

CVideoSrcA *RecTaskRun::Src() const
{
    Check();
    return TaskVideoSrc(m_task.m_strSrcDev);
}

CVideoRecA *RecTaskRun::Rec() const
{
    Check();
    CVideoDevMgr *devMgr = TaskDevMgr();
    return devMgr ? devMgr->GetVideoRecDev(m_task.m_strRecDev, 1) : nullptr;
}

void RecTaskRun::Wait(uint32_t ms) const
{
    if (m_evStop.Wait(ms) == plat::WAIT_OBJECT_0) throw RecTaskStopped{};
}

void RecTaskRun::Check() const
{
    if (m_evStop.IsSet()) throw RecTaskStopped{};
}

int32_t RecTaskRun::Status(int32_t status, int32_t param)
{
    const std::optional<int32_t> told = m_pList->RunSetStatus(m_evStop, status, param);
    if (told) return *told;
    if (!m_bRecording) throw RecTaskAborted{};
    return 0;
}

bool RecTaskRun::LastStatus(int32_t status)
{
    return m_pList->RunSetStatus(m_evStop, status, 0).has_value();
}

void RecTaskRun::EndOnAbort()
{
    if (m_pList->RunPendingAbort(m_evStop)) throw RecTaskAborted{};
}

void RecTaskRun::Progress(int32_t frames)
{
    m_pList->RunNotify(m_evStop, RECTASK_RECORDING, frames);
}

void RecTaskRun::Error(int32_t bit)
{
    m_pList->RunAddError(m_evStop, bit);
}

void RecTaskRun::Exit(const char *step, int number)
{
    Dbg(" CVideoRecTaskList::_Impl::%s 退出 --- %03d", step, number);
}

void RecTaskRun::Dbg(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    glReportDbg(kLogDub, "录制任务:<%s>%s", m_task.m_strTaskID.GetString(), text.GetString());
}

void RecTaskRun::Log(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    glReportLog(kLogDub, "录制任务:<" + m_task.m_strTaskID + ">" + text, "");
}
