// The main/backup ("virtual") mode of a source driver, over its device class: while the source
// is virtual (CVideoSrcA's flag, set by its setting "Virtual" or the share bus) every device
// operation is answered by the simulated source of CVideoSrcA and leaves the hardware alone;
// otherwise it is the device's. The device class states, in its kVirtualAnswers, the few
// operations it answers otherwise. The device class itself checks nothing; a class that
// overrides an operation of a guarded source is guarded again (CSourceVirtualMode over it).
// The play-task steps and DevClose are not guarded: each step has its own virtual course, and
// a close closes the port in either mode.
#pragma once

#include "drivers/model/CVideoSrcA.h"

#include <cstdint>

// How a virtual source answers one of its operations.
enum class VirtualAnswer : uint8_t {
    Simulated, // CVideoSrcA's simulated source
    Device,    // the device's own operation in either mode: it reaches no hardware
    Own,       // the device's own answer for virtual mode (VirtualOpen, VirtualEEMode)
};

// The operations a device answers other than from the simulated source while virtual; every
// operation not named here always is.
struct tagVirtualAnswers {
    VirtualAnswer open = VirtualAnswer::Simulated;
    VirtualAnswer eeMode = VirtualAnswer::Simulated;
    VirtualAnswer getClipSize = VirtualAnswer::Simulated;
    VirtualAnswer checkCompatible = VirtualAnswer::Simulated;
};

template <class Device> class CSourceVirtualMode : public Device {
    static constexpr tagVirtualAnswers kAnswers = Device::kVirtualAnswers;

public:
    using Device::Device;

    int DevOpen() override
    {
        if constexpr (kAnswers.open == VirtualAnswer::Own) {
            if (this->IsVirtual()) return Device::VirtualOpen();
        }
        return Simulated(kAnswers.open) ? CVideoSrcA::DevOpen() : Device::DevOpen();
    }
    int DevIsOpen() override { return Virtual() ? CVideoSrcA::DevIsOpen() : Device::DevIsOpen(); }
    int DevTest(const char *argument) override
    {
        return Virtual() ? CVideoSrcA::DevTest(argument) : Device::DevTest(argument);
    }
    int DevSetMode(int mode) override
    {
        return Virtual() ? CVideoSrcA::DevSetMode(mode) : Device::DevSetMode(mode);
    }
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur,
                 CVideoSrcA::tagCallBack *callback) override
    {
        return Virtual() ? CVideoSrcA::DevCueEx(clip, som, dur, callback)
                         : Device::DevCueEx(clip, som, dur, callback);
    }
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override
    {
        return Virtual() ? CVideoSrcA::DevCue(clip, som, dur) : Device::DevCue(clip, som, dur);
    }
    int DevPlay(const int64_t *at) override
    {
        return Virtual() ? CVideoSrcA::DevPlay(at) : Device::DevPlay(at);
    }
    int DevStop() override { return Virtual() ? CVideoSrcA::DevStop() : Device::DevStop(); }
    int DevPause() override { return Virtual() ? CVideoSrcA::DevPause() : Device::DevPause(); }
    int DevContinue() override
    {
        return Virtual() ? CVideoSrcA::DevContinue() : Device::DevContinue();
    }
    int DevStep() override { return Virtual() ? CVideoSrcA::DevStep() : Device::DevStep(); }
    int DevEEMode(int mode) override
    {
        if constexpr (kAnswers.eeMode == VirtualAnswer::Own) {
            if (this->IsVirtual()) return Device::VirtualEEMode(mode);
        }
        return Simulated(kAnswers.eeMode) ? CVideoSrcA::DevEEMode(mode) : Device::DevEEMode(mode);
    }
    int DevJog(int frames) override
    {
        return Virtual() ? CVideoSrcA::DevJog(frames) : Device::DevJog(frames);
    }
    int DevJogEx(int mode, int frames) override
    {
        return Virtual() ? CVideoSrcA::DevJogEx(mode, frames) : Device::DevJogEx(mode, frames);
    }
    int DevShuttle(double speed) override
    {
        return Virtual() ? CVideoSrcA::DevShuttle(speed) : Device::DevShuttle(speed);
    }
    int DevEject() override { return Virtual() ? CVideoSrcA::DevEject() : Device::DevEject(); }
    int DevGoto(int32_t frames) override
    {
        return Virtual() ? CVideoSrcA::DevGoto(frames) : Device::DevGoto(frames);
    }
    int DevIDReq(const char *clip, int &present) override
    {
        return Virtual() ? CVideoSrcA::DevIDReq(clip, present) : Device::DevIDReq(clip, present);
    }
    int DevGetPosition(int mode, timecode_t &position) override
    {
        return Virtual() ? CVideoSrcA::DevGetPosition(mode, position)
                         : Device::DevGetPosition(mode, position);
    }
    int DevGetPosition2(int mode, timecode_t &position) override
    {
        return Virtual() ? CVideoSrcA::DevGetPosition2(mode, position)
                         : Device::DevGetPosition2(mode, position);
    }
    int DevGetClipSize(const char *clip, timecode_t &size) override
    {
        return Simulated(kAnswers.getClipSize) ? CVideoSrcA::DevGetClipSize(clip, size)
                                               : Device::DevGetClipSize(clip, size);
    }
    int DevCheckCompatible(const char *first, const char *second) override
    {
        return Simulated(kAnswers.checkCompatible) ? CVideoSrcA::DevCheckCompatible(first, second)
                                                   : Device::DevCheckCompatible(first, second);
    }

    int PreviewGoto(int32_t frames) override
    {
        return Virtual() ? CVideoSrcA::PreviewGoto(frames) : Device::PreviewGoto(frames);
    }
    int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t mode) override
    {
        return Virtual() ? CVideoSrcA::PreviewCue(clip, som, dur, mode)
                         : Device::PreviewCue(clip, som, dur, mode);
    }
    int PreviewPlay(double speed, void *context) override
    {
        return Virtual() ? CVideoSrcA::PreviewPlay(speed, context)
                         : Device::PreviewPlay(speed, context);
    }
    int PreviewStill() override
    {
        return Virtual() ? CVideoSrcA::PreviewStill() : Device::PreviewStill();
    }
    int PreviewStop() override
    {
        return Virtual() ? CVideoSrcA::PreviewStop() : Device::PreviewStop();
    }
    int PreviewGetPosition(int32_t *frames) override
    {
        return Virtual() ? CVideoSrcA::PreviewGetPosition(frames)
                         : Device::PreviewGetPosition(frames);
    }
    int PreviewJog(int32_t frames) override
    {
        return Virtual() ? CVideoSrcA::PreviewJog(frames) : Device::PreviewJog(frames);
    }
    int OnPreviewPlayStop(int32_t reason) override
    {
        return Virtual() ? CVideoSrcA::OnPreviewPlayStop(reason)
                         : Device::OnPreviewPlayStop(reason);
    }

private:
    bool Virtual() const { return this->IsVirtual(); }
    // Whether the simulated source answers an operation the device may answer otherwise.
    bool Simulated(VirtualAnswer answer) const
    {
        return answer == VirtualAnswer::Simulated && this->IsVirtual();
    }
};
