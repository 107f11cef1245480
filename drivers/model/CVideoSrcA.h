// The base of play-out sources (VTRs, video servers, live lines). Every operation has a
// simulated default that succeeds: a position counter that cue, play, stop and jog move, so a
// source configured without hardware behaves as a simulated device and a driver overrides
// only what its device does. The source owns its play list, whose thread calls the play-task
// steps below, and follows the main/backup "virtual" mode posted on "#OVRA_DEV_SHARE" when its
// setting Exchange is on: a virtual source follows its list without touching the device.
#pragma once

#include "Kest20/CLogReader.h"
#include "KestLib20/string_traits.h"
#include "KestLib20/timecode_t.h"
#include "devext/device/CDeviceA.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CPlayCounter.h"
#include "drivers/model/CVideoPlayTaskList.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoSrcA : public CDeviceA, public IVideoPlayTaskOwner {
    DECLARE_KEST_CLASS(CVideoSrcA)

    using tagKeyName = string_traits<char>::tagKeyName;

    // The cue-progress record a driver may take in DevCueEx; the base never reads it.
    struct tagCallBack;

    // The VTR time-code kinds {1 "TC", 2 "CTL"}, ended by a zero row.
    static const tagKeyName gVTRTimecodeTypeEnum[];
    // The row's name, "" for a kind not in the table.
    static const char *VTRTimecodeTypeToName(int type);
    // The kind named exactly `name`; 0 when none.
    static int StringToVTRTimecodeType(const char *name);

    // What a tape source does when a recording from it has ended (its setting VtrOverOpt).
    enum VtrOverOpt : int32_t {
        VTROVER_STOP = 0,
        VTROVER_EJECT = 1,
        VTROVER_ZERO = 2,       // cue back to the in-point
        VTROVER_ZERO_EJECT = 3, // cue back, then eject
    };
    // "STOP", "EJECT", "ZERO", "ZERO_EJECT" in any letter case; any other text is STOP.
    static int32_t ParseVtrOverOpt(const char *text);

    explicit CVideoSrcA(const char *typeId = kUnknownType);
    // Copies the settings and the position; the copy has a play list and a share-bus
    // subscription of its own.
    CVideoSrcA(const CVideoSrcA &other);
    CVideoSrcA &operator=(const CVideoSrcA &other);
    // Stops the share-bus subscription and the play list's thread first.
    ~CVideoSrcA() override;

    // Reads the source's keys after the device part, with the members' values as defaults.
    int32_t OnInitInstance() override;

    // Status 0, position 0, stopped: 1. Open also lets the play-task sleeps run again.
    int DevOpen() override;
    // Ends the play-task sleeps and stops the play list's thread (bounded; from that thread
    // it only asks), position 0, stopped: 1.
    int DevClose() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;

    virtual int DevSetMode(int mode);
    // Position at `som`, stopped.
    virtual int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback);
    virtual int DevCue(const char *clip, timecode_t som, timecode_t dur);
    // With a start time (framework time, 100 ns units): sleeps until then, runs at real speed,
    // then sleeps PlayBeforeTime ms; without one it runs at once. 0 when a close ended the
    // sleep before the start.
    virtual int DevPlay(const int64_t *at);
    virtual int DevStop();
    virtual int DevPause();
    virtual int DevContinue();
    virtual int DevStep();
    virtual int DevEEMode(int mode);
    // Stopped, position moved by `frames`.
    virtual int DevJog(int frames);
    virtual int DevJogEx(int mode, int frames);
    virtual int DevShuttle(double speed);
    virtual int DevEject();
    virtual int DevGoto(int32_t frames);
    virtual int DevIDReq(const char *clip, int &present);
    virtual int DevGetPosition(int mode, timecode_t &position);
    virtual int DevGetPosition2(int mode, timecode_t &position);
    // 450000 frames for every clip.
    virtual int DevGetClipSize(const char *clip, timecode_t &size);
    virtual int DevCheckCompatible(const char *first, const char *second);
    // Id 0 empties the play list, any other removes that task.
    virtual int DevDeletePlayTask(int id);
    virtual int DevAddPlayTask(CVideoPlayTask &task);

    // Play-task steps, called by the play list's thread each cycle.
    // Puts the preset task on air at its start (see the source file).
    int OnTaskStartNewTask() override;
    // Brings the preset task, as its start comes nearer, through device check (status 2),
    // clip check (5), first cue (8) and second cue (10).
    int OnTaskCheckNextTask() override;
    int OnTaskCheckTaskList() override;
    // Takes a stopped task off the list; a single-transport device is stopped.
    int OnTaskStopCurrentTask() override;
    int OnTaskTracePgmTask() override;

    // Preview goes through the device slots, so a driver's commands serve it too.
    virtual int PreviewGoto(int32_t frames);
    // Always cues from frame 0; the other arguments are not used.
    virtual int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t mode);
    virtual int PreviewPlay(double speed, void *context);
    virtual int PreviewStill();
    virtual int PreviewStop();
    virtual int PreviewGetPosition(int32_t *frames);
    virtual int PreviewJog(int32_t frames);
    virtual int OnPreviewPlayStop(int32_t reason);
    virtual int OnSetVirtual(int32_t on);

    // The share-bus handler: with Exchange on, reads Virtual from the text <Virtual = "TRUE">
    // and hands it to OnSetVirtual (1); with Exchange off, for a message of another type or
    // a text without a Virtual it does nothing (0).
    int OnRecvSetVirtual(const char *type, const char *text, const char *info);

    // What the play list reads of its owner.
    int32_t GetPrepareTime() override { return m_nPrepareTime; }
    int32_t GetPlayBeforeTime() override { return m_nPlayBeforeTime; }
    int32_t GetTaskPollInterval() override { return m_nTaskPollInterval; }

    CVideoPlayTaskList &GetPlayList() { return m_PlayList; }
    bool IsVirtual() const { return m_bVirtual.load(); }
    bool IsExchange() const { return m_bExchange.load(); }
    // The end action of a tape source after a recording (VtrOverOpt), read by the record task
    // list; a tape driver sets it from its setting.
    int32_t GetVtrOverOpt() const { return m_nVtrOverOpt; }

protected:
    // The play-task sleeps (to a start, after a start) end early when the device closes.
    const plat::Waitable &ClosingEvent() const { return m_evClosing; }
    // Whether an open asked now opens nothing: the calling thread is to give up (its unit
    // stops, or the device was closed under its call), so a closed device stays closed. The
    // device's activation always opens.
    bool OpenRefused();

    CVideoPlayTaskList m_PlayList{this};
    int32_t m_nPlayBeforeTime = 1000; // ms
    int32_t m_nPrepareTime = 2000;    // ms
    // 1: the next task is cued while one is on air and the device is not stopped when a task
    // ends; single-transport drivers set 0.
    int32_t m_nCueWhilePlaying = 1;
    int32_t m_nTaskPollInterval = 10000; // ms: the play list's thread looks at least this often
    int32_t m_nAdjustFrame = 0;
    CPlayCounter m_Counter;
    int32_t m_nDevCheckTime = 120; // s
    int32_t m_nClipCheckTime = 60; // s
    int32_t m_nFirstCueTime = 20;  // s
    int32_t m_nSecondCueTime = 10; // s
    // Ticks a driver uses to space its check-next and trace steps; the check-next tick is
    // cleared whenever the start step runs the check-next step, so that it runs at once.
    uint32_t m_dwCheckNextTick = 0;
    uint32_t m_dwTraceTick = 0;
    std::atomic<bool> m_bVirtual{false};
    std::atomic<bool> m_bExchange{false};
    int32_t m_nVtrOverOpt = VTROVER_STOP;

private:
    void SubscribeShareBus();
    // Writes the task back, telling its receiver what changed.
    void WriteBack(const CVideoPlayTask &task);
    // The virtual start: at the start time the preset goes on air untouched.
    int StartVirtual(const CVideoPlayTask &preset);
    // Plays the preset (taken off the list) unless it carries errors.
    void PlayPreset(CVideoPlayTask &task);
    // Runs the check-next step at once, however a driver spaces it.
    void CheckNextNow();

    plat::Event m_evClosing{true, false};
    std::unique_ptr<CLogReader> m_pShareReader;
};
