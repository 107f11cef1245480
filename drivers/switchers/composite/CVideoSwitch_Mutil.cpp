#include "drivers/switchers/composite/CVideoSwitch_Mutil.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CStrings.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/composite/SwitchTargets.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdarg>

namespace {

constexpr const char *kTypeId = "LVSWITCH_MCS_Mutil";
constexpr const char *kDescription = "Mutil";
constexpr const char *kSucceeded = "成功";
constexpr const char *kFailed = "失败";
constexpr int kTestTries = 7;
constexpr uint32_t kTestPauseMs = 200;
// How long a worker that has counted its result is given to return.
constexpr uint32_t kWorkerEndMs = 1000;

const char *ResultWord(bool ok)
{
    return ok ? kSucceeded : kFailed;
}

__attribute__((format(printf, 1, 2))) void Log(const char *format, ...)
{
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    glReportLog(CVideoSwitch_Mutil::kLogType, text, "");
}

// The member list of a "Dev" value: comma-separated, trimmed, empty items dropped.
CStrings MemberIds(CResAccess &setting)
{
    CStrings ids;
    setting["Dev"].GetAsStringArray(ids);
    ids.Pack();
    return ids;
}

std::vector<uint32_t> Table(CResAccess &setting, const CString &key)
{
    CDWordArray values;
    setting[key].GetAsDWordArray(values);
    return std::vector<uint32_t>(values.begin(), values.end());
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Mutil, CVideoSwitchA, kDescription)

int CVideoSwitch_Mutil::tagTables::Translate(const std::vector<uint32_t> &table, int number)
{
    if (number < 1 || static_cast<size_t>(number) > table.size()) return number;
    return static_cast<int>(table[static_cast<size_t>(number) - 1]);
}

const CVideoSwitch_Mutil::tagTables &
CVideoSwitch_Mutil::tagMembers::TablesOf(const CString &id) const
{
    static const tagTables none;
    auto found = tables.find(id.GetString());
    return found == tables.end() ? none : found->second;
}

// One take episode, owned jointly by the composite and its workers: a worker that ends after
// the wait counts into its own episode, never into the next take's.
struct CTakeRound {
    CTakeRound(bool direct, int channel, int entry,
               std::shared_ptr<const CVideoSwitch_Mutil::tagMembers> members, const void *self)
        : direct(direct), channel(channel), entry(entry), members(std::move(members)), self(self)
    {
    }

    int NextIndex()
    {
        std::lock_guard<std::mutex> lk(indexLock);
        return next++;
    }
    void Count(bool ok)
    {
        std::lock_guard<std::mutex> lk(resultLock);
        ++finished;
        if (ok) ++succeeded;
        if (finished == members->Count()) allDone.Set();
    }
    bool AllFinished()
    {
        std::lock_guard<std::mutex> lk(resultLock);
        return finished == members->Count();
    }
    int Succeeded()
    {
        std::lock_guard<std::mutex> lk(resultLock);
        return succeeded;
    }

    // The worker of one member.
    uint32_t Work();

    const bool direct;
    const int channel;
    const int entry;
    const std::shared_ptr<const CVideoSwitch_Mutil::tagMembers> members;
    const void *const self; // compared only: the composite never acts on itself

    std::mutex indexLock;
    int next = 0;
    std::mutex resultLock;
    int finished = 0;
    int succeeded = 0;
    plat::Event allDone{true, false};
};

uint32_t CTakeRound::Work()
{
    const char *name = direct ? "DirectTakeThread" : "TakeThread";
    Log("%s Start", name);
    const int index = NextIndex();
    const int count = members->Count();
    if (index >= count) {
        Log("%s EXP  序号:< %d >  设备列表的长度:< %d >", name, index, count);
        return 0;
    }
    const CString &id = members->ids[static_cast<size_t>(index)];
    CVideoSwitchA *member = swtarget::Find(id, self);
    if (!member) {
        Log("%s 无法找到设备 序号:< %d >  设备列表的长度:< %d >", name, index, count);
        Count(false);
        return 0;
    }
    const CVideoSwitch_Mutil::tagTables &tables = members->TablesOf(id);
    const int c = tables.Channel(channel);
    const int e = tables.Entry(direct ? entry : 0);
    const bool ok = (direct ? member->DevDirectTake(c, e) : member->DevTake(c)) != 0;
    Log("%s %s 序号:< %d > 设备:< %s >  入:< %d >  出:< %d >  执行结果:< %s >", name,
        direct ? "DirectTake" : "Take", index, id.GetString(), e, c, ResultWord(ok));
    Count(ok);
    return 0;
}

CVideoSwitch_Mutil::CVideoSwitch_Mutil()
    : CVideoSwitchA(kTypeId), m_pMembers(std::make_shared<tagMembers>())
{
    m_strDescription = kDescription;
    SetMatrix(32, 32);
}

CVideoSwitch_Mutil::~CVideoSwitch_Mutil() = default;

std::shared_ptr<const CVideoSwitch_Mutil::tagMembers> CVideoSwitch_Mutil::GetMembers() const
{
    std::lock_guard<std::mutex> lk(m_membersLock);
    return m_pMembers;
}

int32_t CVideoSwitch_Mutil::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nCheckTime = setting["CheckTime"].GetAsInteger(m_nCheckTime);
    m_nCheckInterval = setting["CheckInterval"].GetAsInteger(m_nCheckInterval);
    auto members = std::make_shared<tagMembers>();
    for (const CString &id : MemberIds(setting)) {
        members->ids.push_back(id);
        members->tables[id.GetString()] = {Table(setting, id + "_I"), Table(setting, id + "_O")};
    }
    const int count = members->Count();
    std::lock_guard<std::mutex> lk(m_membersLock);
    m_pMembers = std::move(members);
    return count;
}

template <class Op> int CVideoSwitch_Mutil::ForEachMember(bool normalOnly, Op op)
{
    const auto members = GetMembers();
    int succeeded = 0;
    for (int index = 0; index < members->Count(); ++index) {
        const CString &id = members->ids[static_cast<size_t>(index)];
        CVideoSwitchA *member = swtarget::Find(id, this);
        if (!member || (normalOnly && member->GetDevStatus().nCode != DEVSTATUS_NORMAL)) continue;
        if (op(*member, index, id)) ++succeeded;
    }
    return succeeded;
}

template <class Get> int CVideoSwitch_Mutil::FirstMember(Get get)
{
    const auto members = GetMembers();
    if (members->ids.empty()) return -1;
    CVideoSwitchA *member = swtarget::Find(members->ids.front(), this);
    return member ? get(*member) : -1;
}

int32_t CVideoSwitch_Mutil::OnDeactiveInstance()
{
    const int working = ForEachMember(false, [](CVideoSwitchA &member, int, const CString &) {
        return member.GetDevStatus().nCode == DEVSTATUS_NORMAL;
    });
    return working ? 0 : CVideoSwitchA::OnDeactiveInstance();
}

int CVideoSwitch_Mutil::DevClose()
{
    ForEachMember(false,
                  [](CVideoSwitchA &member, int, const CString &) { return member.DevClose(); });
    return 1;
}

int CVideoSwitch_Mutil::DevOpen()
{
    int opened = 0;
    const auto members = GetMembers();
    for (const CString &id : members->ids) {
        swtarget::Open(id, *this);
        CVideoSwitchA *member = swtarget::Find(id, this);
        if (member && member->DevOpen()) ++opened;
    }
    if (!opened) {
        SetDevStatus(DEVSTATUS_RUN_FAILED);
        return 0;
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSwitch_Mutil::DevIsOpen()
{
    return ForEachMember(false, [](CVideoSwitchA &member, int,
                                   const CString &) { return member.DevIsOpen(); })
               ? 1
               : 0;
}

int CVideoSwitch_Mutil::DevTest(const char *text)
{
    const auto members = GetMembers();
    for (const CString &id : members->ids) {
        CVideoSwitchA *member = swtarget::Find(id, this);
        if (!member) continue;
        for (int tried = 1; !member->DevTest(text); ++tried) {
            if (tried == kTestTries) {
                const tagDevStatus status = member->GetDevStatus();
                SetDevStatus(status.nCode, status.GetText());
                return 0;
            }
            if (!CCallingUnit::Nap(kTestPauseMs)) return 0;
        }
    }
    return 1;
}

int CVideoSwitch_Mutil::GetEmbenddedDev(CStringArray &names)
{
    names.RemoveAll();
    const auto members = GetMembers();
    for (const CString &id : members->ids) names.Add(id);
    return static_cast<int>(names.GetSize());
}

int CVideoSwitch_Mutil::RunTake(TakeKind kind, int channel, int entry)
{
    std::lock_guard<std::mutex> operation(m_operationLock);
    auto round =
        std::make_shared<CTakeRound>(kind == TakeKind::Direct, channel, entry, GetMembers(), this);
    std::vector<plat::Thread> workers;
    for (int i = 0; i < round->members->Count(); ++i)
        workers.push_back(plat::Thread::Start([round] { return round->Work(); }));
    const int polls = m_nCheckTime, interval = m_nCheckInterval;
    for (int poll = 0; poll < polls && !round->AllFinished(); ++poll)
        round->allDone.Wait(static_cast<uint32_t>(std::max(interval, 0)));
    const int succeeded = round->Succeeded();
    // Workers still busy with a slow member are given up; their episode stays theirs.
    const bool finished = round->AllFinished();
    for (plat::Thread &worker : workers) worker.StopWithin(finished ? kWorkerEndMs : 0, 0);
    return succeeded;
}

int CVideoSwitch_Mutil::DevDirectTake(int channel, int entry)
{
    const int succeeded = RunTake(TakeKind::Direct, channel, entry);
    if (succeeded) CVideoSwitchA::DevDirectTake(channel, entry);
    Log("DevDirectTake   入:< %d >  出:< %d >  执行结果:< %s >", entry, channel,
        ResultWord(succeeded));
    return succeeded;
}

int CVideoSwitch_Mutil::DevTake(int channel)
{
    const int succeeded = RunTake(TakeKind::Take, channel, 0);
    if (succeeded) CVideoSwitchA::DevTake(channel);
    Log("DevTake  出:< %d >  执行结果:< %s >", channel, ResultWord(succeeded));
    return succeeded;
}

int CVideoSwitch_Mutil::DevPreset(int channel, int entry)
{
    const auto members = GetMembers();
    const int succeeded =
        ForEachMember(true, [&](CVideoSwitchA &member, int index, const CString &id) {
            const tagTables &tables = members->TablesOf(id);
            const int c = tables.Channel(channel), e = tables.Entry(entry);
            const bool ok = member.DevPreset(c, e) != 0;
            Log("DevPreset  序号:< %d >  设备:< %s >  入:< %d >  出:< %d >  执行结果:< %s >", index,
                id.GetString(), e, c, ResultWord(ok));
            return ok;
        });
    if (succeeded) CVideoSwitchA::DevPreset(channel, entry);
    return succeeded ? 1 : 0;
}

template <class Op, class Own> int CVideoSwitch_Mutil::FanOut(bool normalOnly, Op op, Own own)
{
    if (!ForEachMember(normalOnly,
                       [&](CVideoSwitchA &member, int, const CString &) { return op(member); }))
        return 0;
    own();
    return 1;
}

int CVideoSwitch_Mutil::DevSetTransType(int type)
{
    return FanOut(
        true, [&](CVideoSwitchA &m) { return m.DevSetTransType(type); },
        [&] { CVideoSwitchA::DevSetTransType(type); });
}

int CVideoSwitch_Mutil::DevSetTransRate(int rate)
{
    return FanOut(
        true, [&](CVideoSwitchA &m) { return m.DevSetTransRate(rate); },
        [&] { CVideoSwitchA::DevSetTransRate(rate); });
}

int CVideoSwitch_Mutil::DevKey(int key, int on)
{
    return FanOut(
        false, [&](CVideoSwitchA &m) { return m.DevKey(key, on); },
        [&] { CVideoSwitchA::DevKey(key, on); });
}

int CVideoSwitch_Mutil::DevMix(int mix, int on)
{
    return FanOut(
        false, [&](CVideoSwitchA &m) { return m.DevMix(mix, on); },
        [&] { CVideoSwitchA::DevMix(mix, on); });
}

// The members answer into the outputs; the composite's own record has the last word.
int CVideoSwitch_Mutil::DevQueryPgmEntry(int channel, int &entry)
{
    return FanOut(
        false, [&](CVideoSwitchA &m) { return m.DevQueryPgmEntry(channel, entry); },
        [&] { CVideoSwitchA::DevQueryPgmEntry(channel, entry); });
}

int CVideoSwitch_Mutil::DevQueryPstEntry(int channel, int &entry)
{
    return FanOut(
        false, [&](CVideoSwitchA &m) { return m.DevQueryPstEntry(channel, entry); },
        [&] { CVideoSwitchA::DevQueryPstEntry(channel, entry); });
}

int CVideoSwitch_Mutil::DevQueryTransMode(int &type, int &rate)
{
    return FanOut(
        false, [&](CVideoSwitchA &m) { return m.DevQueryTransMode(type, rate); },
        [&] { CVideoSwitchA::DevQueryTransMode(type, rate); });
}

int CVideoSwitch_Mutil::DevGetPSTBUS()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetPSTBUS(); });
}

int CVideoSwitch_Mutil::DevGetPGMBUS()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetPGMBUS(); });
}

int CVideoSwitch_Mutil::DevGetKey1()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetKey1(); });
}

int CVideoSwitch_Mutil::DevGetKey2()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetKey2(); });
}

int CVideoSwitch_Mutil::DevGetMix1()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetMix1(); });
}

int CVideoSwitch_Mutil::DevGetMix2()
{
    return FirstMember([](CVideoSwitchA &m) { return m.DevGetMix2(); });
}
