// The base of every keyer, logo, caption and clock generator: an auxiliary device that answers
// the key task interface. It keeps the key number of each kind of key task (settings Keyer,
// Logo, Title, Time) and the main/backup "virtual" mode (settings Virtual and Exchange; with
// Exchange on it follows "#OVRA_DEV_SHARE"). Its device operations and key task operations
// do nothing but succeed, so a driver overrides what its device does; CKeyerVirtualMode over
// the driver answers them while virtual.
#pragma once

#include "Kest20/CLogReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoAuxA.h"
#include "drivers/switchers/keyers/IVideoKeyTaskProcess.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct tagVideoKeyTask;

class KSOVRA20_API CVideoKeyCtrlA : public CVideoAuxA, public IVideoKeyTaskProcess {
    DECLARE_KEST_CLASS(CVideoKeyCtrlA)

    explicit CVideoKeyCtrlA(const char *typeId = kUnknownType);
    // Copies the settings and the mode; the copy follows the share bus on its own behalf.
    CVideoKeyCtrlA(const CVideoKeyCtrlA &other);
    CVideoKeyCtrlA &operator=(const CVideoKeyCtrlA &other);
    // Ends the share-bus subscription first (waiting for a delivery in progress).
    ~CVideoKeyCtrlA() override;

    // Answers IID_IVideoKeyTaskProcess; other ids go to the component's lookup.
    HRESULT QueryInterface(const GUID *iid, void **object) override;
    // Reads Keyer, Logo, Title, Time, Virtual and Exchange after the auxiliary part. Without
    // Exchange the share bus is not followed and Virtual is false.
    int32_t OnInitInstance() override;

    // No port here: each returns 1. DevClose ends the waits of a take in progress; a driver
    // that closes a port of its own calls it too.
    int DevClose() override;
    int DevOpen() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    // Ends the waits of a take in progress first.
    int32_t OnDeactiveInstance() override;

    // Sets the virtual flag (mode nonzero); 1. Drivers override it to act on the change.
    virtual int OnSetVirtual(int32_t mode);

    // Waits until the first task's start time, beeps and logs its key and operation; 0, and 0
    // at once for an empty group. The wait and the beep end at once when the keyer is closed
    // or deactivated or the calling unit stops: then nothing is logged.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;
    // 1.
    int32_t DevTaskTake(IVideoKeyTaskArray *tasks) override;
    int32_t DevTaskPreset(IVideoKeyTaskArray *tasks) override;

    // The key for a task: the Logo, Title or Time key for those functions, else the task's own.
    int32_t GetKeyID(const tagVideoKeyTask *task) const;

    int32_t GetKeyerKey() const { return m_nKeyer; }
    bool IsVirtual() const { return m_bVirtual.load(); }
    bool IsExchange() const { return m_bExchange.load(); }

protected:
    // The share-bus handler (on the log thread): with Exchange on, hands Virtual of the text
    // <Virtual = "TRUE"> to OnSetVirtual (1); with Exchange off it does nothing (0).
    int OnRecvSetVirtual(const char *type, const char *text, const char *info);
    // Ends the share-bus subscription. A driver that overrides OnSetVirtual calls it first in
    // its destructor, so that no delivery reaches a half-destroyed driver.
    void EndShareReader();

    int32_t m_nKeyer = 1;
    int32_t m_nLogo = 1;
    int32_t m_nTitle = 1;
    int32_t m_nTime = 1;

private:
    void FollowShareBus(bool on);

    std::atomic<bool> m_bVirtual{false};
    std::atomic<bool> m_bExchange{false};
    std::unique_ptr<CLogReader> m_pShareReader;
};

// The minimal keyer a configuration can name: the base's behaviour under its own class.
class KSOVRA20_API CVideoKeyCtrl_Example : public CVideoKeyCtrlA {
    DECLARE_KEST_CLASS(CVideoKeyCtrl_Example)
};
