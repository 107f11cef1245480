// The device base: status records and their texts, devices found by name, kind and type,
// opening by instance name from settings files mounted in the resource tree, the per-thread
// last device error and the class descriptions.
#include "devext/device/CDeviceA.h"
#include "devext/device/DeviceDescription.h"

#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CConfigFileAccessX.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A device whose open the test decides; a failed open sets the device's own status.
class CTestDevice : public CDeviceA {
    DECLARE_KEST_CLASS(CTestDevice)

    CTestDevice() : CDeviceA("LVSRC_TEST") {}
    int DevOpen() override
    {
        ++opens;
        if (s_openResult) return 1;
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED, "port busy");
        return 0;
    }
    int DevClose() override { return 1; }

    static inline int s_openResult = 1; // for every test device
    int opens = 0;
};

// A device class beside the test devices.
class COtherDevice : public CDeviceA {
    DECLARE_KEST_CLASS(COtherDevice)

    COtherDevice() : CDeviceA("LVAUX_ECHG") {}
    int DevOpen() override { return 1; }
    int DevClose() override { return 1; }
};

// A device whose open fails without a word: its own status stays normal.
class CQuietDevice : public CDeviceA {
    DECLARE_KEST_CLASS(CQuietDevice)

    CQuietDevice() : CDeviceA("LVSRC_QUIET") {}
    int DevOpen() override { return 0; }
    int DevClose() override { return 1; }
};

// A registered class without a factory.
class CAbstractDevice : public CDeviceA {
    DECLARE_KEST_CLASS(CAbstractDevice)

    virtual void Unbuildable() = 0;
};

// Deletes what a test created, whatever the test's outcome.
class Created {
public:
    ~Created() { glDeleteObjects(m_objects); }
    template <class T> T *operator()(T *object)
    {
        if (object) m_objects.Add(static_cast<CClassA *>(object));
        return object;
    }

private:
    CPtrArray m_objects;
};

// A settings file of the test's own mounted at one root of the resource tree.
class MountedSettings {
public:
    MountedSettings(const char *root, const std::string &text)
    {
        std::string pattern = ::testing::TempDir() + "kest_dev_XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd >= 0) close(fd);
        m_file = pattern;
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << text;
        m_provider = std::make_unique<CConfigFileAccessX>(m_file.c_str());
        m_provider->Mount(root);
    }
    ~MountedSettings()
    {
        m_provider.reset();
        std::filesystem::remove(m_file);
    }

private:
    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

std::string Section(const std::string &name, const std::string &cls)
{
    return "[" + name + "]\r\nclass=" + cls + "\r\n";
}

std::string TextOf(const tagDevStatus &status)
{
    return std::string(status.GetText());
}

} // namespace

IMPLEMENT_KEST_CLASS(CTestDevice, CDeviceA)
IMPLEMENT_KEST_CLASS(COtherDevice, CDeviceA)
IMPLEMENT_KEST_CLASS(CQuietDevice, CDeviceA)
IMPLEMENT_KEST_CLASS(CAbstractDevice, CDeviceA)

TEST(DevStatus, CodesTakeTheirDefaultTextsAndReportChanges)
{
    const char *expected[] = {"设备正常",     "设备名有冲突", "设备设置非法", "COM口打开失败",
                              "网络连接失败", "设备运行失败", "未知错误"};
    tagDevStatus status;
    EXPECT_EQ(status.nCode, 0);
    EXPECT_EQ(TextOf(status), "");
    for (int code = 0; code < 7; ++code) {
        status.SetStatus(code);
        EXPECT_EQ(TextOf(status), expected[code]) << code;
    }
    EXPECT_EQ(status.SetStatus(7, nullptr), 1);
    EXPECT_EQ(status.nCode, 7);
    EXPECT_EQ(TextOf(status), "") << "a code without a default has an empty text";
    EXPECT_EQ(status.SetStatus(3, "x"), 1);
    EXPECT_EQ(TextOf(status), "x");
    EXPECT_EQ(status.SetStatus(3, "y"), 0) << "same code";
}

TEST(DevStatus, LongTextsFillTheFieldAndAreReadWithinIt)
{
    tagDevStatus status;
    status.SetStatus(5, "0123456789012345678901234567890123");
    EXPECT_EQ(std::memcmp(status.szText, "0123456789012345678901234567", 28), 0);
    EXPECT_EQ(TextOf(status), "0123456789012345678901234567") << "28 bytes, no terminator";

    // 27 ASCII bytes and a two-byte character: the character does not fit and is left out.
    status.SetStatus(5, "012345678901234567890123456设备");
    EXPECT_EQ(TextOf(status), "012345678901234567890123456");
    EXPECT_EQ(status.szText[27], '\0');

    // A field written by hand that ends in half a character is read without it.
    std::memset(status.szText, 'a', sizeof status.szText);
    status.szText[27] = '\xC9';
    EXPECT_EQ(TextOf(status), std::string(27, 'a'));

    tagDevStatus copy = status;
    EXPECT_EQ(std::memcmp(copy.szText, status.szText, 28), 0) << "copied byte for byte";
}

TEST(DevStatus, DefaultTextsAreCopiedWhenSet)
{
    char text[] = "own default";
    tagDevStatus::SetDefaultDevStatus(40, text);
    std::strcpy(text, "overwritten");
    tagDevStatus status;
    status.SetStatus(40);
    EXPECT_EQ(TextOf(status), "own default");
    EXPECT_EQ(std::string(tagDevStatus::GetDefaultText(40)), "own default");
    EXPECT_STREQ(tagDevStatus::GetStockText(40), nullptr);
}

TEST(DevStatus, DefaultsAreSafeToUseFromManyThreads)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            tagDevStatus status;
            for (int i = 0; i < 200; ++i) {
                status.SetStatus(i % 7);
                if (i % 50 == 0) tagDevStatus::SetDefaultDevStatus(100 + t, "row");
            }
        });
    for (auto &thread : threads) thread.join();
    tagDevStatus status;
    status.SetStatus(2);
    EXPECT_EQ(TextOf(status), "设备设置非法");
}

TEST(DeviceBase, TypesHandlersAndEmbeddedDevices)
{
    CDeviceA source("LVSRC_DEC_VDCP");
    EXPECT_EQ(source.IsThisType("LVSRC"), 1);
    EXPECT_EQ(source.IsThisType(""), 1);
    EXPECT_EQ(source.IsThisType("lvsrc"), 0) << "case-sensitive";
    EXPECT_EQ(CDeviceA("LVAUX_ECHG").IsThisType("LVSRC"), 0);
    EXPECT_EQ(CDeviceA().IsThisType("UnkownDevType"), 1);
    EXPECT_EQ(std::string(source.GetDescription()), "所有设备的父类");

    const char bytes[] = "abc";
    pointer_t data{bytes, 3};
    EXPECT_EQ(source.DoDevInt(1, data), 0) << "no handler";

    struct Receiver {
        int OnData(int code, pointer_t &d)
        {
            lastCode = code;
            lastLength = d.length;
            return 7;
        }
        int lastCode = 0, lastLength = 0;
    } receiver;
    source.SetDevIntHandler(&receiver, &Receiver::OnData);
    EXPECT_EQ(source.DoDevInt(4, data), 7);
    EXPECT_EQ(receiver.lastCode, 4);
    EXPECT_EQ(receiver.lastLength, 3);
    source.SetDevIntHandler<Receiver>(nullptr, nullptr);
    EXPECT_EQ(source.DoDevInt(4, data), 0);

    CStringArray names;
    names.Add("left over");
    EXPECT_EQ(source.GetEmbenddedDev(names), 0);
    EXPECT_TRUE(names.IsEmpty());
    EXPECT_EQ(source.DevTest(nullptr), 1);
    EXPECT_EQ(source.DevOpen(), 0);
}

TEST(DeviceBase, LiveDevicesAreFoundByDeviceNameAndType)
{
    CTestDevice source;
    source.SetDevName("DevBaseCom7");
    COtherDevice aux;
    EXPECT_EQ(CDeviceA::FindByDevProp("devbasecom7"), &source);
    EXPECT_EQ(CDeviceA::FindByDevProp("DevBaseCom8"), nullptr);

    CArray<CDeviceA *, CDeviceA *> list;
    list.Add(nullptr);
    const int all = CDeviceA::GetDeviceList(list);
    EXPECT_GE(all, 2);
    CDeviceA::GetDeviceList(list, "LVSRC_TEST");
    ASSERT_EQ(list.GetSize(), 1) << "only the devices of that type";
    EXPECT_EQ(list[0], &source);
    CDeviceA::GetDeviceList(list, "LVAUX");
    ASSERT_EQ(list.GetSize(), 1);
    EXPECT_EQ(list[0], &aux);
}

TEST(OpenDev, CreatesFromTheFirstRootThatHoldsTheName)
{
    MountedSettings dev("/etc/dev", Section("OpenRoot1", "CTestDevice"));
    MountedSettings tvxDev("/etc/tvx/dev", Section("OpenRoot2", "CTestDevice") +
                                               Section("OpenRoot1", "COtherDevice"));
    MountedSettings system("/etc/system/dev", Section("OpenRoot3", "CTestDevice"));
    MountedSettings tvx("/etc/tvx",
                        Section("OpenRoot4", "CTestDevice") + Section("OpenRoot3", "COtherDevice"));
    Created created;
    const char *expected[] = {"/etc/dev/OpenRoot1", "/etc/tvx/dev/OpenRoot2",
                              "/etc/system/dev/OpenRoot3", "/etc/tvx/OpenRoot4"};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "OpenRoot" + std::to_string(i + 1);
        tagDevStatus status;
        status.SetStatus(6);
        CDeviceA *device =
            created(CDeviceA::OpenDev(name.c_str(), CDeviceA::GetClassID(), &status));
        ASSERT_NE(device, nullptr) << name;
        EXPECT_EQ(device->GetObjectRtc(), CTestDevice::GetClassID()) << name;
        EXPECT_STREQ(device->GetSettingInfo(), expected[i]);
        EXPECT_EQ(device->GetObjectStatus(), OBJ_ACTIVE);
        EXPECT_EQ(status.nCode, 0);
        EXPECT_EQ(TextOf(status), "设备正常");
    }
}

TEST(OpenDev, AnActiveDeviceIsReturnedAgain)
{
    MountedSettings tvx("/etc/tvx", Section("OpenTwice", "CTestDevice"));
    Created created;
    auto *first = created(CDeviceA::OpenDev("OpenTwice", CTestDevice::GetClassID()));
    ASSERT_NE(first, nullptr);
    tagDevStatus status;
    EXPECT_EQ(CDeviceA::OpenDev("OPENTWICE", CDeviceA::GetClassID(), &status), first);
    EXPECT_EQ(static_cast<CTestDevice *>(first)->opens, 1) << "not opened twice";
    EXPECT_EQ(status.nCode, 0);
    EXPECT_EQ(TextOf(status), "设备正常");
}

TEST(OpenDev, FailuresReportTheirReason)
{
    MountedSettings tvx("/etc/tvx", Section("OpenAbstract", "CAbstractDevice") +
                                        Section("OpenWrongKind", "COtherDevice"));
    Created created;
    tagDevStatus status;

    EXPECT_EQ(CDeviceA::OpenDev("OpenNowhere", CDeviceA::GetClassID(), &status), nullptr);
    EXPECT_EQ(status.nCode, 2);
    EXPECT_EQ(TextOf(status), "设备设置非法");

    EXPECT_EQ(CDeviceA::OpenDev("OpenAbstract", CDeviceA::GetClassID(), &status), nullptr);
    EXPECT_EQ(status.nCode, 2);
    EXPECT_EQ(TextOf(status), "Dev Create failed");

    EXPECT_EQ(CDeviceA::OpenDev("OpenWrongKind", CTestDevice::GetClassID(), &status), nullptr)
        << "the setting names a class of another kind";
    EXPECT_EQ(status.nCode, 2);

    status.SetStatus(5);
    EXPECT_EQ(CDeviceA::OpenDev(nullptr, CDeviceA::GetClassID(), &status), nullptr);
    EXPECT_EQ(status.nCode, 5) << "a null name leaves the status alone";
    EXPECT_EQ(CDeviceA::OpenDev("OpenNowhere", CDeviceA::GetClassID()), nullptr)
        << "no status record is needed";
}

TEST(OpenDev, ANameBorneByAnotherKindIsAConflict)
{
    COtherDevice aux;
    aux.SetInstanceName("OpenConflict");
    tagDevStatus status;
    EXPECT_EQ(CDeviceA::OpenDev("openconflict", CTestDevice::GetClassID(), &status), nullptr);
    EXPECT_EQ(status.nCode, 1);
    EXPECT_EQ(TextOf(status), "设备名有冲突");
    EXPECT_EQ(CDeviceA::FindByDevName("OpenConflict", CTestDevice::GetClassID()), nullptr);
    EXPECT_EQ(CDeviceA::FindByDevName("OpenConflict", COtherDevice::GetClassID()), &aux);
}

TEST(OpenDev, AFailedOpenKeepsTheDeviceForTheNextTry)
{
    MountedSettings tvx("/etc/tvx", Section("OpenRetry", "CTestDevice"));
    Created created;
    CTestDevice::s_openResult = 0;
    tagDevStatus status;
    EXPECT_EQ(CDeviceA::OpenDev("OpenRetry", CTestDevice::GetClassID(), &status), nullptr);
    CTestDevice::s_openResult = 1;
    EXPECT_EQ(status.nCode, 3) << "the device's own status";
    EXPECT_EQ(TextOf(status), "port busy");

    auto *device = created(static_cast<CTestDevice *>(
        CDeviceA::FindByDevName("OpenRetry", CTestDevice::GetClassID())));
    ASSERT_NE(device, nullptr) << "the device stays registered";
    EXPECT_EQ(device->GetObjectStatus(), OBJ_INITIALISED);

    EXPECT_EQ(CDeviceA::OpenDev("OpenRetry", CTestDevice::GetClassID(), &status), device);
    EXPECT_EQ(device->opens, 2);
    EXPECT_EQ(device->GetObjectStatus(), OBJ_ACTIVE);
    EXPECT_EQ(status.nCode, 0);

    device->SetDevStatus(5, "gone");
    CTestDevice::s_openResult = 0;
    device->DeactiveInstance(0);
    EXPECT_EQ(CDeviceA::OpenDev("OpenRetry", CTestDevice::GetClassID(), &status), nullptr);
    CTestDevice::s_openResult = 1;
    EXPECT_EQ(status.nCode, 3) << "a live device that fails to open again";
}

TEST(OpenDev, AFailedOpenNeverReadsAsNormal)
{
    MountedSettings tvx("/etc/tvx", Section("OpenQuiet", "CQuietDevice"));
    Created created;
    // The first open creates the device, the second finds it live.
    for (const char *attempt : {"new device", "live device"}) {
        tagDevStatus status;
        status.SetStatus(6);
        EXPECT_EQ(CDeviceA::OpenDev("OpenQuiet", CQuietDevice::GetClassID(), &status), nullptr);
        EXPECT_EQ(status.nCode, 5) << attempt;
        EXPECT_EQ(TextOf(status), "设备运行失败") << attempt;
    }
    auto *device = created(CDeviceA::FindByDevName("OpenQuiet", CQuietDevice::GetClassID()));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetDevStatus().nCode, 0) << "the device's own record is left alone";
}

TEST(LastDevError, IsKeptPerThread)
{
    CDeviceA::SetLastDevError(3);
    EXPECT_EQ(CDeviceA::GetLastDevErrorCode(), 3);
    EXPECT_STREQ(CDeviceA::GetLastDevErrorMsg(), "COM口打开失败");

    std::thread([] {
        CDeviceA::SetLastDevError(77);
        EXPECT_EQ(CDeviceA::GetLastDevErrorCode(), 77);
        EXPECT_STREQ(CDeviceA::GetLastDevErrorMsg(), "") << "no built-in text for 77";
        CDeviceA::SetLastDevError(5, std::string(300, 'z').c_str());
        EXPECT_EQ(std::strlen(CDeviceA::GetLastDevErrorMsg()), 127u);
    }).join();
    EXPECT_STREQ(CDeviceA::GetLastDevErrorMsg(), "COM口打开失败") << "other threads' errors";

    tagDevStatus::SetDefaultDevStatus(3, "changed default");
    CDeviceA::SetLastDevError(3);
    EXPECT_STREQ(CDeviceA::GetLastDevErrorMsg(), "COM口打开失败") << "the built-in table";
    tagDevStatus::SetDefaultDevStatus(3, "COM口打开失败");
}

TEST(DeviceDescription, IsRecordedPerClassNameWithoutCase)
{
    EXPECT_STREQ(GetDeviceDescription("CDescribedDevice"), "");
    EXPECT_EQ(SetDeviceDescription("CDescribedDevice", "第一"), 0);
    const char *first = GetDeviceDescription("cdescribeddevice");
    EXPECT_STREQ(first, "第一");
    SetDeviceDescription("CDESCRIBEDDEVICE", "second");
    EXPECT_STREQ(GetDeviceDescription("CDescribedDevice"), "second");
    EXPECT_STREQ(first, "第一") << "a replaced text stays readable";
}
