// What the keyer and switcher task tests share: a stub keyer that records the groups it is
// given, a stub switcher that records its commands with the framework time, and a fixture with
// the manual clock, the debug log on and a device manager whose auxiliaries and switchers are
// these stubs.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/keyers/CVideoKeyCtrlA.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// A keyer that records each group it is given, after the base's wait for the start time.
class CStubKeyer : public CVideoKeyCtrlA {
    DECLARE_KEST_CLASS(CStubKeyer)

    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;
    int OnSetVirtual(int32_t mode) override;

    std::vector<std::vector<tagVideoKeyTask>> Groups();
    std::atomic<int> virtualCalls{0};

private:
    std::mutex m_lock;
    std::vector<std::vector<tagVideoKeyTask>> m_groups;
};

// One command a stub switcher was given: its name ("pst", "type", "rate", "take", "take2",
// "direct"), its two arguments and the framework time.
struct SwitchCmd {
    std::string op;
    int a = 0, b = 0;
    int64_t at = 0;
};

class CStubSwitch : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CStubSwitch)

    int DevOpen() override { return 1; }
    int DevIsOpen() override { return 1; }
    int DevPreset(int channel, int entry) override { return Record("pst", channel, entry); }
    int DevSetTransType(int type) override { return Record("type", type, 0); }
    int DevSetTransRate(int rate) override { return Record("rate", rate, 0); }
    int DevTake(int channel) override { return Record("take", channel, 0); }
    int DevTake2(int channel) override { return Record("take2", channel, GetSwitchType()); }
    int DevDirectTake(int channel, int entry) override { return Record("direct", channel, entry); }

    std::vector<SwitchCmd> Cmds();
    std::vector<SwitchCmd> Cmds(const std::string &op);
    std::atomic<bool> refuse{false};

private:
    int Record(const char *op, int a, int b);
    std::mutex m_lock;
    std::vector<SwitchCmd> m_cmds;
};

namespace keytest {

using devtest::Eventually;
using devtest::kFileTime2020;
using devtest::kMs;
using devtest::kSecond;

// The settings of the fixture: auxiliaries KEY1 (LVAUX_KEYER), KEY2 (LVAUX_KEYER) and, with
// `withTitle`, TITLE1 (LVAUX_TITLE) and TITLEX (LVAUX_TITLE_X), all stub keyers; the stub
// switcher SW1 with DelayTime 80; the key task entry LOGO -> KEY2 key 7; PSTRestTime 30000.
std::string Settings(bool withTitle = true, const std::string &extra = "");

// A settings file mounted at "/etc/tvx" for the object's life, alone in a directory of its own:
// the switcher unit writes a setting back, and writers lock the file's directory, which other
// test programs must not hold while this one's clock stands still.
class PrivateSettings {
public:
    explicit PrivateSettings(const std::string &text);
    ~PrivateSettings();
    PrivateSettings(const PrivateSettings &) = delete;
    PrivateSettings &operator=(const PrivateSettings &) = delete;

private:
    std::string m_dir;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// The manual clock from 2020-01-01 (advance it with devtest::AdvanceUntil), the debug log on,
// a device manager with the settings, and the devices deleted at the end.
class KeyerTest : public ::testing::Test {
protected:
    explicit KeyerTest(const std::string &settings = Settings());
    ~KeyerTest() override { glSetDebugFlag(m_previousDebug); }

    static int64_t Now() { return devtest::ManualTime::Now(); }
    CStubKeyer &Keyer(const char *id);
    CStubSwitch &Switch(const char *id);

    devtest::ManualTime m_time;
    int m_previousDebug;
    PrivateSettings m_settings;
    CVideoDevMgr m_devMgr;
    devtest::DeleteDevices m_cleanup{{"KEY1", "KEY2", "TITLE1", "TITLEX", "SW1"}};
};

// A key task for `dev` (may be empty) at `at`.
tagVideoKeyTask KeyTask(int32_t id, const char *dev, int64_t at, int32_t functype = 0,
                        const char *source = "", int32_t key = 1, int32_t op = 1);

} // namespace keytest
