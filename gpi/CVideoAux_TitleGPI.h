// A keyer driver for caption machines and keyers switched by GPI contacts: when key tasks fall
// due it sets GPI output lines of the digital-I/O card high or low instead of talking a
// protocol. Normal mode drives one contact (ChannelIndex) from the first task of a group;
// complex mode drives one contact per task, chosen by the task's key. Its waits for start times
// and pauses end when it is deactivated, and nothing more is set then.
#pragma once

#include "gpi/PinioApi.h"

#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include <cstdint>

class PINIO_API CVideoAux_TitleGPI : public CVideoKeyDriverA {
    DECLARE_KEST_CLASS(CVideoAux_TitleGPI)

    CVideoAux_TitleGPI();
    CVideoAux_TitleGPI(const CVideoAux_TitleGPI &other);
    CVideoAux_TitleGPI &operator=(const CVideoAux_TitleGPI &other);
    ~CVideoAux_TitleGPI() override;

    // The keyer base's settings, then ChannelIndex, DelayTime, IntervalTime, ComplexMode, CmdOn
    // and CmdOff, each keeping its current value when absent.
    int32_t OnInitInstance() override;

    // The card is opened for each operation instead: 1.
    int DevClose() override;
    int DevOpen() override;
    int DevIsOpen() override;
    // Sets the ChannelIndex contact to the task's action; 0 only when the card would not open.
    int DevDoAuxTask(CVideoAuxTask &task) override;

    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;
    // The first task only, on the ChannelIndex contact, DelayTime ms after its start time
    // (at the start time for a task from the user interface): the result of the set; 0 when
    // deactivated before.
    int32_t DevTaskDirectTake_NormalMode(IVideoKeyTaskArray *tasks);
    // Every task on the contact of its key, each followed by IntervalTime ms; only the first
    // task of the play list is waited for. 1 when every set succeeded; 0 when deactivated
    // before the last.
    int32_t DevTaskDirectTake_ComplexMode(IVideoKeyTaskArray *tasks);

private:
    void CopySettings(const CVideoAux_TitleGPI &other);

    int32_t m_nChannelIndex = 0;
    int32_t m_nDelayTime = 100;
    int32_t m_nIntervalTime = 50;
    int32_t m_nCmdOn = 1;
    int32_t m_nCmdOff = 0;
    bool m_bComplexMode = false;
};
