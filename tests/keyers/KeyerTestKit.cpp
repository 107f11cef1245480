#include "tests/keyers/KeyerTestKit.h"

IMPLEMENT_KEST_CLASS(CStubKeyer, CVideoKeyCtrlA)
IMPLEMENT_KEST_CLASS(CStubSwitch, CVideoSwitchA)

int32_t CStubKeyer::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    const int32_t result = CVideoKeyCtrlA::DevTaskDirectTake(tasks);
    std::vector<tagVideoKeyTask> group;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) group.push_back(*tasks->GetPtrAt(i));
    std::lock_guard<std::mutex> lk(m_lock);
    m_groups.push_back(group);
    return result;
}

int CStubKeyer::OnSetVirtual(int32_t mode)
{
    ++virtualCalls;
    return CVideoKeyCtrlA::OnSetVirtual(mode);
}

std::vector<std::vector<tagVideoKeyTask>> CStubKeyer::Groups()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_groups;
}

int CStubSwitch::Record(const char *op, int a, int b)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_cmds.push_back({op, a, b, devtest::ManualTime::Now()});
    return refuse ? 0 : 1;
}

std::vector<SwitchCmd> CStubSwitch::Cmds()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_cmds;
}

std::vector<SwitchCmd> CStubSwitch::Cmds(const std::string &op)
{
    std::vector<SwitchCmd> matching;
    for (const SwitchCmd &cmd : Cmds())
        if (cmd.op == op) matching.push_back(cmd);
    return matching;
}

namespace keytest {

using devtest::Section;

std::string Settings(bool withTitle, const std::string &extra)
{
    const std::string aux =
        withTitle ? R"({"KEY1","KEY2","TITLEX","TITLE1"})" : R"({"KEY1","KEY2"})";
    std::string text =
        Section("DevMgr", {{"VideoAux", aux}, {"VideoSwitch", R"({"SW1"})"}}) +
        Section("KEY1", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_KEYER"}}) +
        Section("KEY2", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_KEYER"}}) +
        Section("SW1", {{"class", "CStubSwitch"}, {"DelayTime", "80"}}) +
        Section("KeyTask", {{"Key", R"({"E1"})"}, {"E1", R"(<Func="LOGO" Dev="KEY2" Key="7">)"}}) +
        Section("Environment", {{"PSTRestTime", "30000"}});
    if (withTitle)
        text += Section("TITLE1", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_TITLE"}}) +
                Section("TITLEX", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_TITLE_X"}});
    return text + extra;
}

PrivateSettings::PrivateSettings(const std::string &text)
{
    std::string pattern = ::testing::TempDir() + "kest_keyers_XXXXXX";
    if (mkdtemp(pattern.data())) m_dir = pattern;
    const std::string file = m_dir + "/settings.CLSID";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    m_provider = std::make_unique<CConfigFileAccessX>(file.c_str());
    m_provider->Mount("/etc/tvx");
}

PrivateSettings::~PrivateSettings()
{
    m_provider.reset();
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
}

KeyerTest::KeyerTest(const std::string &settings)
    : m_previousDebug(glSetDebugFlag(1)), m_settings(settings)
{
    m_devMgr.Initlization("/etc/tvx/DevMgr");
}

CStubKeyer &KeyerTest::Keyer(const char *id)
{
    auto *keyer = dynamic_cast<CStubKeyer *>(m_devMgr.GetVideoDev(id, 1, nullptr));
    EXPECT_NE(keyer, nullptr) << id;
    return *keyer;
}

CStubSwitch &KeyerTest::Switch(const char *id)
{
    auto *switcher = dynamic_cast<CStubSwitch *>(m_devMgr.GetVideoDev(id, 1, nullptr));
    EXPECT_NE(switcher, nullptr) << id;
    return *switcher;
}

tagVideoKeyTask KeyTask(int32_t id, const char *dev, int64_t at, int32_t functype,
                        const char *source, int32_t key, int32_t op)
{
    tagVideoKeyTask task;
    task.TaskID = id;
    task.DevID = dev;
    task.StartTime = at;
    task.functype = functype;
    task.Source = source;
    task.nKey = key;
    task.nop = op;
    return task;
}

} // namespace keytest
