// The base of routing matrices and production switchers: a number of sources (inputs) and
// channels (outputs or buses), each channel with a preset entry (PST, the source prepared for
// the next take) and a program entry (PGM, the source on air), plus a transition type and
// rate. Every command succeeds and keeps the entries, so a switcher without hardware behaves
// as a simulated one; drivers override the commands and call the base to keep the entries.
// With its setting Exchange on it follows the main/backup "virtual" mode posted on
// "#OVRA_DEV_SHARE".
#pragma once

#include "Kest20/CLogReader.h"
#include "devext/device/CDeviceA.h"
#include "drivers/KsOvra20Api.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class KSOVRA20_API CVideoSwitchA : public CDeviceA {
    DECLARE_KEST_CLASS(CVideoSwitchA)

    // The most channels a switcher keeps entries for; a larger setting is held to it.
    static constexpr int kMaxChannels = 65535;

    explicit CVideoSwitchA(const char *typeId = kUnknownType);
    CVideoSwitchA(const CVideoSwitchA &) = delete;
    CVideoSwitchA &operator=(const CVideoSwitchA &) = delete;
    // Ends the share-bus subscription first (waiting for a delivery in progress).
    ~CVideoSwitchA() override;

    // Reads Channel and Source (applied with SetMatrix), DelayTime, Virtual and Exchange after
    // the device part. Without Exchange the share bus is not followed and Virtual is false.
    int32_t OnInitInstance() override;

    virtual int OnSetVirtual(int32_t on);
    virtual int DevSetTransType(int type);
    virtual int DevSetTransRate(int rate);
    // The commands on a channel (0 to the channel count): 1, or 0 for a channel outside.
    virtual int DevDirectTake(int channel, int entry);
    virtual int DevPreset(int channel, int entry);
    // Exchanges the channel's PST and PGM entries.
    virtual int DevTake(int channel);
    virtual int DevTake2(int channel);
    // The entry is left as it is for a channel outside (0).
    virtual int DevQueryPgmEntry(int channel, int &entry);
    virtual int DevQueryPstEntry(int channel, int &entry);
    virtual int DevQueryTransMode(int &type, int &rate);
    virtual int DevKey(int key, int on);
    virtual int DevMix(int mix, int on);
    // The buses, keys and mixes the device reports; -1 each here.
    virtual int DevGetPSTBUS();
    virtual int DevGetPGMBUS();
    virtual int DevGetKey1();
    virtual int DevGetKey2();
    virtual int DevGetMix1();
    virtual int DevGetMix2();

    // Sources of 0 or less become 4, channels of 0 or less 1 (more than kMaxChannels become
    // kMaxChannels); the entries of channels 0 to the channel count are kept, new ones 0. 1.
    int SetMatrix(int sources, int channels);
    int SetSwitchType(int type);

    int GetSources() const { return m_nSources.load(); }
    int GetChannels() const { return m_nChannels.load(); }
    int GetSwitchType() const { return m_nSwitchType.load(); }
    // The pause (ms) drivers and switcher tasks keep between commands (setting DelayTime).
    int GetDelayTime() const { return m_nDelayTime; }
    bool IsVirtual() const { return m_bVirtual.load(); }
    bool IsExchange() const { return m_bExchange.load(); }

protected:
    // The share-bus handler: with Exchange on, hands Virtual of the text <Virtual = "TRUE">
    // to OnSetVirtual (1); with Exchange off, for a message of another type or a text
    // without a Virtual it does nothing (0).
    int OnRecvSetVirtualMsg(const char *type, const char *text, const char *info);

    int32_t m_nDelayTime = 0; // ms

private:
    // Runs `use` on the channel's place in the entries under the entry lock: 1, or 0 for a
    // channel outside.
    template <class Use> int OnChannel(int channel, Use use);

    // Guards the entries and the transition; held only for the copy or swap itself.
    mutable std::mutex m_entryLock;
    std::vector<int32_t> m_PST; // per channel 0 to the channel count
    std::vector<int32_t> m_PGM;
    std::atomic<int32_t> m_nSources{16};
    std::atomic<int32_t> m_nChannels{16};
    int32_t m_nTransType = 0;
    int32_t m_nTransRate = 0;
    std::atomic<int32_t> m_nSwitchType{0};
    std::atomic<bool> m_bVirtual{false};
    std::atomic<bool> m_bExchange{false};
    std::unique_ptr<CLogReader> m_pShareReader;
};
