// The FTP clip stores against real FTP servers: settings, clip lists with lengths from byte
// sizes, rename (in the list at once) and delete (a refused delete reported as failed and the
// clip kept), the debug log, and far copies between two servers: a clip with its key files
// checked at the destination, a clip that lacks one, one gone from the source (nothing left at
// the destination), a destination that refuses the copy, the PinFtpX site pools, and the clip
// copy manager driving a copy end to end.
#include "tests/ftp/FtpPeerKit.h"
#include "tests/model/DeviceTestKit.h"

#include "Kest20/KestLog.h"
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/sources/ftp/CVideoStore_FtpBase.h"
#include "drivers/sources/ftp/CVideoStore_PinFtpX.h"
#include "drivers/tasks/CVideoClipCopyTaskMgr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {

using devtest::Section;
using ftptest::FtpServer;
using ftptest::TempTree;

// The progress a store reports, in order.
struct Progress {
    std::mutex lock;
    std::vector<int> done;

    static void Report(void *context, int32_t done, int32_t total)
    {
        auto *self = static_cast<Progress *>(context);
        std::lock_guard<std::mutex> lk(self->lock);
        self->done.push_back(total ? done * 100 / total : -1);
    }
    CVideoStoreA::tagCopyCallBack Callback() { return {this, &Progress::Report}; }
    std::vector<int> All()
    {
        std::lock_guard<std::mutex> lk(lock);
        return done;
    }
};

// A URL as a setting value: quoted, so that its "//" is no comment.
std::string Quoted(const std::string &url)
{
    return "\"" + url + "\"";
}

// The Port key replaces the URL's port.
std::string Port(const FtpServer &server)
{
    return std::to_string(server.Port());
}

// The settings of a file store named `name` on `server`.
std::string FileStore(const char *name, const FtpServer &server)
{
    return Section(name, {{"class", "CVideoStore_FtpBase"},
                          {"Server", Quoted(server.Url())},
                          {"Port", Port(server)}});
}

class FtpStoreTest : public ::testing::TestWithParam<ftptest::Flavor> {
protected:
    FtpStoreTest() : m_previousDebug(glSetDebugFlag(1)) {}
    ~FtpStoreTest() override { glSetDebugFlag(m_previousDebug); }

    // Mounts the settings; the stores are made from them on first use.
    void Mount(const std::string &text)
    {
        m_settings = std::make_unique<devtest::MountedSettings>(text);
    }
    template <class T> T *Open(const char *name)
    {
        tagDevStatus status;
        auto *store = dynamic_cast<T *>(CDeviceA::OpenDev(name, T::GetClassID(), &status));
        EXPECT_NE(store, nullptr) << name << " status " << status.nCode;
        return store;
    }
    static std::vector<std::string> Ids(CVideoStoreA &store)
    {
        CStringArray ids;
        store.DevIDList(ids, 0, 100);
        std::vector<std::string> out(ids.begin(), ids.end());
        std::sort(out.begin(), out.end());
        return out;
    }
    static void Expire(CVideoStoreA &store) { store.GetClipCache().SetLastLoadTime(0); }

    int m_previousDebug;
    devtest::LogCapture debug{"LOG_FTPDEBUG"};
    std::unique_ptr<devtest::MountedSettings> m_settings;
    devtest::DeleteDevices m_cleanup{
        {"FA", "FB", "FBAD", "FHTTP", "DA", "DB", "PA", "PB", "PRO", "XA", "XB"}};
};

TEST_P(FtpStoreTest, SettingsDecideWhetherTheStoreStarts)
{
    Mount(
        Section("FBAD", {{"class", "CVideoStore_FtpBase"}, {"Server", "ftp://"}}) +
        Section("FHTTP", {{"class", "CVideoStore_FtpBase"}, {"Server", "http://u:p@127.0.0.1/"}}));
    for (const char *name : {"FBAD", "FHTTP"}) {
        tagDevStatus status;
        EXPECT_EQ(CDeviceA::OpenDev(name, CVideoStore_FtpBase::GetClassID(), &status), nullptr)
            << name;
    }
}

TEST_P(FtpStoreTest, AFileStoreListsMeasuresRenamesAndDeletes)
{
    TempTree tree, locked;
    tree.File("NEWS", 1000000);  // 25 frames at 8 Mbit/s
    tree.File("SPORT", 2000000); // 50 frames
    tree.Dir("notaclip");
    locked.File("KEEP", 400000);
    FtpServer server(GetParam(), tree.Root()), readOnly(GetParam(), locked.Root(), {"--read-only"});
    Mount(FileStore("FA", server) + Section("FB", {{"class", "CVideoStore_FtpBase"},
                                                   {"Server", Quoted(readOnly.Url())},
                                                   {"Port", std::to_string(readOnly.Port())},
                                                   {"BitRate", "4000000"}}));
    auto *store = Open<CVideoStore_FtpBase>("FA");
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->GetTypeID(), CString("LVSTORE_BVS_FTP2"));
    EXPECT_EQ(store->DevIsOpen(), 1);
    EXPECT_EQ(store->GetDevStatus().nCode, 0);
    EXPECT_EQ(store->GetClipCache().GetValidSpan(), 1500) << "valid for a minute";

    EXPECT_EQ(Ids(*store), (std::vector<std::string>{"NEWS", "SPORT"}));
    EXPECT_EQ(store->DevGetClipSize("NEWS"), 25);
    EXPECT_EQ(store->DevGetClipSize("SPORT"), 50);
    EXPECT_EQ(store->DevGetClipSize("NONE"), 0);
    EXPECT_TRUE(debug.Has(
        "(      FA) Command : ################# Begin List ############################"));
    EXPECT_TRUE(
        debug.Has("(      FA) Command : ################# End List( OK ) #######################"));
    EXPECT_TRUE(debug.Has("(      FA) Send    :PASS ****"));
    EXPECT_TRUE(debug.Has("(      FA) Send    :LIST"));
    for (const std::string &line : debug.Lines())
        EXPECT_EQ(line.find(ftptest::kPassword), std::string::npos) << line;

    EXPECT_EQ(store->DevRename("SPORT", "SPORT2"), 1);
    EXPECT_TRUE(tree.Exists("SPORT2"));
    EXPECT_EQ(store->DevCopy("NEWS", "NEWS2"), 0);

    EXPECT_EQ(store->DevDelete("NEWS", 0), 1);
    EXPECT_FALSE(tree.Exists("NEWS"));
    EXPECT_FALSE(store->GetClipCache().IsExists("NEWS"));
    EXPECT_EQ(store->DevDelete("NEWS", 0), 0) << "the server had nothing to delete";

    auto *refusing = Open<CVideoStore_FtpBase>("FB");
    ASSERT_NE(refusing, nullptr);
    EXPECT_EQ(refusing->DevGetClipSize("KEEP"), 20);
    EXPECT_EQ(refusing->DevDelete("KEEP", 0), 0) << "a refused delete is reported";
    EXPECT_TRUE(locked.Exists("KEEP"));
    EXPECT_TRUE(refusing->GetClipCache().IsExists("KEEP"));

    // The connection goes away: the test reports it, the next open logs on again.
    server.Kill();
    for (int i = 0; i < 5000 && store->DevIsOpen(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(store->DevTest(""), 0);
    EXPECT_EQ(store->GetDevStatus().nCode, 4);
    EXPECT_EQ(store->DevOpen(), 0);
    EXPECT_EQ(store->GetDevStatus().nCode, 3);
}

// A rename is in the store's own list at once, as a delete and a far copy are, on the file
// store and on the pooled Pinnacle store; a refused one changes nothing.
TEST_P(FtpStoreTest, ARenamedClipIsListedUnderItsNewNameAtOnce)
{
    TempTree files, dirs;
    files.File("SPORT", 2000000); // 50 frames at 8 Mbit/s
    dirs.File("SPORT/header", 500);
    dirs.File("SPORT/ft", 500);
    dirs.File("SPORT/std", 0);
    FtpServer fileServer(GetParam(), files.Root()), dirServer(GetParam(), dirs.Root());
    Mount(FileStore("FA", fileServer) +
          Section("XA", {{"class", "CVideoStore_PinFtpX"},
                         {"ftp.1", "{\"Server=" + dirServer.Url() + "\"}"},
                         {"BitRate", "8000"}})); // a directory's own listed size has frames
    CVideoStoreA *stores[] = {Open<CVideoStore_FtpBase>("FA"), Open<CVideoStore_PinFtpX>("XA")};
    for (CVideoStoreA *store : stores) {
        ASSERT_NE(store, nullptr);
        SCOPED_TRACE(store->GetInstanceName());
        ASSERT_GT(store->DevGetClipSize("SPORT"), 0);
        const int frames = store->DevGetClipSize("SPORT");
        const int64_t loaded = store->GetClipCache().GetLastLoadTime();
        ASSERT_EQ(store->DevRename("SPORT", "SPORT2"), 1);
        EXPECT_EQ(Ids(*store), std::vector<std::string>{"SPORT2"});
        EXPECT_EQ(store->DevGetClipSize("SPORT2"), frames);
        EXPECT_FALSE(store->GetClipCache().IsExists("SPORT"));
        EXPECT_EQ(store->GetClipCache().GetLastLoadTime(), loaded) << "no load in between";
        EXPECT_EQ(store->DevRename("NONE", "OTHER"), 0);
        EXPECT_EQ(Ids(*store), std::vector<std::string>{"SPORT2"});
    }
    EXPECT_TRUE(files.Exists("SPORT2"));
    EXPECT_TRUE(dirs.Exists("SPORT2/ft"));
}

// A clip gone from the source after the store listed it: the copy fails, and the destination
// keeps nothing of it, on a server that hears the abort and on one that does not (vsftpd as
// it ships), whose file is removed over a connection made anew.
TEST_P(FtpStoreTest, AFailedFarCopyLeavesNothingAtTheDestination)
{
    TempTree source, target;
    source.File("NEWS", 1000000);
    target.File("OTHER", 1000000);
    FtpServer from(GetParam(), source.Root()), to(GetParam(), target.Root());
    Mount(FileStore("FA", from) + FileStore("FB", to));
    auto *store = Open<CVideoStore_FtpBase>("FA");
    auto *dest = Open<CVideoStore_FtpBase>("FB");
    ASSERT_TRUE(store && dest);
    ASSERT_EQ(store->DevGetClipSize("NEWS"), 25);
    ASSERT_EQ(Ids(*dest), std::vector<std::string>{"OTHER"});
    std::filesystem::remove(source.Root() / "NEWS");

    Progress progress;
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "FB", progress.Callback()), 0);
    EXPECT_FALSE(target.Exists("NEWS"));
    Expire(*dest);
    EXPECT_EQ(Ids(*dest), std::vector<std::string>{"OTHER"});
    EXPECT_TRUE(debug.Has(
        "(  S_TO_S) Command :################# End Copy(Failed) ############################"));

    // Both stores work on: the next copy goes through.
    source.File("NEWS", 1000000);
    Expire(*store);
    ASSERT_EQ(store->DevGetClipSize("NEWS"), 25);
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "FB", progress.Callback()), 1);
    EXPECT_TRUE(target.Read("NEWS") == source.Read("NEWS"));
}

TEST_P(FtpStoreTest, AnEmptyFileStoreReadsAsAFailedLoad)
{
    TempTree tree;
    FtpServer server(GetParam(), tree.Root());
    Mount(FileStore("FA", server));
    auto *store = Open<CVideoStore_FtpBase>("FA");
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->DevLoadTotalClip(), 0);
    EXPECT_TRUE(debug.Has(
        "(      FA) Command : ################# End List( Failed ) #######################"));
}

TEST_P(FtpStoreTest, ADirectoryStoreMeasuresItsClipDirectories)
{
    TempTree tree;
    tree.File("NEWS/a", 500000);
    tree.File("NEWS/sub/b", 500000);
    tree.File("EMPTY/.keep", 0);
    tree.File("loose.file", 100);
    tree.File("clips/ELSEWHERE/x", 100);
    FtpServer server(GetParam(), tree.Root());
    devtest::LogCapture dev{"LOG_DEV"};
    // Clips live in the log-in directory: the URL's path is ignored, and said so once.
    Mount(Section("DA", {{"class", "CVideoStore_FtpDir"},
                         {"Server", Quoted(server.Url("clips"))},
                         {"Port", Port(server)}}));
    auto *store = Open<CVideoStore_FtpDir>("DA");
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->GetTypeID(), CString("LVSTORE_BVS_FTPDIR"));
    EXPECT_EQ(Ids(*store), (std::vector<std::string>{"EMPTY", "NEWS", "clips"}));
    EXPECT_EQ(store->DevGetClipSize("NEWS"), 25);
    EXPECT_EQ(store->DevRename("NEWS", "OTHER"), 0);

    tree.File("LATE/x", 800000);
    Expire(*store);
    EXPECT_EQ(store->DevGetClipSize("LATE"), 20);
    EXPECT_EQ(store->DevGetClipSize("NEWS"), 25) << "measured again only after 30 minutes";

    EXPECT_EQ(store->DevDelete("NEWS", 0), 1);
    EXPECT_FALSE(tree.Exists("NEWS"));
    EXPECT_EQ(Ids(*store), (std::vector<std::string>{"EMPTY", "LATE", "clips"}));
    store->DevClose();
    EXPECT_EQ(store->DevOpen(), 1);
    EXPECT_EQ(dev.Lines(), (std::vector<std::string>{
                               "DEV=DA Server path \"clips\" ignored: clips are in the log-in "
                               "directory"}));
}

TEST_P(FtpStoreTest, BooleanKeysTakeTheWordsOfTheResourceLayer)
{
    TempTree tree;
    tree.File("NEWS/header", 500);
    tree.File("NEWS/ft", 999500); // 1000000 bytes in all: 25000 frames at 8 kbit/s
    tree.File("NEWS/std", 0);
    FtpServer server(GetParam(), tree.Root());
    struct Case {
        const char *word;
        bool on;
    };
    const Case cases[] = {{"TRUE", true},     {"FALSE", false}, {"ENABLE", true},
                          {"DISABLE", false}, {"1", true},      {"0", false}};
    for (const Case &c : cases) {
        devtest::DeleteDevices gone{{"FA", "PA", "XA"}};
        Mount(Section("FA", {{"class", "CVideoStore_FtpBase"},
                             {"Server", Quoted(server.Url())},
                             {"Port", Port(server)},
                             {"Noop", c.word}}) +
              Section("PA", {{"class", "CVideoStore_PinnacleFtp"},
                             {"Server", Quoted(server.Url())},
                             {"Port", Port(server)},
                             {"BitRate", "8000"}, // so that a directory's own size has frames
                             {"SCAN_DIR_INFO", c.word}}) +
              Section("XA", {{"class", "CVideoStore_PinFtpX"},
                             {"ftp.1",
                              "{\"Server=" + server.Url() + "\",\"UsingRMD=" + c.word + "\"}"}}));
        // Noop: the store's test sends a NOOP a minute (the first one at once) only when on.
        auto *plain = Open<CVideoStore_FtpBase>("FA");
        ASSERT_NE(plain, nullptr) << c.word;
        const int noops = server.Count("NOOP");
        EXPECT_EQ(plain->DevTest(""), 1) << c.word;
        EXPECT_EQ(server.Count("NOOP") - noops, c.on ? 1 : 0) << c.word;

        // SCAN_DIR_INFO: the clip's length is measured from its files, not its listing line.
        auto *pinnacle = Open<CVideoStore_PinnacleFtp>("PA");
        ASSERT_NE(pinnacle, nullptr) << c.word;
        const int cwds = server.Count("CWD");
        EXPECT_GT(pinnacle->DevGetClipSize("NEWS"), 0) << c.word;
        EXPECT_EQ(server.Count("CWD") > cwds, c.on) << c.word;
        if (c.on) {
            EXPECT_EQ(pinnacle->DevGetClipSize("NEWS"), 25000) << c.word;
        }

        // UsingRMD: a delete is one RMD, else a walk that deletes the files first.
        tree.File("GONE/x", 10);
        auto *pooled = Open<CVideoStore_PinFtpX>("XA");
        ASSERT_NE(pooled, nullptr) << c.word;
        const int rmds = server.Count("RMD"), deletes = server.Count("DELE");
        pooled->DevDelete("GONE", 0);
        EXPECT_EQ(server.Count("RMD") - rmds, 1) << c.word;
        EXPECT_EQ(server.Count("DELE") - deletes, c.on ? 0 : 1) << c.word;
        std::error_code ec;
        std::filesystem::remove_all(tree.Root() / "GONE", ec);
    }
}

class PinnacleCopyTest : public FtpStoreTest {
protected:
    PinnacleCopyTest()
    {
        // 500 + 200000 + 3000 + 50000 bytes = 253500: 150 frames (6 s) at 338000 bit/s.
        source.File("NEWS/header", 500);
        source.File("NEWS/ft", 200000);
        source.File("NEWS/std", 3000);
        source.File("NEWS/video.dat", 50000);
        source.File("NOSTD/header", 500);
        source.File("NOSTD/ft", 200000);
        source.File("NOSTD/video.dat", 53000);
    }
    std::string Store(const char *name, const FtpServer &server)
    {
        return Section(name, {{"class", "CVideoStore_PinnacleFtp"},
                              {"Server", Quoted(server.Url())},
                              {"Port", Port(server)},
                              {"BitRate", "338000"},
                              {"SCAN_DIR_INFO", "1"},
                              {"Client", "2"}});
    }

    TempTree source, target, locked;
    FtpServer from{GetParam(), source.Root(), {"--rmd-tree"}},
        to{GetParam(), target.Root(), {"--rmd-tree"}},
        refusing{GetParam(), locked.Root(), {"--read-only"}};
};

TEST_P(PinnacleCopyTest, AClipIsCopiedWithItsKeyFilesCheckedAndProgressReaches100)
{
    Mount(Store("PA", from) + Store("PB", to) + Store("PRO", refusing));
    auto *store = Open<CVideoStore_PinnacleFtp>("PA");
    auto *dest = Open<CVideoStore_PinnacleFtp>("PB");
    ASSERT_TRUE(store && dest);
    EXPECT_EQ(store->GetTypeID(), CString("LVSTORE_BVS_PINNACLEFTP"));
    ASSERT_EQ(store->DevGetClipSize("NEWS"), 150);
    EXPECT_EQ(Ids(*dest), std::vector<std::string>{});

    Progress progress;
    ASSERT_EQ(store->DevFarCopy("NEWS", "unused", "PB", progress.Callback()), 1);
    const std::vector<int> reports = progress.All();
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front(), 0);
    EXPECT_EQ(reports.back(), 100);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    for (const char *file : {"NEWS/header", "NEWS/ft", "NEWS/std", "NEWS/video.dat"})
        EXPECT_TRUE(target.Read(file) == source.Read(file)) << file;
    EXPECT_GT(store->GetCopySpeed(), 0.01) << "a 6 s clip copied in far less than 600 s";
    EXPECT_EQ(dest->DevGetClipSize("NEWS"), 150) << "in the destination's cache at once";
    EXPECT_TRUE(debug.Has(
        "(  S_TO_S) Command :################# End Copy(OK) ############################"));

    // A clip without all its key files is refused; a destination that refuses writes fails
    // the copy; neither reports 100.
    for (const auto &[clip, destName] : {std::pair{"NOSTD", "PB"}, std::pair{"NEWS", "PRO"}}) {
        Progress failed;
        EXPECT_EQ(store->DevFarCopy(clip, "", destName, failed.Callback()), 0) << clip;
        const std::vector<int> seen = failed.All();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 0) << clip;
    }
    EXPECT_FALSE(target.Exists("NOSTD"));
    EXPECT_FALSE(locked.Exists("NEWS"));
    EXPECT_TRUE(debug.Has(
        "(  S_TO_S) Command :################# End Copy(Failed) ############################"));
    EXPECT_EQ(store->DevFarCopy("NONE", "", "PB", Progress().Callback()), 0) << "no length";

    // Pinnacle stores delete a clip directory with one RMD, which vsftpd refuses for a
    // directory that is not empty.
    EXPECT_EQ(dest->DevDelete("NEWS", 0), to.RmdRemovesTrees() ? 1 : 0);
    EXPECT_EQ(target.Exists("NEWS"), !to.RmdRemovesTrees());
}

TEST_P(PinnacleCopyTest, FarCopiesRunAtOnceEachOnAConnectionOfItsOwn)
{
    for (const char *file : {"header", "ft", "std", "video.dat"})
        source.Text(std::string("SPORT/") + file, source.Read(std::string("NEWS/") + file));
    Mount(Store("PA", from) + Store("PB", to));
    auto *store = Open<CVideoStore_PinnacleFtp>("PA");
    ASSERT_TRUE(store && Open<CVideoStore_PinnacleFtp>("PB"));
    ASSERT_EQ(store->DevGetClipSize("SPORT"), 150);
    Progress first, second;
    auto other = std::async(std::launch::async, [&] {
        return store->DevFarCopy("SPORT", "", "PB", second.Callback());
    });
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "PB", first.Callback()), 1);
    EXPECT_EQ(other.get(), 1);
    for (const char *file : {"NEWS/ft", "SPORT/ft", "SPORT/video.dat"})
        EXPECT_TRUE(target.Read(file) == source.Read(file)) << file;
    // Every connection came back: the next copy finds one.
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "PB", first.Callback()), 1);
}

TEST_P(PinnacleCopyTest, TheClipCopyManagerDrivesACopyEndToEnd)
{
    Mount(Section("DevMgr", {{"VideoStore", "{\"PA\",\"PB\"}"}}) +
          Section("CopyMgr", {{"nMaxChannel", "1"}}) + Store("PA", from) + Store("PB", to));
    CVideoDevMgr devMgr;
    devMgr.Initlization("/etc/tvx/DevMgr");
    ASSERT_NE(devMgr.GetVideoStoreDev("PA", 1), nullptr);
    ASSERT_NE(devMgr.GetVideoStoreDev("PB", 1), nullptr);

    using Receiver = kit::StatusRecorder<CVideoClipCopyTaskReceiver>;
    Receiver receiver;

    CVideoClipCopyTaskMgr mgr;
    mgr.Init("/etc/tvx/CopyMgr");
    tagVideoClipCopyTask task;
    task.strSrcStore = "PA";
    task.strDestStore = "PB";
    task.strClipID = "NEWS";
    task.SetCallBack(&receiver, &Receiver::OnStatus);
    ASSERT_GT(mgr.AddCopyTask(task), 0);
    ASSERT_TRUE(receiver.WaitForAny({CLIPCOPY_COPIED, CLIPCOPY_FAILED}, 60000));
    const auto calls = receiver.Calls();
    EXPECT_EQ(calls.back().status, CLIPCOPY_COPIED);
    EXPECT_EQ(calls.back().param, 0);
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const Receiver::Call &c) {
        return c.status == CLIPCOPY_COPYING && c.param == 100;
    }));
    EXPECT_TRUE(target.Read("NEWS/ft") == source.Read("NEWS/ft"));
    mgr.ShutDown();
}

TEST_P(FtpStoreTest, PinFtpXCopiesThroughTheSiteItsDestinationNames)
{
    TempTree source, target;
    source.File("NEWS/header", 500);
    source.File("NEWS/ft", 20000);
    source.File("NEWS/std", 3000);
    source.File("NEWS/video.dat", 2000);
    // Two ways to the same source disk: the main one and the one meant for copies to XB.
    FtpServer main(GetParam(), source.Root()), path(GetParam(), source.Root()),
        to(GetParam(), target.Root());
    const auto site = [](const FtpServer &server, const char *extra) {
        return "{\"Server=" + server.Url() + "\"," + extra + "}";
    };
    Mount(Section("XA", {{"class", "CVideoStore_PinFtpX"},
                         {"ftp.1", site(main, "\"Max=1\"")},
                         {"ftp.2", site(path, "\"Max=2\",\"Dest=xb,XC\"")},
                         {"BitRate", "40000"}}) +
          Section("XB", {{"class", "CVideoStore_PinFtpX"},
                         {"ftp.1", site(to, "\"Max=1\",\"UsingRMD=0\"")}}));
    auto *store = Open<CVideoStore_PinFtpX>("XA");
    auto *dest = Open<CVideoStore_PinFtpX>("XB");
    ASSERT_TRUE(store && dest);
    EXPECT_EQ(store->GetTypeID(), CString("LVSTORE_BVS_FTP2"));
    EXPECT_EQ(store->GetSiteCount(), 2);

    // A named destination takes its site whatever its count; others the first with room.
    struct Case {
        const char *name;
        uint16_t port;
    };
    std::vector<CPooledFtpClient *> lent;
    const Case cases[] = {
        {"xb", path.Port()}, {"XC", path.Port()}, {"other", main.Port()}, {"xb", path.Port()}};
    for (const Case &c : cases) {
        CPooledFtpClient *client = store->AcquireClient(c.name);
        ASSERT_NE(client, nullptr) << c.name;
        EXPECT_EQ(client->port, c.port) << c.name;
        lent.push_back(client);
    }
    EXPECT_EQ(store->AcquireClient("other"), nullptr) << "every site at its limit";
    for (CPooledFtpClient *client : lent) store->ReleaseClient(client);

    // The clip list is loaded through the main site; the copy to XB then goes through the
    // other one, which is all that is left.
    ASSERT_GT(store->DevGetClipSize("NEWS"), 0);
    main.Kill();
    Progress progress;
    ASSERT_EQ(store->DevFarCopy("NEWS", "", "XB", progress.Callback()), 1);
    EXPECT_EQ(progress.All().back(), 100);
    for (const char *file : {"NEWS/header", "NEWS/ft", "NEWS/std", "NEWS/video.dat"})
        EXPECT_TRUE(target.Read(file) == source.Read(file)) << file;
    EXPECT_TRUE(debug.Has(
        "(  NEWS_TO_XB) Command :################# Begin Copy ############################"));
    EXPECT_TRUE(debug.Has(
        "(  S_TO_S) Command :################# End Copy(OK) ############################"))
        << "the end line has the one tag of every store";

    // XB's first site removes clip directories recursively (UsingRMD=0).
    EXPECT_EQ(dest->DevDelete("NEWS", 0), 1);
    EXPECT_FALSE(target.Exists("NEWS"));
    EXPECT_EQ(store->DevTest(""), 1);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpStoreTest, ::testing::ValuesIn(ftptest::kFlavors),
                         [](const auto &info) { return ftptest::FlavorName(info.param); });
INSTANTIATE_TEST_SUITE_P(Servers, PinnacleCopyTest, ::testing::ValuesIn(ftptest::kFlavors),
                         [](const auto &info) { return ftptest::FlavorName(info.param); });

} // namespace
