// The machine's speaker as the alert sounds use it, behind an interface so that a host (or a
// test) can put its own sound output in. The default speaker is for machines without a sound
// device: it makes no sound and keeps the time of each tone, so tunes take as long as they
// would on a speaker.
#pragma once

#include "devext/Devext20Api.h"

#include <cstdint>
#include <memory>

class DEVEXT20_API ISpeaker {
public:
    virtual ~ISpeaker() = default;
    // Sounds `hz` for `ms` milliseconds; returns when the tone has ended.
    virtual void Beep(uint32_t hz, uint32_t ms) = 0;
};

// The process's speaker (never null).
DEVEXT20_API std::shared_ptr<ISpeaker> GetSpeaker();
// Installs `speaker` (null: the default speaker again); returns the one it replaces.
DEVEXT20_API std::shared_ptr<ISpeaker> SetSpeaker(std::shared_ptr<ISpeaker> speaker);
// A tone on the process's speaker.
DEVEXT20_API void Beep(uint32_t hz, uint32_t ms);
