// The main/backup mode of the serial switchers. While a device is virtual it leaves its
// hardware alone: the open, close and test do not touch the port, and the commands only keep
// the base's entries (or only succeed). CSwitchVirtualGuard gates a serial model's operations
// by its InVirtualMode, another model's (the M2100) by the switcher base's own flag;
// CSwitchVirtualMode adds the flag of the EX variants: the setting "Virtual", or
// <Virtual = "TRUE"> on "#OVRA_DEV_SHARE", closes the port, and leaving virtual mode reopens it
// (three tries, 1000 ms apart) before the flag changes. It is apart from CVideoSwitchA's own
// reading of the same message.
#pragma once

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/CShareBusReader.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "platform/Sync.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <type_traits>

// How a device behaves while virtual.
struct SwitchVirtualOptions {
    // The takes and presets keep the base's entries; else they only succeed.
    bool entriesFollow = true;
    // The model's preset in both modes (asked InVirtualMode, it leaves the port alone itself).
    bool presetAlwaysModel = false;
    // The open, close, open state and test are the device base's; else each succeeds.
    bool openAsDevice = false;
    // The model's second take reaches the port: while virtual it only succeeds. Else the
    // second take is the model's in either mode (the base's keeps only the entries).
    bool secondTakeBlocked = false;
    // The entry is held to the sources, and a take's channel to the channels, before the base
    // keeps them (as the model's own commands do).
    bool holdToMatrix = false;
    // CSwitchVirtualMode: a debug line (type and text, null: none) written when a share
    // message arrives, and one (on the same type) when leaving virtual mode has reopened the
    // port.
    const char *noticeType = nullptr;
    const char *noticeText = nullptr;
    const char *reopenedText = nullptr;
};

template <class Model> class CSwitchVirtualGuard : public Model {
public:
    CSwitchVirtualGuard() : CSwitchVirtualGuard(SwitchVirtualOptions{}) {}
    explicit CSwitchVirtualGuard(const SwitchVirtualOptions &options) : m_options(options) {}

    int DevOpen() override
    {
        if (!Virtual()) return Model::DevOpen();
        return m_options.openAsDevice ? CVideoSwitchA::DevOpen() : 1;
    }
    int DevClose() override
    {
        if (!Virtual()) return Model::DevClose();
        return m_options.openAsDevice ? CVideoSwitchA::DevClose() : 1;
    }
    int DevIsOpen() override
    {
        if (!Virtual()) return Model::DevIsOpen();
        return m_options.openAsDevice ? CVideoSwitchA::DevIsOpen() : 1;
    }
    int DevTest(const char *argument) override
    {
        return Virtual() ? CVideoSwitchA::DevTest(argument) : Model::DevTest(argument);
    }
    int DevSetTransType(int type) override
    {
        return Virtual() ? CVideoSwitchA::DevSetTransType(type) : Model::DevSetTransType(type);
    }
    int DevSetTransRate(int rate) override
    {
        return Virtual() ? CVideoSwitchA::DevSetTransRate(rate) : Model::DevSetTransRate(rate);
    }
    int DevDirectTake(int channel, int entry) override
    {
        if (!Virtual()) return Model::DevDirectTake(channel, entry);
        return m_options.entriesFollow ? CVideoSwitchA::DevDirectTake(channel, Held(entry)) : 1;
    }
    int DevPreset(int channel, int entry) override
    {
        if (!Virtual() || m_options.presetAlwaysModel) return Model::DevPreset(channel, entry);
        return m_options.entriesFollow ? CVideoSwitchA::DevPreset(channel, Held(entry)) : 1;
    }
    int DevTake(int channel) override
    {
        if (!Virtual()) return Model::DevTake(channel);
        if (!m_options.entriesFollow) return 1;
        if (m_options.holdToMatrix)
            channel = std::clamp(channel, 1, std::max(1, this->GetChannels()));
        return CVideoSwitchA::DevTake(channel);
    }
    int DevTake2(int channel) override
    {
        if (m_options.secondTakeBlocked && Virtual()) return 1;
        return Model::DevTake2(channel);
    }

protected:
    const SwitchVirtualOptions &GetOptions() const { return m_options; }

private:
    bool Virtual() const
    {
        if constexpr (std::is_base_of_v<CVideoSwitchSerialA, Model>)
            return this->InVirtualMode();
        else
            return this->IsVirtual();
    }
    int Held(int entry) const
    {
        return m_options.holdToMatrix ? std::clamp(entry, 1, std::max(1, this->GetSources()))
                                      : entry;
    }

    const SwitchVirtualOptions m_options;
};

template <class Model> class CSwitchVirtualMode : public CSwitchVirtualGuard<Model> {
public:
    static constexpr int kReopenTries = 3;
    static constexpr uint32_t kReopenPauseMs = 1000;

    CSwitchVirtualMode() : CSwitchVirtualMode(SwitchVirtualOptions{}) {}
    explicit CSwitchVirtualMode(const SwitchVirtualOptions &options)
        : CSwitchVirtualGuard<Model>(options)
    {
        m_pShareReader = std::make_unique<CShareBusReader>([this](bool on) {
            const SwitchVirtualOptions &o = this->GetOptions();
            if (o.noticeType) glReportDbg(o.noticeType, "%s", o.noticeText);
            SetVirtual(on);
        });
    }
    // Ends the subscription (a reopen in progress stops pausing) while the model still lives.
    ~CSwitchVirtualMode() override
    {
        m_evStop.Set();
        m_pShareReader.reset();
    }

    int32_t OnInitInstance() override
    {
        if (!Model::OnInitInstance()) return 0;
        m_bVirtualFlag = CResAccess(this->GetSettingInfo())["Virtual"].GetAsBool(m_bVirtualFlag);
        return 1;
    }

    // TRUE closes the port; FALSE reopens it (up to three tries) and then takes the flag. The
    // same value again does nothing.
    void SetVirtual(bool on)
    {
        if (on == m_bVirtualFlag) return;
        if (on) {
            Model::DevClose();
        } else {
            const SwitchVirtualOptions &o = this->GetOptions();
            for (int attempt = 0; attempt < kReopenTries; ++attempt) {
                if (Model::DevOpen()) {
                    if (o.noticeType && o.reopenedText)
                        glReportDbg(o.noticeType, "%s", o.reopenedText);
                    break;
                }
                if (m_evStop.Wait(kReopenPauseMs) == plat::WAIT_OBJECT_0) break;
            }
        }
        m_bVirtualFlag = on;
    }
    bool GetVirtual() const { return m_bVirtualFlag.load(); }
    bool InVirtualMode() const override { return GetVirtual(); }

private:
    std::atomic<bool> m_bVirtualFlag{false};
    plat::Event m_evStop{true, false};
    std::unique_ptr<CShareBusReader> m_pShareReader;
};
