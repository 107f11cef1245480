#include "KestLib20/CDSKernel.h"

#include "KestLib20/CCallGate.h"
#include "KestLib20/CDSClient.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CKeyEnv.h"
#include "KestLib20/CNetMsgServer.h"
#include "KestLib20/KestNamedPtr.h"
#include "platform/Gbk.h"
#include "platform/String.h"
#include "platform/TimeSource.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int kPidText = 20;

// The sender's address as the kernels publish it: the 32-bit value in network byte order,
// read as a little-endian number, in decimal.
uint32_t IpValue(uint32_t networkAddress)
{
    unsigned char bytes[4];
    memcpy(bytes, &networkAddress, 4);
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

void CopyOut(const CString &text, char *buffer, int32_t size)
{
    if (!buffer || size < 1) return;
    const size_t length = plat::GbkCutLength(text, static_cast<size_t>(size - 1));
    memcpy(buffer, text.GetString(), length);
    buffer[length] = '\0';
}

uint32_t Now()
{
    return plat::GetTickCount();
}

} // namespace

struct CDSKernel::_Impl final : CNetMsgServer {
    struct MainNode {
        NETPID id;
        CString name;
        uint32_t tick;
    };
    struct Callback {
        DS_CALLBACK function;
        void *param;
        int32_t id;
    };

    explicit _Impl(int32_t port) : CNetMsgServer(nullptr, port), hbTick(Now() - kHeartBeatGap) {}

    int32_t LockServer(int32_t on) override
    {
        if (on)
            lock.Lock();
        else
            lock.Unlock();
        return 1;
    }

    int32_t OnIdle() override
    {
        SendHeartBeat();
        return 1;
    }

    int32_t OnRecvMessage(tagNetMsgHeader &header, uint32_t from, const char **args) override;

    // Under the lock.
    MainNode *FindMainNode(const char *name)
    {
        for (MainNode &node : mainNodes)
            if (node.name.CompareNoCase(name ? name : "") == 0) return &node;
        return nullptr;
    }
    bool IsMainNode(const char *name)
    {
        std::lock_guard<CDataLock> lk(lock);
        MainNode *node = FindMainNode(name);
        return node && node->id == GetCurrentNetProcessID();
    }
    CString JoinedGroups() const
    {
        CString joined;
        for (const CString &group : groups) {
            if (!joined.IsEmpty()) joined += ';';
            joined += group;
        }
        return joined;
    }
    std::vector<NETPID> ProcessesOf(int32_t node)
    {
        std::lock_guard<CDataLock> lk(lock);
        std::vector<NETPID> list;
        for (const CKeyEnv::Process &p : env.Processes())
            if (node == 0 || p.id.node == static_cast<uint32_t>(node)) list.push_back(p.id);
        return list;
    }
    std::vector<int32_t> Nodes()
    {
        std::lock_guard<CDataLock> lk(lock);
        std::vector<int32_t> nodes;
        for (const CKeyEnv::Process &p : env.Processes()) {
            const int32_t node = static_cast<int32_t>(p.id.node);
            if (node && std::find(nodes.begin(), nodes.end(), node) == nodes.end())
                nodes.push_back(node);
        }
        return nodes;
    }

    void ReceiveEnv(const tagNetMsgHeader &header, const char **args, bool added);
    void Answer(const tagNetMsgHeader &request, int32_t param1, int32_t param2, const char **args);
    void Publish(int32_t create, int32_t heartbeat);
    // The kernel's own event, to the callbacks in the shape of a command-48 message.
    void RaiseEvent(const char *name, const NETPID *process);
    void CallBackInvoke(tagNetMsgHeader &header, const char **args);

    // Whether a heartbeat request went out.
    bool SendHeartBeat();
    void HeartBeat(bool wait);
    void HeartBeatFirst(int32_t mode)
    {
        if (mode == 0 && IsActive()) HeartBeat(true);
    }
    uint32_t RecvHeartBeat(uint32_t before, uint32_t limit);
    // Drops the silent processes and tells the callbacks when any went.
    void Purge();
    // GROUP becomes the groups joined by ";" (cut to 128 characters); the environment is
    // published with the create flag.
    void PublishGroups()
    {
        {
            std::lock_guard<CDataLock> lk(lock);
            const CString joined = JoinedGroups();
            const CString text(joined, static_cast<int>(plat::GbkCutLength(joined, kGroupText)));
            env.Store(env.FindOrAdd(GetCurrentNetProcessID(), Now()), env.AddKey("GROUP"), text,
                      Now());
        }
        Publish(1, 0);
    }

    std::vector<MainNode> mainNodes;
    std::vector<CString> groups;
    CKeyEnv env;
    std::vector<Callback> callbacks;
    int32_t nextCallback = 100;
    CCallGate gate; // calls into callbacks in progress, by id
    CDSClient client;
    CDataLock lock; // guards every table and the heartbeat tick
    uint32_t hbTick;
};

int32_t CDSKernel::_Impl::OnRecvMessage(tagNetMsgHeader &header, uint32_t from, const char **args)
{
    if (header.channel != 0) return 1;
    const NETPID self = GetCurrentNetProcessID();
    const char *first = args[0];
    bool added = false;
    {
        std::lock_guard<CDataLock> lk(lock);
        const uint32_t now = Now();
        CKeyEnv::Process &sender = env.FindOrAdd(header.sender, now, &added);
        sender.heard = now;
        char ip[16];
        snprintf(ip, sizeof ip, "%u", IpValue(from));
        env.Store(sender, env.FindKey("IP"), ip, now);
    }
    switch (header.command) {
    case DS_PUB_MAIN_INFO:
        if (first) {
            std::lock_guard<CDataLock> lk(lock);
            const NETPID main{static_cast<uint32_t>(header.param1),
                              static_cast<uint32_t>(header.param2)};
            if (MainNode *node = FindMainNode(first))
                *node = {main, node->name, Now()};
            else
                mainNodes.push_back({main, first, Now()});
        }
        break;
    case DS_RPUB_MAIN_INFO:
        if (first && IsMainNode(first)) client.PubMainInfo(first, self);
        break;
    case DS_GETS_MAIN_APPLY:
        Answer(header, IsMainNode(first) ? -1 : static_cast<int32_t>(self.node + self.pid), 0,
               nullptr);
        break;
    case DS_GET_MAIN_INFO: {
        const bool mine = IsMainNode(first);
        Answer(header, mine ? static_cast<int32_t>(self.node) : 0,
               mine ? static_cast<int32_t>(self.pid) : 0, nullptr);
        break;
    }
    case DS_PUB_PID_INFO:
        ReceiveEnv(header, args, added);
        break;
    case DS_RPUB_PID_INFO:
        Publish(header.param1, 1);
        break;
    case DS_GET_PID_INFO: {
        CString value;
        CKeyEnv::Found found;
        {
            std::lock_guard<CDataLock> lk(lock);
            found = env.Lookup(self, first, self, Now(), value);
        }
        const char *answer[] = {value, nullptr};
        Answer(header, 0, 0, found == CKeyEnv::Found::None ? nullptr : answer);
        break;
    }
    case DS_POST_NET_MSG: {
        CString joined;
        {
            std::lock_guard<CDataLock> lk(lock);
            joined = JoinedGroups();
        }
        if (DsGroupFilterMet(first, joined)) CallBackInvoke(header, args);
        break;
    }
    case DS_POST_QUIT_MSG: {
        {
            std::lock_guard<CDataLock> lk(lock);
            env.Remove(header.sender);
        }
        RaiseEvent("PID_DEL", &header.sender);
        break;
    }
    default:
        break;
    }
    return 1;
}

void CDSKernel::_Impl::ReceiveEnv(const tagNetMsgHeader &header, const char **args, bool added)
{
    bool changed = false;
    {
        std::lock_guard<CDataLock> lk(lock);
        const uint32_t now = Now();
        if (header.param2 == 1) hbTick = now;
        // This process's own values are set here only: an echo of an older publication
        // must not overwrite a newer value.
        CKeyEnv::Process *sender = env.Find(header.sender);
        if (sender && !(header.sender == GetCurrentNetProcessID())) {
            for (int i = 0; args[i] && args[i + 1]; i += 2) {
                int key = env.FindKey(args[i]);
                if (key < 0) {
                    if (!header.param1 || !*args[i]) continue;
                    key = env.AddKey(args[i]);
                }
                changed = env.Store(*sender, key, args[i + 1], now) || changed;
            }
        }
    }
    if (added)
        RaiseEvent("PID_ADD", &header.sender);
    else if (changed)
        RaiseEvent("PID_UPDATE", &header.sender);
}

void CDSKernel::_Impl::Answer(const tagNetMsgHeader &request, int32_t param1, int32_t param2,
                              const char **args)
{
    tagNetMsgHeader answer;
    answer.param1 = param1;
    answer.param2 = param2;
    client.Ack(&request, &answer, args);
}

void CDSKernel::_Impl::Publish(int32_t create, int32_t heartbeat)
{
    std::vector<CString> keys;
    std::vector<CString> values;
    {
        std::lock_guard<CDataLock> lk(lock);
        const CKeyEnv::Process &own = env.FindOrAdd(GetCurrentNetProcessID(), Now());
        const std::vector<CKeyEnv::Key> &table = env.Keys();
        for (size_t k = 0; k < table.size() && k < own.values.size(); ++k) {
            if (table[k].name.CompareNoCase("IP") == 0 || own.values[k].text.IsEmpty()) continue;
            keys.push_back(table[k].name);
            values.push_back(own.values[k].text);
        }
    }
    std::vector<const char *> keyList;
    std::vector<const char *> valueList;
    for (size_t i = 0; i < keys.size(); ++i) {
        keyList.push_back(keys[i]);
        valueList.push_back(values[i]);
    }
    keyList.push_back(nullptr);
    valueList.push_back(nullptr);
    client.PubPIDInfo(keyList.data(), valueList.data(), create, heartbeat);
}

void CDSKernel::_Impl::RaiseEvent(const char *name, const NETPID *process)
{
    char pid[kPidText] = "";
    if (process) NETPID_ntos(*process, pid, kPidText);
    CString text;
    text.Format("<Evt=\"%s\"  Param=\"%s\">", name, pid);
    tagNetMsgHeader header;
    const char *args[] = {"", NETMSG_DS_CORE, text, nullptr};
    CallBackInvoke(header, args);
}

void CDSKernel::_Impl::CallBackInvoke(tagNetMsgHeader &header, const char **args)
{
    // Ids grow in registration order: the next callback is the first with a larger id,
    // whatever was added or removed meanwhile.
    int32_t last = 0;
    for (;;) {
        Callback callback;
        {
            std::lock_guard<CDataLock> lk(lock);
            auto it = std::find_if(callbacks.begin(), callbacks.end(),
                                   [last](const Callback &c) { return c.id > last; });
            if (it == callbacks.end()) return;
            callback = *it;
            gate.Enter(static_cast<uint32_t>(callback.id));
        }
        last = callback.id;
        CCallGate::Pass pass(gate, static_cast<uint32_t>(callback.id), std::adopt_lock);
        callback.function(callback.param, header, args);
    }
}

bool CDSKernel::_Impl::SendHeartBeat()
{
    {
        std::lock_guard<CDataLock> lk(lock);
        const int64_t gap = plat::TickDiff(Now(), hbTick);
        if ((gap < 0 ? -gap : gap) < kHeartBeatGap) return false;
    }
    if (client.RPubPIDInfo(1)) return true;
    {
        std::lock_guard<CDataLock> lk(lock);
        hbTick = Now();
    }
    Purge();
    return false;
}

void CDSKernel::_Impl::HeartBeat(bool wait)
{
    uint32_t before;
    {
        std::lock_guard<CDataLock> lk(lock);
        before = hbTick;
    }
    if (SendHeartBeat() && wait) RecvHeartBeat(before, kHeartBeatWait);
}

uint32_t CDSKernel::_Impl::RecvHeartBeat(uint32_t before, uint32_t limit)
{
    const uint32_t start = Now();
    auto elapsed = [start] { return plat::TickElapsed(start); };
    bool answered = false;
    for (int i = 0; i < kSteps && !answered && elapsed() < limit; ++i) {
        plat::Sleep(kStep);
        std::lock_guard<CDataLock> lk(lock);
        answered = hbTick != before;
    }
    if (!answered) return 0;
    // The answers come in: wait until the number of other processes, and of those that are
    // late, has settled.
    const NETPID self = GetCurrentNetProcessID();
    int others = -1;
    int late = -1;
    uint32_t settled = Now();
    for (int i = 0; i < kSteps && elapsed() < limit; ++i) {
        plat::Sleep(kStep);
        int nowOthers = 0;
        int nowLate = 0;
        {
            std::lock_guard<CDataLock> lk(lock);
            const uint32_t now = Now();
            for (const CKeyEnv::Process &p : env.Processes()) {
                if (p.id == self) continue;
                ++nowOthers;
                if (plat::TickDiff(now, p.heard) > static_cast<int32_t>(kLate)) ++nowLate;
            }
        }
        if (nowOthers != others || nowLate != late) {
            others = nowOthers;
            late = nowLate;
            settled = Now();
        } else if (plat::TickElapsed(settled) > (others == 1 ? 300u : 100u)) {
            break;
        }
    }
    Purge();
    return elapsed();
}

void CDSKernel::_Impl::Purge()
{
    int dropped;
    {
        std::lock_guard<CDataLock> lk(lock);
        dropped = env.Purge(Now(), kSilence, GetCurrentNetProcessID());
    }
    if (dropped) RaiseEvent("PID_UPDATE", nullptr);
}

CDSKernel::CDSKernel(IDSKernel **slot, int32_t port) : m_pImpl(std::make_shared<_Impl>(port))
{
    m_pImpl->client.SetServerSlot(m_pImpl->GetActivePtr());
    if (slot) {
        m_ppSlot = slot;
    } else {
        m_ppSlot = reinterpret_cast<IDSKernel **>(glNewNamedPtr(kNamedPtrType, ""));
        m_bNamedPtr = true;
    }
    if (m_ppSlot) *m_ppSlot = this;
}

CDSKernel::~CDSKernel()
{
    if (m_ppSlot && *m_ppSlot == this) *m_ppSlot = nullptr;
    if (m_bNamedPtr && m_ppSlot) glDeleteNamedPtr(reinterpret_cast<void **>(m_ppSlot));
    m_pImpl->Stop();
    m_pImpl->client.Close();
}

int32_t CDSKernel::LockServer(int32_t lock)
{
    return m_pImpl->LockServer(lock);
}

INetMsgServer *CDSKernel::GetNetMsgServ()
{
    return m_pImpl.get();
}

int32_t CDSKernel::GetNodeList(int32_t mode, int32_t *nodes, int32_t *count)
{
    if (!count) return 0;
    m_pImpl->HeartBeatFirst(mode);
    const std::vector<int32_t> found = m_pImpl->Nodes();
    const int32_t n = nodes ? std::min(*count, static_cast<int32_t>(found.size())) : 0;
    std::copy_n(found.begin(), std::max(n, 0), nodes);
    *count = std::max(n, 0);
    return *count;
}

int32_t CDSKernel::GetProcesses(int32_t mode, int32_t node, NETPID *list, int32_t *count)
{
    if (!count) return 0;
    m_pImpl->HeartBeatFirst(mode);
    const std::vector<NETPID> found = m_pImpl->ProcessesOf(node);
    const int32_t n = list ? std::min(*count, static_cast<int32_t>(found.size())) : 0;
    std::copy_n(found.begin(), std::max(n, 0), list);
    *count = std::max(n, 0);
    return *count;
}

int32_t CDSKernel::FindProcess(int32_t mode, int32_t node, NETPID *list, int32_t *count,
                               const char **keys, const char **values)
{
    if (!count) return 0;
    const int32_t capacity = list ? *count : 0;
    m_pImpl->HeartBeatFirst(mode);
    int32_t n = 0;
    for (NETPID process : m_pImpl->ProcessesOf(node)) {
        if (n >= capacity) break;
        bool match = true;
        for (int k = 0; match && keys && keys[k]; ++k) {
            char value[128];
            GetEnv(0, process, keys[k], value, sizeof value);
            match = values && values[k] && CString(value).CompareNoCase(values[k]) == 0;
        }
        if (match) list[n++] = process;
    }
    *count = n;
    return n;
}

int32_t CDSKernel::HostNameToNodeID(int32_t mode, const char *host, int32_t *)
{
    if (!host || !m_pImpl->IsActive()) return 0;
    if (CString(host).CompareNoCase("localhost") == 0)
        return static_cast<int32_t>(GetCurrentNetProcessID().node);
    uint32_t before;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        before = m_pImpl->hbTick;
    }
    const bool requested = mode == 0 && m_pImpl->SendHeartBeat();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return 0;
    CString shortName(found->ai_canonname ? found->ai_canonname : host);
    shortName = shortName.SpanExcluding(".").Left(64);
    std::vector<uint32_t> addresses;
    for (addrinfo *a = found; a; a = a->ai_next)
        addresses.push_back(IpValue(reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr.s_addr));
    freeaddrinfo(found);
    if (requested) m_pImpl->RecvHeartBeat(before, kHostWait);
    // An address of the host anywhere in the table wins over a name that only looks alike.
    const std::vector<int32_t> nodes = m_pImpl->Nodes();
    char text[130];
    for (int32_t node : nodes) {
        unsigned int ip = 0;
        if (GetNodeEnv(1, node, "IP", text, sizeof text) && sscanf(text, "%u", &ip) == 1 &&
            std::find(addresses.begin(), addresses.end(), ip) != addresses.end())
            return node;
    }
    for (int32_t node : nodes)
        if (GetNodeEnv(1, node, "HOST_NAME", text, sizeof text) &&
            shortName.CompareNoCase(text) == 0)
            return node;
    return 0;
}

int32_t CDSKernel::EnterGrp(const char *group, int32_t publish)
{
    if (!group || !*group) return 0;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        std::vector<CString> &groups = m_pImpl->groups;
        if (std::any_of(groups.begin(), groups.end(),
                        [group](const CString &g) { return g.CompareNoCase(group) == 0; }))
            return 0;
        groups.push_back(group);
    }
    if (publish) m_pImpl->PublishGroups();
    return 1;
}

int32_t CDSKernel::LeaveGrp(const char *group, int32_t publish)
{
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        const size_t removed = std::erase_if(m_pImpl->groups, [group](const CString &g) {
            return !group || g.CompareNoCase(group) == 0;
        });
        if (!removed) return 0;
    }
    if (publish) m_pImpl->PublishGroups();
    return 1;
}

int32_t CDSKernel::Quit()
{
    m_pImpl->Stop();
    m_pImpl->client.PostQuitMsg();
    return 1;
}

int32_t CDSKernel::GetMainNode(const char *, NETPID *)
{
    return 0;
}

int32_t CDSKernel::SelectMainNode(const char *, NETPID *)
{
    return 0;
}

int32_t CDSKernel::SetMainNode(const char *, NETPID *)
{
    return 0;
}

int32_t CDSKernel::GetNodeEnv(int32_t mode, int32_t node, const char *key, char *buffer,
                              int32_t size)
{
    for (NETPID process : m_pImpl->ProcessesOf(node))
        if (GetEnv(mode, process, key, buffer, size)) return 1;
    return 0;
}

int32_t CDSKernel::GetEnv(int32_t mode, NETPID &process, const char *key, char *buffer,
                          int32_t size)
{
    _Impl &impl = *m_pImpl;
    const NETPID self = GetCurrentNetProcessID();
    if (!impl.IsActive() || process == self) mode = 1;
    impl.HeartBeatFirst(mode);
    CString value;
    auto look = [&] {
        std::lock_guard<CDataLock> lk(impl.lock);
        return impl.env.Lookup(process, key, self, Now(), value);
    };
    CKeyEnv::Found found = look();
    if (found != CKeyEnv::Found::Fresh && mode == 0) {
        impl.client.RPubPIDInfo(1);
        for (int i = 0; i < kRetries && found != CKeyEnv::Found::Fresh; ++i) {
            plat::Sleep(kRetryStep);
            found = look();
        }
        if (found != CKeyEnv::Found::Fresh) {
            CString answer;
            const int asked = impl.client.AskPIDInfo(process, key, answer);
            if (asked < 0) {
                std::lock_guard<CDataLock> lk(impl.lock);
                impl.env.Remove(process);
            } else {
                // The process's own answer holds: it may have no value any more.
                value = answer;
                found = asked > 0 ? CKeyEnv::Found::Fresh : CKeyEnv::Found::None;
            }
        }
    }
    if (found == CKeyEnv::Found::None) value.Empty();
    CopyOut(value, buffer, size);
    return found == CKeyEnv::Found::None ? 0 : 1;
}

int32_t CDSKernel::SetLocalEnv(const char *key, const char *value)
{
    if (!key || !*key) return 0;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        CKeyEnv &env = m_pImpl->env;
        const int index = env.AddKey(key);
        env.Store(env.FindOrAdd(GetCurrentNetProcessID(), Now()), index, value, Now());
    }
    m_pImpl->Publish(0, 0);
    return 1;
}

int32_t CDSKernel::RegisterCallBack(void *param, DS_CALLBACK callback)
{
    if (!callback) return 0;
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    const int32_t id = m_pImpl->nextCallback++;
    m_pImpl->callbacks.push_back({callback, param, id});
    return id;
}

int32_t CDSKernel::UnregisterCallBack(int32_t id)
{
    size_t removed;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        removed = std::erase_if(m_pImpl->callbacks,
                                [id](const _Impl::Callback &c) { return c.id == id; });
    }
    m_pImpl->gate.WaitIdle(static_cast<uint32_t>(id));
    return removed ? 1 : 0;
}
