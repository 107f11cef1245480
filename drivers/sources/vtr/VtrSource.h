// What the VTR sources share: the keys they read beside the source keys, the cue target of a
// task, and the play-task steps whose shape they have in common (start, trace, put away).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSrcA.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace vtrsource {

constexpr const char *kDeviceType = "LVSRC_VTR";
constexpr const char *kDevLog = "LOG_DEV_BETACAM";
constexpr const char *kTaskLog = "LOG_PLAYTASK";
constexpr int32_t kClipSize = 45000; // 00:30:00:00, what a tape is taken to hold
constexpr int32_t kFramesPerDay = 2160000;
constexpr int64_t kUnitsPerMs = 10000;

// Task error flags the VTR sources set.
constexpr int32_t kErrDevice = 1;
constexpr int32_t kErrNoTape = 4;
constexpr int32_t kErrSecondCue = 16;
constexpr int32_t kErrNotPlaying = 18;

// The port number of a VTR source until its setting gives one that fits.
constexpr uint16_t kDefaultCom = 3;

// The keys both VTR sources read, with their defaults.
struct Settings {
    int32_t bFixedMode = 1;
    int32_t nHeadStartTime = 500; // ms: the play command goes out this much before the pre-roll
    int32_t nTCType = 0;          // 1: cue on time code, else on the CTL timer

    // "FixedMode", "HeadStartTime", "First_Cue", "Second_Cue" (into the cue times),
    // "VtrOverOpt" and "TCType" of `path`; a missing key keeps the value.
    void Read(const char *path, int32_t &firstCue, int32_t &secondCue, int32_t &overOpt);
};

// Sets the source timing defaults the VTR sources share.
void SetTimingDefaults(int32_t &playBefore, int32_t &prepare, int32_t &devCheck, int32_t &clipCheck,
                       int32_t &firstCue, int32_t &secondCue, int32_t &pollInterval);

int64_t Now();
const char *OkFailed(int result);
// DevCheckCompatible of a VTR source: 0 unless `type` begins with the VTR device type, else 1
// when the source's clip size (what the tape holds) is not 0.
int CheckCompatible(CVideoSrcA &source, const char *type, const char *clip);

// The frame to cue for material starting at `som`: the pre-roll (ms) before it.
int32_t CueTarget(int32_t som, int32_t playBeforeMs);
// Lowered by whole days while above one day.
int32_t WithinDay(int32_t frames);
// Whole seconds to the task's start; a task marked due at once reads one second inside the
// first cue window.
int64_t SecondsToStart(const CVideoPlayTask &task, int32_t firstCue);

// A transport command of a VTR source on an open device (`ready`, which opens it first): the
// command and its trace line under the device log, `line` taking "OK" or "failed". 0 when
// the device is closed.
int RunCommand(bool ready, const std::function<int()> &command, const char *line);

// How a source's DevPlay differs.
struct PlayStep {
    const plat::Waitable &closing;
    int32_t leadMs;                    // the play command goes out this long before the start
    int32_t afterMs;                   // slept after it, with a start time
    std::function<bool()> ready;       // opens the device; whether it is open
    std::function<void()> beforeSleep; // with a start time, before sleeping to the lead
    std::function<int()> play;
    bool logSleep = false; // the sleep after the command is logged
};
// The play command, at `*at` less the lead (at once without a start time); the device is
// checked first unless the start lies within 8000 frames. The play command's result.
int RunPlay(const int64_t *at, const PlayStep &step);

// How a source's start step differs.
struct StartStep {
    const plat::Waitable &closing;
    // Called when the preset is further off than prepare plus pre-roll, with the ms to go
    // (not while the source is virtual).
    std::function<void(int64_t ms)> whileFar;
    bool logVirtual = false; // the virtual start is logged
    bool logStarted = false; // the closing "StartNewTask" line is written
    // Looks at the preset once it is taken to go on air without flags, and may flag it.
    std::function<void(CVideoPlayTask &)> check = nullptr;
};
// Puts the preset on air at its start: played through DevPlay unless it carries errors.
// 1 when a task was started or dropped.
int RunStartStep(CVideoSrcA &source, const StartStep &step);

// Follows the task on air, at most once per 2000 ms (`tick`): `check` looks at it and may
// change it (it is written back), and when less than 3000 ms remain the source sleeps to
// its end, stops and clears it, logging `endLine` when given. 1 while a task is on air.
int RunTraceStep(CVideoSrcA &source, uint32_t &tick, const plat::Waitable &closing,
                 const std::function<void(CVideoPlayTask &)> &check, const char *endLine);

// Takes the oldest stopped task while none is on air. A virtual source tells its callback
// "ejected" and leaves the device alone. True when the caller is to put the machine away.
bool TakeStoppedTask(CVideoSrcA &source, CVideoPlayTask &task);
// The end action `overOpt` for a task that started at `som`.
void PutAway(CVideoSrcA &source, int32_t overOpt, int32_t som);

} // namespace vtrsource

class CSerialIO;

// The device base of the VTR sources: the keys they share, their timing defaults, and the
// open that follows a close.
class KSOVRA20_API CVtrSourceA : public CVideoSrcA {
protected:
    CVtrSourceA();

    // The shared keys (see vtrsource::Settings) into m_Vtr and the cue times, and "Com" as
    // the port number of `line` (see CSerialIO::ReadPortKey).
    void ReadVtrSettings(CSerialIO &line);
    // The open of a virtual source (the guard's): status 0, and after a close the base's
    // open; 1.
    int VirtualOpen();
    // The base's open after a close (the play-task sleeps may run again), then status 0.
    void Reopen();
    // DevClose's part: the next open opens the base again first.
    void NoteClosed() { m_bReopen = true; }

    vtrsource::Settings m_Vtr;

private:
    std::atomic<bool> m_bReopen{false}; // a close has run: the base is opened again first
};
