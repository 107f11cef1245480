// The program that the application tests start: it runs the steps given on its command line
// (a restarted copy takes them from KEST_PROBE_RESTART_STEPS) and writes what it sees, one
// line per event, to its standard output. Its framework classes journal their life cycle.
#include "Kest20/ApplicationRestart.h"
#include "Kest20/CClock.h"
#include "Kest20/CLogReader.h"
#include "Kest20/CSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestApplication.h"
#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CQueueMailBox.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/IRlzTaskPool.h"
#include "KestLib20/StringAnalysis.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One write per line, so that lines of two processes sharing the output never mix.
void Say(const std::string &line)
{
    const std::string text = line + "\n";
    if (write(1, text.data(), text.size()) < 0) _exit(90);
}

// Journals its life cycle as "<event> <class> <instance name>".
class CProbe : public CKestnut {
public:
    // Named as last journaled: here the object is no longer of its own class.
    ~CProbe() override { Say("delete " + m_name); }
    int32_t OnInitInstance() override { return Journal("init"); }
    int32_t OnActiveInstance() override { return Journal("active"); }
    int32_t OnDeactiveInstance() override { return Journal("deactive"); }
    int32_t OnKillInstance() override { return Journal("kill"); }

protected:
    std::string Name()
    {
        std::string name = GetObjectRtc()->GetClassInfoA()->lpszClassName;
        if (*GetInstanceName()) name += std::string(" ") + GetInstanceName();
        return name;
    }
    int32_t Journal(const char *event)
    {
        m_name = Name();
        Say(event + (" " + m_name));
        return 1;
    }

private:
    std::string m_name;
};

class CProbeA : public CProbe {
    DECLARE_KEST_CLASS(CProbeA)
};
class CProbeB : public CProbe {
    DECLARE_KEST_CLASS(CProbeB)
};
class CProbeC : public CProbe {
    DECLARE_KEST_CLASS(CProbeC)
};
// Its deactivation does not come back (within a minute): a close that hangs.
class CProbeHang : public CProbe {
    DECLARE_KEST_CLASS(CProbeHang)

    int32_t OnDeactiveInstance() override
    {
        Journal("deactive");
        plat::Event never(true, false);
        never.Wait(60000);
        return 1;
    }
};

// Names itself, so that an "Object" entry of that name finds the started object.
class CProbeNamed : public CProbe {
    DECLARE_KEST_CLASS(CProbeNamed)

    CProbeNamed() { SetInstanceName("Named"); }
};

IMPLEMENT_KEST_CLASS(CProbeA, CKestnut)
IMPLEMENT_KEST_CLASS(CProbeB, CKestnut)
IMPLEMENT_KEST_CLASS(CProbeC, CKestnut)
IMPLEMENT_KEST_CLASS(CProbeHang, CKestnut)
IMPLEMENT_KEST_CLASS(CProbeNamed, CKestnut)

// Log lines of the types the tests look at, as "log:<type>:<text>".
class CLogEcho : public CLogReader {
public:
    explicit CLogEcho(const char *type) : CLogReader(type, LOG_MODE_EXACT, SubscribeLater{})
    {
        Subscribe();
    }
    ~CLogEcho() override { Unsubscribe(); }
    int OnRecvLog(const char *type, const char *text, const char *) override
    {
        Say(std::string("log:") + type + ":" + text);
        return 1;
    }
};

// A task that holds its apartment until the pool test lets it go.
struct PoolProbe {
    std::atomic<int> running{0};
    std::atomic<int> done{0};
    plat::Event release{true, false};
};

class CBlockingTask : public IRlzTask {
public:
    explicit CBlockingTask(PoolProbe &probe) : m_probe(probe) {}
    void Release() override { delete this; }
    int32_t Run() override
    {
        ++m_probe.running;
        m_probe.release.Wait(20000);
        --m_probe.running;
        ++m_probe.done;
        return 0;
    }
    int32_t IsReady() override { return 1; }
    const char *GetName() override { return "block"; }
    void OnStateChange(int32_t, int32_t) override {}

private:
    PoolProbe &m_probe;
};

// Adds `count` blocking tasks and reports how many ran at once.
void PoolStep(int count)
{
    static PoolProbe probe;
    IRlzTaskPool *pool = glGetRlzTaskPool();
    for (int i = 0; i < count; ++i) pool->AddTask(new CBlockingTask(probe));
    int seen = -1;
    for (int still = 0, waited = 0; still < 50 && waited < 1000; ++waited) {
        const int now = probe.running.load();
        still = now == seen && now > 0 ? still + 1 : 0;
        seen = now;
        usleep(10000);
    }
    Say("pool=" + std::to_string(seen));
    probe.release.Set();
    for (int waited = 0; probe.done < count && waited < 2000; ++waited) usleep(10000);
    Say("pooldone=" + std::to_string(probe.done.load()));
}

std::string Of(const CString &text)
{
    return static_cast<const char *>(text);
}

std::string Read(const char *path, const char *key)
{
    return Of(CResAccess(path)[key].GetAsString("<none>"));
}

void AfterCloseStep(CQueueMailBox &box)
{
    Say("log=" + std::to_string(glReportLog("LOG_PROBE", "after", "")));
    Say("create=" +
        std::to_string(glCreateComponent("Late", nullptr, CClassA::GetClassID(), 1) != nullptr));
    Say("patrol=" + std::to_string(*glGetPatrolTaskMgr() != nullptr));
    Say("devpatrol=" + std::to_string(*glGetDevPatrolTaskMgr() != nullptr));
    CPacket packet;
    Say("mail=" + std::to_string(glSendMail(box.GetMailBoxInfo().id, packet)));
    PoolProbe probe;
    Say("pooladd=" + std::to_string(glGetRlzTaskPool()->AddTask(new CBlockingTask(probe))));
}

// Threads that read settings without pause, through every branch of the tree, until stopped:
// reads that meet the close of the framework.
class SettingReaders {
public:
    void Start(int count)
    {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([this] {
                while (!m_stop) {
                    CResAccess("/etc/tvx/System")["Debug"].GetAsString("");
                    CResAccess("/etc/net/#My")["P_NAME"].GetAsString("");
                    CResAccess("/etc/env")["PATH"].GetAsString("");
                    ++m_reads;
                }
            });
    }
    // Stops the threads; the number of read rounds they made.
    int Stop()
    {
        m_stop = true;
        for (std::thread &t : m_threads) t.join();
        m_threads.clear();
        return m_reads.load();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reads{0};
    std::vector<std::thread> m_threads;
};

// Runs one step; false for a step it does not know.
bool Step(const std::string &step)
{
    static std::unique_ptr<CQueueMailBox> box;
    static SettingReaders readers;
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (name == "start") {
        Say("start=" + std::to_string(StartApplication(arg.c_str())));
    } else if (name == "start-null") {
        Say("start=" + std::to_string(StartApplication(nullptr)));
    } else if (name == "status") {
        Say("status=" + std::to_string(CKestApp::Kest()->GetObjectStatus()));
    } else if (name == "auto") {
        Say("auto=" + std::to_string(CKestApp::Kest()->CreateAutoObject()));
    } else if (name == "debug") {
        Say("debug=" + std::to_string(glReportDbg("LOG_PROBE", "debug")));
    } else if (name == "create") {
        Say("create=" + std::to_string(glCreateComponent(arg.c_str(), nullptr,
                                                         CClassA::GetClassID(), 1) != nullptr));
    } else if (name == "using") {
        Say("using=" + std::to_string(glUsingLibrary(arg.c_str())));
    } else if (name == "autocreate") {
        Say("autocreate=" + std::to_string(glAutoCreateObject(arg.c_str())));
    } else if (name == "read") {
        CStringArray parts;
        StringAnalysis_Array(arg.c_str(), '|', parts);
        Say("read=" + Read(parts[0], parts[1]));
    } else if (name == "write") {
        CStringArray parts;
        StringAnalysis_Array(arg.c_str(), '|', parts);
        CResString key(parts[0]);
        key.Go(parts[1]);
        Say("write=" + std::to_string(key.SetStringData(parts[2])));
    } else if (name == "kernel") {
        Say("kernel=" + std::to_string(glGetDistributedSystemCore() != nullptr));
    } else if (name == "box") {
        box = std::make_unique<CQueueMailBox>(glGetPostOffice(), 129);
        Say("box=" + std::to_string(box->EnableMailBox()));
    } else if (name == "pool") {
        PoolStep(std::atoi(arg.c_str()));
    } else if (name == "readers") {
        readers.Start(std::atoi(arg.c_str()));
    } else if (name == "stopreaders") {
        Say("reads=" + std::to_string(readers.Stop() > 0));
    } else if (name == "close") {
        Say("close=" + std::to_string(CloseApplication(0)));
    } else if (name == "close-thread") {
        Say("close=" + std::to_string(CloseApplication(1)));
    } else if (name == "after" && box) {
        AfterCloseStep(*box);
    } else if (name == "flag") {
        int32_t parent = -1;
        const int flag = GetApplicationRestartFlag(&parent);
        Say("flag=" + std::to_string(flag) + " id=" + std::to_string(parent) +
            " is=" + std::to_string(IsApplicationRestart()));
    } else if (name == "kill") {
        Say("kill=" + std::to_string(KillParentApplication()));
    } else if (name == "restart") {
        Say("restart=" + std::to_string(RestartThisApplication()));
    } else if (name == "cwd") {
        char cwd[4096] = "";
        Say(std::string("cwd=") + (getcwd(cwd, sizeof cwd) ? cwd : "?"));
    } else if (name == "wait") {
        plat::Sleep(static_cast<uint32_t>(std::atoi(arg.c_str())));
    } else if (name == "exit") {
        _exit(std::atoi(arg.c_str()));
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    plat::SetDebugOutputSink([](const char *text) {
        std::string line = text;
        while (!line.empty() && line.back() == '\n') line.pop_back();
        Say("dbg:" + line);
    });
    CLogEcho errors("LOG_ERROR");
    CLogEcho pool("LOG_TASKPOOL");

    std::vector<std::string> steps(argv + 1, argv + argc);
    std::string restartSteps;
    if (IsApplicationRestart() && plat::GetEnv("KEST_PROBE_RESTART_STEPS", &restartSteps)) {
        CStringArray list;
        StringAnalysis_Array(restartSteps.c_str(), ',', list);
        steps.assign(list.begin(), list.end());
    }
    for (const std::string &step : steps) {
        if (step.find("/ApplicationRestart") != std::string::npos) continue;
        if (!Step(step)) Say("unknown step " + step);
    }
    // The status tells the tests that every step ran and the exit handlers came back.
    return 3;
}
