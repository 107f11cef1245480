// The main/backup mode of the EX variants of the serial switchers, over any model driver:
// while virtual (setting "Virtual", or <Virtual = "TRUE"> on "#OVRA_DEV_SHARE") the port is
// closed and the commands leave the hardware alone; leaving virtual mode reopens the port
// (three tries, 1000 ms apart) before the flag changes. It is apart from CVideoSwitchA's own
// reading of the same message.
#pragma once

#include "Kest20/CLogReader.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/model/ShareBus.h"
#include "platform/Sync.h"

#include <atomic>
#include <memory>
#include <optional>

template <class Model> class CSwitchVirtualMode : public Model {
public:
    static constexpr int kReopenTries = 3;
    static constexpr uint32_t kReopenPauseMs = 1000;

    // How a variant behaves while virtual: whether the commands still keep the entries,
    // whether its preset stays the model's in both modes (the model's, asked InVirtualMode,
    // then leaves the port alone), a debug line (type and text, null: none) written when a
    // share message arrives, and one (on the same type) written when leaving virtual mode has
    // reopened the port.
    struct Options {
        bool entriesFollow = true;
        const char *noticeType = nullptr;
        const char *noticeText = nullptr;
        bool presetAlwaysModel = false;
        const char *reopenedText = nullptr;
    };

    explicit CSwitchVirtualMode(Options options = {}) : m_options(options)
    {
        m_pShareReader = std::make_unique<CLogReader>(&CSwitchVirtualMode::OnShareMessage, this,
                                                      sharebus::kShareBus, LOG_MODE_PATTERN);
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
            for (int attempt = 0; attempt < kReopenTries; ++attempt) {
                if (Model::DevOpen()) {
                    if (m_options.noticeType && m_options.reopenedText)
                        glReportDbg(m_options.noticeType, "%s", m_options.reopenedText);
                    break;
                }
                if (m_evStop.Wait(kReopenPauseMs) == plat::WAIT_OBJECT_0) break;
            }
        }
        m_bVirtualFlag = on;
    }
    bool GetVirtual() const { return m_bVirtualFlag.load(); }
    bool InVirtualMode() const override { return GetVirtual(); }

    int DevOpen() override { return m_bVirtualFlag ? 1 : Model::DevOpen(); }
    int DevClose() override { return m_bVirtualFlag ? 1 : Model::DevClose(); }
    int DevIsOpen() override { return m_bVirtualFlag ? 1 : Model::DevIsOpen(); }

    int DevDirectTake(int channel, int entry) override
    {
        if (!m_bVirtualFlag) return Model::DevDirectTake(channel, entry);
        return m_options.entriesFollow ? CVideoSwitchA::DevDirectTake(channel, entry) : 1;
    }
    int DevPreset(int channel, int entry) override
    {
        if (!m_bVirtualFlag || m_options.presetAlwaysModel) return Model::DevPreset(channel, entry);
        return m_options.entriesFollow ? CVideoSwitchA::DevPreset(channel, entry) : 1;
    }
    int DevTake(int channel) override
    {
        if (!m_bVirtualFlag) return Model::DevTake(channel);
        return m_options.entriesFollow ? CVideoSwitchA::DevTake(channel) : 1;
    }

private:
    int OnShareMessage(const char *type, const char *text, const char *)
    {
        const std::optional<bool> on = sharebus::ReadVirtual(type, text);
        if (!on) return 0;
        if (m_options.noticeType) glReportDbg(m_options.noticeType, "%s", m_options.noticeText);
        SetVirtual(*on);
        return 1;
    }

    const Options m_options;
    std::atomic<bool> m_bVirtualFlag{false};
    plat::Event m_evStop{true, false};
    std::unique_ptr<CLogReader> m_pShareReader;
};
