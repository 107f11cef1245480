// Alert tunes on the speaker. A tune is a list of tones and rests played a number of times;
// CBeepMusic plays the latest tune handed to it on a worker thread of its own, which starts
// when a tune arrives and ends after 10 s without one. PlayBeepMusic hands a tune to the
// process's current player.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <mutex>

// A tune: frequencies (Hz, 0 a rest) and durations (ms) side by side, ending at the first
// duration that is not above 0. The arrays belong to the caller and stay valid while the
// tune plays. Without durations the tune is a control command whose number is carried in
// the frequencies field (see BeepCommand).
struct tagBeepMusic {
    int32_t nRepeat = 0x0FFFFFFF; // passes still to play
    const uint32_t *pFrequency = nullptr;
    const uint32_t *pDuration = nullptr;
};

// Control commands of AddMusic.
constexpr uint32_t BEEP_CMD_DISABLE = 1; // tones become silence of the same length
constexpr uint32_t BEEP_CMD_ENABLE = 2;
constexpr uint32_t BEEP_CMD_IS_ENABLED = 3; // answers the enabled flag

// The tune that carries control command `command`.
inline tagBeepMusic BeepCommand(uint32_t command)
{
    tagBeepMusic tune;
    tune.pFrequency = reinterpret_cast<const uint32_t *>(static_cast<uintptr_t>(command));
    return tune;
}

class DEVEXT20_API CBeepMusic {
public:
    // Idle (no thread yet); becomes the process's current player.
    CBeepMusic();
    // Stops being the current player, then Stop.
    ~CBeepMusic();
    CBeepMusic(const CBeepMusic &) = delete;
    CBeepMusic &operator=(const CBeepMusic &) = delete;

    // A tune replaces the pending one (one slot, no queue) and the worker is started: 0.
    // A control command: see BEEP_CMD_*; 0 for any other number.
    int AddMusic(const tagBeepMusic &tune);
    // No more passes of the pending tune; the pass that is sounding finishes.
    void StopMusic();
    // Starts the worker when none is running.
    void Start();
    // Ends the player: the worker is asked to end (a tone sounding ends the pass) and waited
    // for up to 3000 ms, then given up. A stopped player plays nothing again.
    void Stop();
    // One pass of the tune on the calling thread; ends early once the player is stopped.
    void Play(const tagBeepMusic &tune);

private:
    struct State;
    static uint32_t __DoAlertSoundProc(const std::shared_ptr<State> &state);
    static void PlayPass(State &state, const tagBeepMusic &tune);

    std::shared_ptr<State> m_pState; // shared with the worker, which may outlive a stop
    std::mutex m_startLock;
    plat::Thread m_worker;
};

// AddMusic on the current player; 0 when there is none.
DEVEXT20_API int PlayBeepMusic(const tagBeepMusic &tune);
