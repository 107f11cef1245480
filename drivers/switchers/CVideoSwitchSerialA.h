// What the serial switcher drivers share beside CVideoSwitchA: the description and matrix set
// at construction, the port key read at initialisation, activation before a command, entry
// clamping, the open kinds (plain, and shared through the open-or-share rule) and the take
// log lines. A model's protocol object is its member, reached through Serial().
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/CSerialSwitchIO.h"

#include <memory>

class KSOVRA20_API CVideoSwitchSerialA : public CVideoSwitchA {
public:
    // The member's close and open state.
    int DevClose() override;
    int DevIsOpen() override;

protected:
    CVideoSwitchSerialA(const char *typeId, const char *description, int sources, int channels);

    virtual CSerialSwitchIO &Serial() = 0;
    // Whether the main/backup mode has the device virtual, leaving its hardware alone: then
    // nothing may open its port or send. Base: never.
    virtual bool InVirtualMode() const { return false; }

    // The key `key` of the setting path (default: the port number held) into the member.
    void ReadPortKey(const char *key);
    // Activates (and so opens) the device: whether it is active.
    bool Activate();
    // The entry held to 1 .. the source count.
    int ClampEntry(int entry) const;
    // Whether the base keeps entries for `channel` (0 .. the channel count). A take or preset
    // on another channel is refused before anything is sent: the base would refuse it once
    // the switch had gone out.
    bool HasChannel(int channel) const { return channel >= 0 && channel <= GetChannels(); }
    // The member's open: status 3 when it fails, 0 when it opens; its result.
    int OpenPlain();
    // "(%8s) <operation>(<word>)" with the instance name, through the debug log on `type`;
    // the word is "OK" on success, else `failedWord`.
    void LogCommand(const char *type, const char *operation, bool ok,
                    const char *failedWord = "Failed");
};

// The models whose devices on one line send through one protocol object: opening means
// finding an open object on the line (or opening the own), and closing closes only the own.
class KSOVRA20_API CVideoSwitchSharedA : public CVideoSwitchSerialA {
public:
    // 1 when the own port is open; else through the open-or-share rule: status 0 and the
    // found object's open state, or status 3 and 0 when there is none.
    int DevOpen() override;
    // Closes the own port: 1.
    int DevClose() override;
    // Whether the own port is open or a shared one is found (opening the own when none is).
    int DevIsOpen() override;

protected:
    using CVideoSwitchSerialA::CVideoSwitchSerialA;
    // The model's open-or-share rule on its own protocol class.
    virtual std::shared_ptr<CSerialSwitchIO> FindActivePort() = 0;
};
