// The serial switch driver template. A model gives its options (type id, description,
// matrix, port key, how it opens its line, how a preset goes, whether takes hold the entry
// to the sources, the log type of its take lines) and sends one route; the base does the
// initialisation with the port key, the open with its status (own line, or shared through
// the open-or-share rule, with the model's device check), activation before a command, the
// direct take, the take of the channel's preset entry and the preset, and keeps the base's
// entries after a command that went out. CVideoSwitchSerial<IO> holds the model's protocol
// object of class IO, and CSwitchRoutes hands the model that class in each send.
#pragma once

#include "KestLib20/CResAccess.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/CSerialSwitchIO.h"

#include <memory>

class KSOVRA20_API CVideoSwitchSerialA : public CVideoSwitchA {
public:
    // How a model opens its line.
    enum class Open {
        Plain,  // the own port: status 3 when it fails, 0 when it opens, on every open
        Own,    // 1 at once while open; else the own port, with the device check
        Shared, // 1 at once while the own port is open; else the open-or-share rule, the own
                // port with the device check
    };
    // How a model presets.
    enum class Preset {
        Base, // the base's, nothing else
        Kept, // after activation the base keeps the entry; nothing is sent
        Sent, // as a direct take, through SendPreset
    };
    struct Options {
        const char *typeId;
        const char *description;
        int sources;
        int channels;
        const char *portKey = "COM"; // the port number's key, in the model's case ("COM", "Com")
        int portDefault = -1;        // the port a missing key gives; -1: the line's own
        Open open = Open::Plain;
        bool isOpenShares = false; // DevIsOpen looks for a line as the open does (and opens one)
        Preset preset = Preset::Base;
        bool clampEntry = true;        // takes and presets hold the entry to 1 .. the sources
        const char *logType = nullptr; // "(%8s) DirectTake(OK)" and the like; null: none
    };

    // The switcher keys, the port key, then the model's keys (ReadKeys).
    int32_t OnInitInstance() override;
    int DevOpen() override;
    // Closes the own port: 1.
    int DevClose() override;
    int DevIsOpen() override;
    // A channel the device does not take is refused first; then activation, the entry held
    // (unless the options say not), the route, and the base's entry once it went out.
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    // The route of the channel's preset entry (as the base holds it, not held to range) to
    // the channel's take output (TakeOutput), whose base entries it then takes; an output the
    // base does not keep, or the device does not take, is refused first.
    int DevTake(int channel) override;

protected:
    explicit CVideoSwitchSerialA(const Options &options);

    // What a command sends.
    enum class Command { Route, Preset, Take };

    virtual CSerialSwitchIO &Serial() = 0;
    // The model's open-or-share rule on its own protocol class (CVideoSwitchSerial gives it;
    // only Open::Shared asks it). Base: none.
    virtual std::shared_ptr<CSerialSwitchIO> Share() { return nullptr; }
    // Sends `command` of `entry` on `channel` through `port` (the own object or one shared):
    // whether it went. CSwitchRoutes hands it to the model's typed sends. Base: nothing goes.
    virtual int Send(CSerialSwitchIO &port, Command command, int channel, int entry);

    // Whether the main/backup mode has the device virtual, leaving its hardware alone: then
    // nothing may open its port or send. Base: never.
    virtual bool InVirtualMode() const { return false; }
    // The model's own keys, read after the port key. Base: 1.
    virtual int32_t ReadKeys(CResAccess &setting);
    // Whether the switch answers as it should once its own port has opened (Own and Shared);
    // when not, the open fails with status 5. Base: it does.
    virtual bool CheckDevice() { return true; }
    // Whether a take or preset on `channel` may go out. Base: the channels the base keeps.
    virtual bool TakesChannel(int channel) const { return HasChannel(channel); }
    // The output a take of the channel's preset entry goes to: a model whose takes all go to
    // one program output names it here. Base: the channel.
    virtual int TakeOutput(int channel) const { return channel; }
    // `program` when it is one of the outputs 1 .. the channel count, else `channel`: the rule
    // of the models whose program output key may be left unset.
    int ProgramOr(int program, int channel) const
    {
        return program >= 1 && program <= GetChannels() ? program : channel;
    }

    // Activates the device (which opens it) and gives the protocol object to send through:
    // the own, or the one the open-or-share rule finds; held for the one command. Null while
    // virtual, when activation fails or when no line is found.
    std::shared_ptr<CSerialSwitchIO> Ready();
    // Activates (and so opens) the device: whether it is active.
    bool Activate();
    // The entry held to 1 .. the source count.
    int ClampEntry(int entry) const;
    // Whether the base keeps entries for `channel` (0 .. the channel count). A take or preset
    // on another channel is refused before anything is sent: the base would refuse it once
    // the switch had gone out.
    bool HasChannel(int channel) const { return channel >= 0 && channel <= GetChannels(); }
    // The channel's preset entry as the base holds it.
    int PresetEntry(int channel);
    // "(%8s) <operation>(<word>)" with the instance name, through the debug log on the
    // options' log type (none without one); the word is "OK" on success, else `failedWord`.
    void LogCommand(const char *operation, bool ok, const char *failedWord = "Failed");

private:
    const Options m_options;
};

// The typed sends of a driver whose protocol objects are of class Port (or derived from it):
// the base's commands reach the model's SendRoute, SendPreset and SendTake with the object to
// send through as a Port. A family whose models' protocols share a base class puts its
// sends here once.
template <class Port, class Driver = CVideoSwitchSerialA> class CSwitchRoutes : public Driver {
protected:
    using Driver::Driver;
    using Command = CVideoSwitchSerialA::Command;

    // The one route a model sends: `entry` (1-based, held to the sources unless the options
    // say not) to `channel` through `port`, the own object or one shared. Whether it went.
    // Base: nothing goes (a family that writes its own commands needs none).
    virtual int SendRoute(Port &, int, int) { return 0; }
    // The preset of Preset::Sent. Base: nothing goes.
    virtual int SendPreset(Port &, int, int) { return 0; }
    // The take of the channel's preset entry. Base: its route.
    virtual int SendTake(Port &port, int channel, int preset)
    {
        return SendRoute(port, channel, preset);
    }
    // Ready, as a Port.
    std::shared_ptr<Port> ReadyPort() { return std::static_pointer_cast<Port>(this->Ready()); }

    int Send(CSerialSwitchIO &port, Command command, int channel, int entry) final
    {
        // Only the own object or one of the own class (the sharing rule's) comes here.
        Port &to = static_cast<Port &>(port);
        switch (command) {
        case Command::Route:
            return SendRoute(to, channel, entry);
        case Command::Preset:
            return SendPreset(to, channel, entry);
        case Command::Take:
            return SendTake(to, channel, entry);
        }
        return 0;
    }
};

// A model's driver on its protocol object of class IO, a member: a plain model derives from
// CVideoSwitchSerial<IO> and sends one route (SendRoute); a family with a base of its own
// (derived from CVideoSwitchSerialA or CSwitchRoutes) gives it as `Driver`.
template <class IO, class Driver = CSwitchRoutes<IO>> class CVideoSwitchSerial : public Driver {
public:
    IO &Protocol() { return m_Serial; }

protected:
    using Driver::Driver;

    CSerialSwitchIO &Serial() final { return m_Serial; }
    std::shared_ptr<CSerialSwitchIO> Share() final { return SharePort(); }
    // The open-or-share rule on the model's protocol class: an open object of that class on
    // the line, or the own once it opens; held.
    std::shared_ptr<IO> SharePort() { return m_Serial.template OpenOrShare<IO>(); }

    IO m_Serial;
};
