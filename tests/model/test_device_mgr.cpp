// The device manager: its configuration and check, the entries and lookups, devices created by
// class name through the open gate, the check thread and its status posts on "#OVRA_DEV",
// concurrent opens, the 256 devices of a kind and Finalization, on the manual test clock.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoAuxA.h"
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoDevMgrConfig.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/model/CVideoSwitchA.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CConfigFileAccessX.h"
#include "platform/Gbk.h"

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <stdexcept>

using namespace devtest;

namespace {

// What the test devices do, by instance name.
struct Knobs {
    static inline std::mutex lock;
    static inline std::set<std::string> failOpen, failQuietly, failTest, throwTest;
    static inline std::atomic<int> openDelayMs{0};
    static inline std::function<void(const std::string &)> onOpen; // set before the opens

    static bool Has(const std::set<std::string> &names, const char *name)
    {
        std::lock_guard<std::mutex> lk(lock);
        return names.count(name) != 0;
    }
    static void Reset()
    {
        std::lock_guard<std::mutex> lk(lock);
        failOpen.clear();
        failQuietly.clear();
        failTest.clear();
        throwTest.clear();
        openDelayMs = 0;
        onOpen = nullptr;
    }
};

template <class Base> class CKnobDevice : public Base {
public:
    explicit CKnobDevice(const char *type) : Base(type) {}
    int DevOpen() override
    {
        ++opens;
        if (Knobs::onOpen) Knobs::onOpen(this->GetInstanceName());
        if (const int ms = Knobs::openDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        if (Knobs::Has(Knobs::failOpen, this->GetInstanceName())) {
            this->SetDevStatus(DEVSTATUS_COM_OPEN_FAILED, "port busy");
            return 0;
        }
        return Knobs::Has(Knobs::failQuietly, this->GetInstanceName()) ? 0 : 1;
    }
    int DevClose() override
    {
        ++closes;
        Base::DevClose();
        return 1;
    }
    int DevTest(const char *) override
    {
        if (Knobs::Has(Knobs::throwTest, this->GetInstanceName()))
            throw std::runtime_error("line gone");
        return Knobs::Has(Knobs::failTest, this->GetInstanceName()) ? 0 : 1;
    }
    std::atomic<int> opens{0}, closes{0};
};

class CMgrTestSrc : public CKnobDevice<CVideoSrcA> {
    DECLARE_KEST_CLASS(CMgrTestSrc)
    CMgrTestSrc() : CKnobDevice("LVSRC_MGR") {}
    int DevGetPosition(int, timecode_t &position) override
    {
        position = 1;
        return 1;
    }
};

class CMgrTestRec : public CKnobDevice<CVideoRecA> {
    DECLARE_KEST_CLASS(CMgrTestRec)
    CMgrTestRec() : CKnobDevice("LVREC_MGR") {}
    int DevStop() override
    {
        ++stops;
        return 1;
    }
    std::atomic<int> stops{0};
};

// {5C80D4FE-025F-4717-A326-8456BAC6C558}
constexpr IID kEchgId = {
    0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC5, 0x58}};

class CMgrTestAux : public CKnobDevice<CVideoAuxA> {
    DECLARE_KEST_CLASS(CMgrTestAux)
    CMgrTestAux() : CKnobDevice("LVAUX_ECHG_TEST") {}
    HRESULT QueryInterface(const GUID *iid, void **object) override
    {
        *object = iid && IsEqualGUID(*iid, kEchgId) ? static_cast<void *>(&echg) : nullptr;
        return S_OK;
    }
    int GetEmbenddedDev(CStringArray &names) override
    {
        names.RemoveAll();
        names.Add("VTR1");
        names.Add("REC1");
        return 1;
    }
    int echg = 0;
};

class CMgrTestStore : public CKnobDevice<CVideoStoreA> {
    DECLARE_KEST_CLASS(CMgrTestStore)
    CMgrTestStore() : CKnobDevice("LVSTORE_MGR") {}
};

class CMgrTestSwitch : public CKnobDevice<CVideoSwitchA> {
    DECLARE_KEST_CLASS(CMgrTestSwitch)
    CMgrTestSwitch() : CKnobDevice("LVSWITCH_MGR") {}
};

const std::vector<std::string> kDevices = {"VTR1",  "VTR2", "VTR3", "REC1",
                                           "ECHG1", "ST1",  "ST2",  "SW1"};

std::string Config(const std::string &checks = "{}")
{
    return Section("DevMgr", {{"VideoSrc", "{\" vtr1 \",\"\",\"VTR2\",\"VTR3\"}"},
                              {"VideoRec", "{\"REC1\"}"},
                              {"VideoAux", "{\"ECHG1\"}"},
                              {"VideoStore", "{\"ST1\",\"ST2\"}"},
                              {"VideoSwitch", "{\"SW1\"}"},
                              {"VideoRec.Def", " rec9 "},
                              {"CheckDevList", checks}}) +
           Section("VTR1", {{"class", "CMgrTestSrc"},
                            {"DeviceName", "Tape one"},
                            {"DeviceTypeId", "lvsrc_mgr"},
                            {"Parent", "SW1"},
                            {"Entry", "0"},
                            {"nLocation", "3"},
                            {"SwitchDev", "SW1"},
                            {"Com", "2"}}) +
           Section("VTR2", {{"class", "CMgrTestSrc"}, {"Entry", "600"}, {"DeviceTypeId", "SRV"}}) +
           Section("VTR3", {{"class", "CMgrTestRec"}, {"DeviceName", "wrong kind"}}) +
           Section("REC1", {{"class", "CMgrTestRec"}, {"Entry", "4"}}) +
           Section("ECHG1", {{"class", "CMgrTestAux"}, {"DeviceTypeId", "LVAUX_ECHG_1"}}) +
           Section("ST1", {{"class", "CMgrTestStore"},
                           {"nLocation", "-1"},
                           {"nStore", "2"},
                           {"MaxAmount", "10"},
                           {"AlertPercent", "80"}}) +
           Section("ST2", {{"class", "CMgrTestStore"}, {"nLocation", "0"}, {"nStore", "1"}}) +
           Section("SW1", {{"class", "CMgrTestSwitch"}});
}

class DevMgrTest : public ::testing::Test {
protected:
    void SetUp() override { Knobs::Reset(); }
    void TearDown() override { Knobs::Reset(); }

    void Init(const std::string &text)
    {
        m_settings = std::make_unique<MountedSettings>(text);
        ASSERT_EQ(mgr->Initlization("/etc/tvx/DevMgr"), 1);
    }
    template <class T> T *Dev(const char *id)
    {
        return dynamic_cast<T *>(mgr->GetVideoDev(id, 1, nullptr));
    }
    static std::string Post(const char *id, int code, const std::string &msg)
    {
        return "<DEV=\"" + std::string(id) + "\" ID=\"" + std::to_string(code) + "\" MSG=\"" + msg +
               "\">";
    }

    ManualTime time;
    DeleteDevices cleanup{kDevices};
    std::unique_ptr<MountedSettings> m_settings;
    LogCapture posts{"#OVRA_DEV"};
    std::unique_ptr<CVideoDevMgr> mgr = std::make_unique<CVideoDevMgr>();
};

} // namespace

IMPLEMENT_KEST_CLASS(CMgrTestSrc, CVideoSrcA)
IMPLEMENT_KEST_CLASS(CMgrTestRec, CVideoRecA)
IMPLEMENT_KEST_CLASS(CMgrTestAux, CVideoAuxA)
IMPLEMENT_KEST_CLASS(CMgrTestStore, CVideoStoreA)
IMPLEMENT_KEST_CLASS(CMgrTestSwitch, CVideoSwitchA)

TEST_F(DevMgrTest, ConfigurationIsReadAndChecked)
{
    m_settings = std::make_unique<MountedSettings>(Config("{\"vtr1\",\"GHOST\"}"));
    CVideoDevMgrConfig config;
    ASSERT_EQ(config.LoadFromRes("/etc/tvx/DevMgr"), 1);
    ASSERT_EQ(config.VideoSrc.GetSize(), 3) << "trimmed, empty items dropped";
    EXPECT_EQ(config.VideoSrc[0], CString("VTR1"));
    EXPECT_EQ(config.CheckDevList[0], CString("vtr1")) << "the check list keeps its case";
    EXPECT_EQ(config.VideoSrcDef, CString("VTR1")) << "an empty default is the first id";
    EXPECT_EQ(config.VideoRecDef, CString("REC9"));
    CStringArray total;
    config.GetTotal(total);
    ASSERT_EQ(total.GetSize(), 8);
    EXPECT_EQ(total[3], CString("ECHG1"));
    EXPECT_EQ(total[5], CString("SW1"));

    CStringArray messages;
    EXPECT_EQ(config.Check(messages), 0);
    std::vector<std::string> lines(messages.begin(), messages.end());
    const std::vector<std::string> expected = {
        "---------------Check CheckDevList-----------------",
        "Error at CheckDevList : GHOST invalid",
        "---------------Check Default Device--------------",
        "Error at VideoRec.Def: REC9 not in VideoRec",
        "---------------Check VideoSrc Entry -------------",
        "Error at VTR1: VideoSrc Entry out of bound(0)",
        "Error at VTR2: VideoSrc Entry out of bound(600)",
        "Error at VTR3: VideoSrc Entry out of bound(0)",
        "Error at VTR3: VideoSrc Entry conflict(Entry=0)",
        "---------------Check VideoSrc -------------",
        "Error at VTR1(DeviceTypeID):Device Type ID must be LVSRC_XXX",
        "Error at VTR2(DeviceName):Device name missing",
        "Error at VTR2(DeviceTypeID):Device Type ID must be LVSRC_XXX",
        "Error at VTR3(class) :classname invalid or missing",
        "Error at VTR3(DeviceName):Device name missing",
        "Error at VTR3(DeviceTypeID):Device Type ID must be LVSRC_XXX",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(DevMgrTest, EntriesAreFoundWhateverTheCase)
{
    Init(Config());
    EXPECT_EQ(glGetInstanceByName(CDeviceA::GetClassID(), "VTR1"), nullptr)
        << "no device is created by the initialisation";
    tagVideoSrc src;
    ASSERT_EQ(mgr->GetVideoSrc("vtr1", src), 1);
    EXPECT_EQ(src.strDevName, CString("Tape one"));
    EXPECT_EQ(src.strTypeID, CString("LVSRC_MGR"));
    EXPECT_EQ(src.strSettingPath, CString("/etc/tvx/VTR1"));
    EXPECT_EQ(src.nEntry, 1) << "Entry 0 is held to 1";
    EXPECT_EQ(src.nCom, 2);
    EXPECT_EQ(src.strSwitchDev, CString("SW1"));
    ASSERT_EQ(mgr->GetVideoSrc(nullptr, src), 1);
    EXPECT_EQ(src.strDevID, CString("VTR1")) << "the default source";
    ASSERT_EQ(mgr->GetVideoSrc("VTR2", src), 1);
    EXPECT_EQ(src.nEntry, 512);
    EXPECT_EQ(src.strDevName, CString("未知设备"));
    tagVideoRec rec;
    EXPECT_EQ(mgr->GetVideoRec("VTR1", rec), 0) << "configured as another kind";
    EXPECT_EQ(mgr->GetVideoRec(nullptr, rec), 0) << "a default that is not configured";

    EXPECT_EQ(mgr->GetSwitchEntryBYSrcID("VTR1"), 1);
    EXPECT_EQ(mgr->GetSwitchEntryBYSrcID("vtr1"), -1) << "this one lookup keeps case";
    CStringArray ids;
    ASSERT_EQ(mgr->GetVideoSrcByEntry(ids), 512);
    EXPECT_EQ(ids[0], CString("VTR3")) << "VTR3 has Entry 1 too and comes later";
    EXPECT_EQ(ids[511], CString("VTR2"));
    EXPECT_EQ(mgr->GetVideoSrcByDevType(ids, "lvsrc"), 1);
    EXPECT_EQ(mgr->GetVideoSrcLocation("vtr1"), 3);
    EXPECT_EQ(mgr->GetVideoSrcLocation("none"), -1);
    EXPECT_EQ(mgr->GetVideoSrcIDList(ids), 3);

    EXPECT_EQ(mgr->GetVideoStoreIDList(ids, 1), 2);
    EXPECT_EQ(ids[0], CString("ST2")) << "a later store in the same slot wins";
    EXPECT_EQ(ids[1], CString(""));
    ids.Add("kept");
    EXPECT_EQ(mgr->GetVideoStoreIDList(ids, 5), 3) << "another mode leaves the array";
    EXPECT_EQ(mgr->FindVideoStoreL2Location(), 0);
    EXPECT_EQ(mgr->FindVideoStoreL3Location(), -1);
    EXPECT_EQ(mgr->GetVideoStoreIDByLocation(0), CString("ST2"));
    int maxAmount = 0, alert = 0;
    EXPECT_EQ(mgr->GetVideoStoreAmount("st1", maxAmount, alert), 1);
    EXPECT_EQ(maxAmount, 10);
    EXPECT_EQ(alert, 80);
    EXPECT_EQ(mgr->GetVideoStoreAmount("ST2", maxAmount, alert), 0);
    EXPECT_EQ(maxAmount, -1);

    EXPECT_EQ(mgr->GetVideoAuxIDList(ids, 2, "LVAUX_ECHG"), 1);
    EXPECT_EQ(mgr->GetVideoAuxIDList(ids, 2, "lvaux"), 0) << "exact bytes";
    EXPECT_EQ(mgr->GetVideoAuxIDList(ids, 2, ""), 0);
    EXPECT_EQ(mgr->GetDevNameByID("vtr1"), CString("Tape one"));
    EXPECT_EQ(mgr->GetParentDevID("VTR1"), CString("SW1"));
    EXPECT_EQ(mgr->GetDevNameByID("none"), CString(""));
}

TEST(DevMgrConfig, ASettingsFileThatIsMissingOrUnreadableIsTold)
{
    const std::string dir = ::testing::TempDir() + "kest_devmgr_" + std::to_string(getpid());
    std::filesystem::create_directories(dir + "/unreadable.CLSID"); // a directory in its place
    std::ofstream(dir + "/other.CLSID") << Section("Other", {{"VideoSrc", "{\"VTR1\"}"}});
    std::ofstream(dir + "/good.CLSID") << Section("DevMgr", {{"VideoSrc", "{\"VTR1\"}"}});
    const struct {
        const char *file;
        bool told;
        int sources;
    } rows[] = {
        {"none.CLSID", true, 0},
        {"unreadable.CLSID", true, 0},
        {"other.CLSID", true, 0},
        {"good.CLSID", false, 1},
    };
    LogCapture log("LOG_DEV");
    int at = 0;
    for (const auto &row : rows) {
        const std::string root = "/etc/devmgr_told" + std::to_string(++at);
        const std::string path = root + "/DevMgr";
        CConfigFileAccessX provider((dir + "/" + row.file).c_str());
        provider.Mount(root.c_str());
        CVideoDevMgr mgr;
        mgr.Initlization(path.c_str());
        EXPECT_EQ(mgr.GetVideoSrcCount(), row.sources) << row.file;
        const auto lines = log.Lines();
        const auto told = std::count_if(lines.begin(), lines.end(), [&](const std::string &line) {
            return line.find(path) != std::string::npos;
        });
        EXPECT_EQ(told, row.told ? 1 : 0) << row.file;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(DevMgrTest, DevicesAreCreatedOnFirstUseThroughTheOpenGate)
{
    Init(Config());
    tagDevStatus status;
    EXPECT_EQ(mgr->GetVideoDev("vtr1", 0, &status), nullptr) << "without open nothing is made";

    CVideoSrcA *src = mgr->GetVideoSrcDev("vtr1", 1, &status);
    ASSERT_NE(src, nullptr);
    EXPECT_TRUE(src->IsKindOf(CMgrTestSrc::GetClassID()));
    EXPECT_STREQ(src->GetInstanceName(), "VTR1");
    EXPECT_EQ(status.nCode, 0);
    EXPECT_EQ(status.GetText(), CString("设备正常"));
    EXPECT_EQ(mgr->GetVideoDev("VTR1", 0, nullptr), src);
    EXPECT_EQ(mgr->GetVideoRecDev("VTR1", 1, &status), nullptr) << "another kind";

    // A failing open: the device's own status, then nothing more for 5000 ms.
    Knobs::failOpen.insert("VTR2");
    EXPECT_EQ(mgr->GetVideoDev("VTR2", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 3);
    EXPECT_EQ(status.GetText(), CString("port busy"));
    auto *vtr2 = dynamic_cast<CMgrTestSrc *>(glGetInstanceByName(CDeviceA::GetClassID(), "VTR2"));
    ASSERT_NE(vtr2, nullptr);
    plat::TestClock::Advance(4999);
    EXPECT_EQ(mgr->GetVideoDev("VTR2", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 5) << "exists but is not active";
    EXPECT_EQ(vtr2->opens, 1) << "no new attempt within 5000 ms";
    plat::TestClock::Advance(1);
    Knobs::failOpen.clear();
    EXPECT_EQ(mgr->GetVideoDev("VTR2", 1, &status), vtr2);
    EXPECT_EQ(vtr2->opens, 2);

    // A setting whose class is not a source cannot serve a source.
    EXPECT_EQ(mgr->GetVideoDev("VTR3", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 2);
    EXPECT_EQ(status.GetText(), CString("设备设置非法"));
    status.SetStatus(4);
    EXPECT_EQ(mgr->GetVideoDev("VTR3", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 0) << "within the gate: the stored status";
    EXPECT_EQ(mgr->GetVideoDev("NOPE", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 0) << "an id not configured leaves the status";

    EXPECT_EQ(mgr->GetVideoSwitchDev(nullptr, 1, &status), Dev<CMgrTestSwitch>("SW1"));
    EXPECT_NE(mgr->GetVideoStoreDev("st2"), nullptr);
    EXPECT_EQ(mgr->GetVideoAuxDevByType("", 1), nullptr);
    EXPECT_NE(mgr->GetVideoDevEchg(1), nullptr);
    EXPECT_EQ(static_cast<void *>(mgr->GetVideoDevEchg(1)), &Dev<CMgrTestAux>("ECHG1")->echg);
    CStringArray parents;
    EXPECT_EQ(mgr->GetParentDevID("ECHG1", parents), 2);
    EXPECT_EQ(parents[0], CString("SW1"));
    EXPECT_EQ(parents[1], CString(""));
    EXPECT_EQ(mgr->GetParentDevID("NOPE", parents), 0);
}

TEST_F(DevMgrTest, ChecksPostTheirStatusOnTheDeviceChannel)
{
    Init(Config());
    Knobs::failTest.insert("VTR1");
    Knobs::throwTest.insert("REC1");
    mgr->AddDevChkTask("vtr1", 5000, 1);
    mgr->AddDevChkTask("REC1", 5000, 1);
    mgr->AddDevChkTask("VTR2", 5000, 0);
    EXPECT_EQ(mgr->CheckNextDevice(), 1);
    EXPECT_EQ(mgr->CheckNextDevice(), 1);
    EXPECT_EQ(mgr->CheckNextDevice(), 0) << "VTR2 is not in CheckDevList; the others not due";

    const std::vector<std::string> expected = {
        Post("vtr1", 5, "Tape one vtr1 设备连接失败 "),
        Post("REC1", 6, "未知设备 REC1 测试中发生意外错误 "),
    };
    EXPECT_EQ(posts.Lines(), expected);
    tagDevStatus status;
    ASSERT_EQ(mgr->GetDevStatusByID("VTR1", status), 1);
    EXPECT_EQ(status.nCode, 5);

    posts.Clear();
    tagDevStatus ok;
    ok.SetStatus(0);
    EXPECT_EQ(mgr->SetDevStatusByID("ghost", ok), 0);
    EXPECT_EQ(posts.Lines(), std::vector<std::string>{Post("ghost", 0, " 设备正常 ")});
    EXPECT_EQ(mgr->GetDevStatusByID("ghost", status), 0);

    // The check thread goes on with what is left.
    mgr->RemoveDevChkTask("VTR1");
    posts.Clear();
    EXPECT_TRUE(AdvanceUntil([&] { return posts.Count() >= 2; }, 100, 20000));
    for (const std::string &line : posts.Lines()) EXPECT_EQ(line.find("vtr1"), std::string::npos);
}

TEST_F(DevMgrTest, AnOpenThatFailsQuietlyShowsTheFailure)
{
    Init(Config("{\"REC1\"}"));
    Knobs::failQuietly = {"VTR2", "REC1"};
    tagDevStatus status;
    EXPECT_EQ(mgr->GetVideoDev("VTR2", 1, &status), nullptr);
    EXPECT_EQ(status.nCode, 5);
    EXPECT_EQ(status.GetText(), CString("设备运行失败"));
    // The first check of a listed device is its first open.
    EXPECT_EQ(mgr->CheckNextDevice(), 1);
    EXPECT_EQ(posts.Lines(), std::vector<std::string>{Post("REC1", 5, "未知设备 设备运行失败 ")});
}

TEST_F(DevMgrTest, StatusTextsAreCutToTheField)
{
    const std::string id = "SRC_WITH_A_VERY_LONG_ID_0123";
    Init(Section("DevMgr", {{"VideoSrc", "{\"" + id + "\"}"}}) +
         Section(id, {{"class", "CMgrTestSrc"}, {"DeviceName", "n"}}));
    Knobs::failTest.insert(id);
    mgr->AddDevChkTask(id.c_str(), 5000, 1);
    ASSERT_EQ(mgr->CheckNextDevice(), 1);
    EXPECT_EQ(posts.Lines(), std::vector<std::string>{Post(id.c_str(), 5, "n " + id + " ")});
    DeleteDevices done({id});
}

TEST_F(DevMgrTest, CheckThreadWaitsThenChecksEachDeviceInTurn)
{
    Knobs::failTest.insert("REC1");
    const int64_t started = ManualTime::Now();
    Init(Config("{\"VTR1\",\"rec1\"}"));
    EXPECT_TRUE(AdvanceUntil([&] { return posts.Count() == 2; }, 50, 10000));
    EXPECT_GE(ManualTime::Now() - started, 2999 * kMs) << "3000 ms first";
    EXPECT_EQ(posts.Lines(),
              (std::vector<std::string>{Post("VTR1", 0, "Tape one 设备正常 "),
                                        Post("REC1", 5, "未知设备 REC1 设备连接失败 ")}));

    // Every 5000 ms again; between, the thread rests.
    EXPECT_TRUE(AdvanceUntil([&] { return posts.Count() == 4; }, 100, 10000));
    EXPECT_GE(ManualTime::Now() - started, 7999 * kMs);

    mgr->RemoveAllDevChkTask();
    const size_t count = posts.Count();
    EXPECT_FALSE(AdvanceUntil([&] { return posts.Count() > count; }, 1000, 20000))
        << "an empty check list ends the thread";
    mgr->AddDevChkTask("VTR1", 5000, 0);
    EXPECT_TRUE(AdvanceUntil([&] { return posts.Count() > count; }, 100, 10000))
        << "a new check starts it again";
}

TEST_F(DevMgrTest, ConcurrentFirstUseOpensOneDevice)
{
    Init(Config());
    Knobs::openDelayMs = 50;
    std::vector<std::future<CDeviceA *>> users;
    for (int i = 0; i < 8; ++i)
        users.push_back(std::async(std::launch::async, [&] { return mgr->GetVideoDev("VTR1"); }));
    std::set<CDeviceA *> devices;
    for (auto &user : users) devices.insert(user.get());
    ASSERT_EQ(devices.size(), 1u);
    auto *vtr1 = dynamic_cast<CMgrTestSrc *>(*devices.begin());
    ASSERT_NE(vtr1, nullptr);
    EXPECT_EQ(vtr1->opens, 1);
    EXPECT_EQ(CMgrTestSrc::GetClassID()->GetInstanceCount(), 1);
}

TEST_F(DevMgrTest, TwoDevicesWhoseOpensOpenEachOtherDoNotWaitForEachOther)
{
    Init(Config());
    LogCapture log("LOG_DEV");
    std::atomic<int> opening{0};
    std::mutex lock;
    std::map<std::string, bool> peerOpened;
    Knobs::onOpen = [&](const std::string &self) {
        if (self != "VTR1" && self != "VTR2") return;
        // Both opens are under way before either asks for the other device.
        ++opening;
        for (int i = 0; i < 5000 && opening < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool opened = mgr->GetVideoDev(self == "VTR1" ? "VTR2" : "VTR1") != nullptr;
        std::lock_guard<std::mutex> lk(lock);
        peerOpened[self] = opened;
    };
    auto first = std::async(std::launch::async, [&] { return mgr->GetVideoDev("VTR1"); });
    auto second = std::async(std::launch::async, [&] { return mgr->GetVideoDev("VTR2"); });
    ASSERT_EQ(first.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the two opens wait for each other";
    ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(first.get(), nullptr);
    EXPECT_NE(second.get(), nullptr);
    std::lock_guard<std::mutex> lk(lock);
    ASSERT_EQ(peerOpened.size(), 2u);
    EXPECT_NE(peerOpened["VTR1"], peerOpened["VTR2"])
        << "the open that would close the circle fails, the other waits and gets its device";
    const std::string failed = peerOpened["VTR1"] ? "VTR1" : "VTR2";
    EXPECT_TRUE(Eventually([&] {
        for (std::string line : log.Lines()) {
            plat::GbkToUpper(line);
            if (line == "DEVICE " + failed + " NOT OPENED: ITS OPEN WAITS FOR THIS ONE")
                return true;
        }
        return false;
    }));
}

TEST_F(DevMgrTest, AKindHoldsAtMost256Devices)
{
    std::string list = "{";
    for (int i = 1; i <= 257; ++i) list += (i > 1 ? ",\"S" : "\"S") + std::to_string(i) + "\"";
    list += "}";
    LogCapture warnings("LOG_DEV");
    Init(Section("DevMgr", {{"VideoSrc", list}, {"VideoRec", "{\"R1\"}"}}));
    EXPECT_EQ(mgr->GetVideoSrcCount(), 256);
    tagVideoSrc src;
    EXPECT_EQ(mgr->GetVideoSrc("S256", src), 1);
    EXPECT_EQ(mgr->GetVideoSrc("S257", src), 0);
    EXPECT_EQ(warnings.Lines(),
              std::vector<std::string>{
                  "VideoSrc: device S257 ignored, a kind holds at most 256 devices"});
    tagVideoRec rec;
    ASSERT_EQ(mgr->GetVideoRec("R1", rec), 1);
    EXPECT_EQ(rec.strDevID, CString("R1"));
}

TEST_F(DevMgrTest, FinalizationClosesTheDevicesInUse)
{
    Init(Config("{\"VTR1\"}"));
    auto *src = Dev<CMgrTestSrc>("VTR1");
    auto *rec = Dev<CMgrTestRec>("REC1");
    auto *aux = Dev<CMgrTestAux>("ECHG1");
    ASSERT_TRUE(src && rec && aux);
    const uint32_t refs = src->AddRef();
    src->Release();

    std::atomic<bool> stop{false};
    std::thread user([&] {
        timecode_t pos;
        while (!stop)
            if (CVideoSrcA *device = mgr->GetVideoSrcDev("VTR1", 0)) device->DevGetPosition(1, pos);
    });
    EXPECT_EQ(mgr->Finalization(), 1);
    stop = true;
    user.join();

    EXPECT_EQ(src->closes, 1);
    EXPECT_EQ(rec->stops, 1);
    EXPECT_EQ(rec->closes, 1);
    EXPECT_EQ(aux->closes, 1);
    EXPECT_EQ(src->AddRef(), refs) << "the references taken were given back";
    src->Release();
    EXPECT_EQ(glGetInstanceByName(CDeviceA::GetClassID(), "VTR1"), src) << "closed, not released";
    EXPECT_EQ(mgr->GetVideoSrcCount(), 0);
    EXPECT_EQ(mgr->GetVideoDev("VTR1"), nullptr);
    EXPECT_FALSE(AdvanceUntil([&] { return posts.Count() > 0; }, 1000, 10000))
        << "the check thread has gone";
}

TEST_F(DevMgrTest, TheFirstManagerIsTheProcesssManager)
{
    CVideoDevMgr *first = mgr.get();
    EXPECT_EQ(CVideoDevMgr::m_pVideoDevMgr, first);
    {
        CVideoDevMgr second;
        EXPECT_EQ(CVideoDevMgr::m_pVideoDevMgr, first);
    }
    EXPECT_EQ(CVideoDevMgr::m_pVideoDevMgr, first);
    EXPECT_EQ(CVideoDevMgr::sFinalization(), 1);
    mgr.reset();
    EXPECT_EQ(CVideoDevMgr::m_pVideoDevMgr, nullptr);
    EXPECT_EQ(CVideoDevMgr::sFinalization(), 0);
}
