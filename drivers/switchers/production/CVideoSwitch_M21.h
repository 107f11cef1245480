// The M21 and SATURN4000 production switchers (one serial protocol) and their main/backup EX
// variants: 16 sources, 1 channel, on an RS-422 board port at 38400 baud, even parity. Besides
// takes and presets they key and mix. Every frame follows a line break and the preamble 82 80
// and is acknowledged within 500 ms (04); a refusal (08) and the switcher's own messages are
// answered with 04.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/production/M21Frames.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_M21 : public CAnsweringSwitchIO<m21frame::CAnswerDecoder> {
public:
    static constexpr uint32_t kReplyMs = 500;
    static constexpr int kBreakMs = 10;

    // `pollMs`: the last value of the line setting (50 for the M21, 100 for the SATURN4000).
    explicit CSerialIO_M21(uint16_t pollMs);
    ~CSerialIO_M21() override;

    // Under the request lock, on each try: break, preamble, the frame; 1 when acknowledged.
    int Send(const m21frame::Bytes &frame);
    // Sends the transition type or rate code and keeps what it set.
    int SendTransType(int type);
    int SendTransRate(int rate);
    int GetTransType() const { return m_nTransType.load(); }
    int GetTransRate() const { return m_nTransRate.load(); }
    // The last message the switcher sent of its own.
    m21frame::Bytes GetReported() const;

protected:
    // The last answer reads: a refusal refuses, an acknowledgement or a message answers; a
    // message is kept as the one last reported.
    std::optional<ReplyCheck> Read(const std::vector<m21frame::Answer> &answers) override;
    // The switcher's messages and refusals are answered with an acknowledge of ours.
    void Answer(const std::vector<m21frame::Answer> &answers) override;

private:
    std::atomic<int> m_nTransType{-1};
    std::atomic<int> m_nTransRate{-1};
    m21frame::Bytes m_reported; // under the receive lock
};

// What the two models share; the model's differences are its KeyMix table and its overrides.
class KSOVRA20_API CVideoSwitchM21A : public CSwitchRoutes<CSerialIO_M21> {
public:
    int DevSetTransType(int type) override;
    // The key or mix `code` on `bus`.
    int DevKey(int bus, int code) override;
    int DevMix(int bus, int code) override;
    int DevGetPGMBUS() override;
    int DevGetPSTBUS() override;
    int DevGetKey1() override;
    int DevGetKey2() override;
    int DevGetMix1() override;
    int DevGetMix2() override;

    CSerialIO_M21 &Protocol() { return m_Serial; }

protected:
    CVideoSwitchM21A(const char *typeId, const char *description, uint16_t pollMs,
                     const m21frame::KeyMix &keyMix);
    CSerialSwitchIO &Serial() override { return m_Serial; }

    // The port settings of the setting path ("COM", "COM_Baud", "Parity").
    int32_t ReadKeys(CResAccess &setting) override;
    // The source selected on the program bus, or on the preset bus.
    int SendRoute(CSerialIO_M21 &port, int channel, int entry) override;
    int SendPreset(CSerialIO_M21 &port, int channel, int entry) override;
    // Activates the device and sends the frame.
    int Command(const m21frame::Bytes &frame);
    // The source number sent for `entry` (the entry itself unless the model maps it).
    virtual int WireSource(int entry) { return entry; }
    // A debug line on "hhd" naming the operation (SATURN4000 only).
    virtual void Trace(const char *) {}

    const m21frame::KeyMix &m_keyMix;
    CSerialIO_M21 m_Serial;
};

class KSOVRA20_API CVideoSwitch_M21 : public CVideoSwitchM21A {
    DECLARE_KEST_CLASS(CVideoSwitch_M21)

    CVideoSwitch_M21();
    int DevSetTransRate(int rate) override;
    // The take, then (200 ms later) the channel's preset selected on the program bus.
    int DevTake(int channel) override;
};

class KSOVRA20_API CVideoSwitch_SATURN4000 : public CVideoSwitchM21A {
    DECLARE_KEST_CLASS(CVideoSwitch_SATURN4000)

    CVideoSwitch_SATURN4000();
    // Sends nothing and keeps nothing: 1.
    int DevSetTransRate(int rate) override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    // Takes the key off (the bus byte plus 20): for the keyers on this switcher's port.
    int KeyOff(int bus, int code);

protected:
    // "EnableEntryMap".
    int32_t ReadKeys(CResAccess &setting) override;
    // The take command, whatever the preset.
    int SendTake(CSerialIO_M21 &port, int channel, int preset) override;
    int WireSource(int entry) override;
    void Trace(const char *operation) override;

private:
    std::atomic<bool> m_bEntryMap{true};
};

// The EX variants: the main/backup mode, the transitions too keeping only the base's state
// while virtual.
class KSOVRA20_API CVideoSwitch_M21EX : public CSwitchVirtualMode<CVideoSwitch_M21> {
    DECLARE_KEST_CLASS(CVideoSwitch_M21EX)

    CVideoSwitch_M21EX();
};

class KSOVRA20_API CVideoSwitch_SATURN4000EX : public CSwitchVirtualMode<CVideoSwitch_SATURN4000> {
    DECLARE_KEST_CLASS(CVideoSwitch_SATURN4000EX)

    CVideoSwitch_SATURN4000EX();
};
