// The VDCP protocol engine: a serial protocol object that talks VDCP to one channel of a
// video server over an RS-422 port, created by class name "CVDCP". Its callers use it
// through ISerialVDCP; engines of several devices on one port share the open one through
// GetSharedPort.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP.h"
#include "drivers/sources/vdcp/ISerialVDCP.h"

#include <atomic>
#include <memory>

// Made jointly owned (std::make_shared), an engine handed to another device's sharer stays
// until the last of them lets it go.
class KSOVRA20_API CVDCP : public CSerialIO_VDCP,
                           public ISerialVDCP,
                           public std::enable_shared_from_this<CVDCP> {
    DECLARE_KEST_CLASS(CVDCP)

    static constexpr int32_t kDefaultOptions = 5;
    static constexpr int32_t kDefaultShareMode = 3;
    static constexpr uint32_t kTestQuietMs = 3000;

    // Port 2, 38400 baud 8O1 on the RS-422 board, BASIC, reply wait 1000 ms.
    CVDCP();
    ~CVDCP() override;

    // "BASIC" or an empty name selects BASIC, "NEW" the NEW set with length-prefixed clip ids;
    // any other name leaves the set as it is.
    void SelectCommandSet(const char *name);
    // 'B' or 'N'.
    char GetCommandSet() const { return static_cast<char>(GetVariant()); }

    int32_t SetPort(int32_t port, int32_t channel) override;
    int32_t IsOpen() override;
    int32_t Open() override;
    int32_t Test() override;
    int32_t Close() override { return CSerialIO_VDCP::Close(); }
    int32_t GetFailCount() override { return CSerialIO_VDCP::GetFailCount(); }
    int32_t Lock() override { return CSerialIO_VDCP::Lock(); }
    int32_t Unlock() override { return CSerialIO_VDCP::Unlock(); }
    int32_t SetOptions(int32_t options) override { return m_nOptions = options, 1; }
    int32_t GetOptions() override { return m_nOptions; }
    int32_t SetShareMode(int32_t mode) override { return m_nShareMode = mode, 1; }
    int32_t GetShareMode() override { return m_nShareMode; }
    int32_t GetSharedPort(std::shared_ptr<ISerialVDCP> &itf, int32_t *kind) override;

    int32_t Record() override { return CSerialIO_VDCP::Record(); }
    int32_t Play() override { return CSerialIO_VDCP::Play(); }
    int32_t Stop() override { return CSerialIO_VDCP::Stop(); }
    int32_t Continue() override { return CSerialIO_VDCP::Continue(); }
    int32_t Step() override { return CSerialIO_VDCP::Step(); }
    int32_t Still() override { return CSerialIO_VDCP::Still(); }
    // The counter runs at a third of the speed sent.
    int32_t VariablePlay(double speed) override;
    int32_t Jog(int32_t frames) override { return CSerialIO_VDCP::Jog(frames); }
    int32_t Goto(int32_t frame) override { return CSerialIO_VDCP::Goto(frame); }
    int32_t Freeze() override { return CSerialIO_VDCP::Freeze(); }
    int32_t Unfreeze() override { return CSerialIO_VDCP::Unfreeze(); }
    int32_t EEMode(int32_t mode) override { return CSerialIO_VDCP::EEMode(mode); }
    int32_t SetDiskPreroll(int32_t frames, int32_t seconds) override
    {
        return CSerialIO_VDCP::SetDiskPreroll(frames, seconds);
    }
    int32_t PlayCue(const char *clip, int32_t waitMs) override
    {
        return CSerialIO_VDCP::PlayCue(clip, waitMs);
    }
    int32_t CueWithData(const char *clip, int32_t som, int32_t dur, int32_t waitMs) override
    {
        return CSerialIO_VDCP::CueWithData(clip, som, dur, waitMs);
    }
    int32_t RecordInit(const char *clip, int32_t duration, int32_t waitMs) override;
    int32_t PresetWithData(const char *clip, int32_t first, int32_t second) override;
    int32_t GetPosition(int32_t *frames, int32_t ageMs, int32_t *since) override;
    int32_t GetStatus(int32_t *status1, int32_t *status2, int32_t *extended, int32_t ageMs,
                      int32_t *since) override;
    int32_t WaitStatus(int32_t mask, int32_t timeoutMs) override
    {
        return CSerialIO_VDCP::WaitStatus(mask, timeoutMs);
    }
    int32_t ClosePort(int32_t channel) override { return CSerialIO_VDCP::ClosePort(channel); }
    int32_t SelectPort(int32_t channel) override { return CSerialIO_VDCP::SelectPort(channel); }
    int32_t OpenPort(int32_t channel, int32_t mode, int32_t *answer) override
    {
        return CSerialIO_VDCP::OpenPort(channel, mode, answer);
    }
    int32_t GetSystemTime(timecode_t &time) override;
    int32_t GetSystemWord(int32_t *word) override;
    int32_t GetIdSize(const char *clip, timecode_t &duration) override;
    int32_t IdRequest(const char *clip, int32_t *answer) override
    {
        return CSerialIO_VDCP::IdRequest(clip, answer);
    }
    int32_t DeleteId(const char *clip) override { return CSerialIO_VDCP::DeleteId(clip); }
    int32_t RenameId(const char *from, const char *to) override;
    int32_t GetIdList(CStringArray &names, int32_t reserved, int32_t limit) override;
    int32_t GetIdListNext(int32_t *more, CStringArray &names) override;

protected:
    bool GivesUpOnExtended(int32_t) const override { return (m_nOptions & 1) != 0; }

private:
    std::atomic<int32_t> m_nOptions{kDefaultOptions};
    std::atomic<int32_t> m_nShareMode{kDefaultShareMode};
};
