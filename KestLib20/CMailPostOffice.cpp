#include "KestLib20/CMailPostOffice.h"

#include "KestLib20/CCallGate.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/KestModule.h"
#include "KestLib20/KestNamedPtr.h"
#include "platform/Gbk.h"
#include "platform/String.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace {

constexpr uint32_t kProxyBits = 0xFFF;
constexpr uint32_t kGroupBits = 0xFFE;
constexpr int kListenerShift = 12;
constexpr int kPartLimit = 126;

constexpr int32_t kApartmentA = 1;
constexpr int32_t kApartmentAorB = 2;
constexpr int32_t kApartmentPolled = 3;
constexpr int32_t kApartmentSync = 4;

// Kinds of apartment: threaded ones (A, B and the further ones) deliver on a thread of their
// own.
constexpr int32_t kKindStopped = 0;
constexpr int32_t kKindThreaded = 1;
constexpr int32_t kKindPolled = 3;
constexpr int32_t kKindSync = 4;

struct Mail {
    CString address;
    CString text1;
    CString text2;
    CString text3;
};

CString LowerCut(const char *text, int limit)
{
    const char *t = text ? text : "";
    CString result(t, static_cast<int>(plat::GbkCutLength(t, static_cast<size_t>(limit))));
    result.MakeLower();
    return result;
}

uint32_t NameHash(const CString &name)
{
    uint32_t h = 0;
    for (int i = 0; i < name.GetLength(); ++i) h = (h + static_cast<unsigned char>(name[i])) * 4;
    return h % CMailPostOffice::kBuckets;
}

bool IsMailTo(const CString &address)
{
    return strncmp(address, "mailto:", 7) == 0;
}

} // namespace

struct CMailPostOffice::Apartment {
    struct Box {
        CString name;
        uint32_t number;
        std::vector<tagMailListener> listeners;
    };

    Apartment(int32_t apartmentId, int32_t apartmentKind) : id(apartmentId), kind(apartmentKind) {}

    bool IsThreaded() const
    {
        return kind != kKindStopped && kind != kKindPolled && kind != kKindSync;
    }

    Box *FindBox(const CString &name)
    {
        for (Box &box : buckets[NameHash(name)])
            if (box.name == name) return &box;
        return nullptr;
    }

    bool Accepts(const CString &address)
    {
        // Only the ":" of "mailto:" is tested for acceptance; delivery tests the prefix.
        const bool proxied = address.GetLength() > 6 && address[6] == ':' && !proxy.empty();
        return !group.empty() || proxied || FindBox(address);
    }

    // The listeners a mail to `address` reaches, in calling order.
    void Collect(const CString &address, std::vector<tagMailListener> &out)
    {
        auto add = [&out](const std::vector<tagMailListener> &list) {
            for (const tagMailListener &l : list)
                if (l.param && l.handler) out.push_back(l);
        };
        if (IsMailTo(address)) {
            add(proxy);
        } else if (Box *box = FindBox(address)) {
            add(box->listeners);
        }
        add(group);
    }

    // Removes the listener of that id (every listener for an id below 1), appending the ids
    // removed; whether one was removed.
    bool Remove(int32_t listenerId, std::vector<int32_t> &removed)
    {
        auto take = [&](std::vector<tagMailListener> &list) {
            for (auto it = list.begin(); it != list.end();) {
                if (listenerId < 1 || it->id == listenerId) {
                    removed.push_back(it->id);
                    it = list.erase(it);
                    if (listenerId >= 1) return true;
                } else {
                    ++it;
                }
            }
            return false;
        };
        // A box stays when its last listener goes: mail to its name is still queued here.
        for (std::vector<Box> &bucket : buckets)
            for (Box &box : bucket)
                if (take(box.listeners)) return true;
        return take(group) || take(proxy) || (listenerId < 1 && !removed.empty());
    }

    const int32_t id;
    int32_t kind;
    std::deque<Mail> queue;
    std::array<std::vector<Box>, kBuckets> buckets;
    std::vector<tagMailListener> group;
    std::vector<tagMailListener> proxy;
    plat::Event event; // auto-reset: mail was queued, or the apartment stops
    plat::Thread thread;
    uint32_t generation = 0; // of the delivery thread that may run; 0 when none
    uint32_t lastGeneration = 0;
};

struct CMailPostOffice::State {
    using ApartmentPtr = std::shared_ptr<Apartment>;

    State()
        : a(std::make_shared<Apartment>(kApartmentA, kKindThreaded)),
          b(std::make_shared<Apartment>(kApartmentAorB, kKindThreaded)),
          sync(std::make_shared<Apartment>(kApartmentSync, kKindSync)),
          polled(std::make_shared<Apartment>(kApartmentPolled, kKindPolled))
    {
    }

    // Under the lock. Apartment 2 names the one of A and B with fewer queued mails.
    Apartment *Find(int32_t id)
    {
        switch (id) {
        case kApartmentA:
            return a.get();
        case kApartmentAorB:
            return b->queue.size() < a->queue.size() ? b.get() : a.get();
        case kApartmentPolled:
            return polled.get();
        case kApartmentSync:
            return sync.get();
        default:
            for (const ApartmentPtr &apartment : further)
                if (apartment->id == id) return apartment.get();
            return nullptr;
        }
    }

    // Under the lock: the apartments a removal searches. Apartment 2 searches both A and B,
    // since a listener added with it may live in either.
    std::vector<Apartment *> Searched(int32_t id)
    {
        if (id == kApartmentAorB) return {a.get(), b.get()};
        if (id) {
            Apartment *apartment = Find(id);
            return apartment ? std::vector<Apartment *>{apartment} : std::vector<Apartment *>{};
        }
        std::vector<Apartment *> all{a.get(), b.get(), sync.get(), polled.get()};
        for (const ApartmentPtr &apartment : further) all.push_back(apartment.get());
        return all;
    }

    // Under the lock: the listeners for `address` in `apartment`, each marked as called.
    std::vector<tagMailListener> Enter(Apartment &apartment, const CString &address)
    {
        std::vector<tagMailListener> targets;
        apartment.Collect(address, targets);
        for (const tagMailListener &l : targets) gate.Enter(static_cast<uint32_t>(l.id));
        return targets;
    }

    // Without the lock: calls the listeners that Enter gave.
    void Call(const std::vector<tagMailListener> &targets, const Mail &mail)
    {
        for (const tagMailListener &l : targets) {
            CCallGate::Pass pass(gate, static_cast<uint32_t>(l.id), std::adopt_lock);
            l.handler(l.param, l.id, mail.address, mail.text1, mail.text2, mail.text3);
        }
    }

    // Under the lock.
    void Push(const std::shared_ptr<State> &self, const ApartmentPtr &apartment, const Mail &mail)
    {
        if (apartment->kind == kKindStopped || !apartment->Accepts(mail.address)) return;
        apartment->queue.push_back(mail);
        while (apartment->queue.size() > static_cast<size_t>(kQueueLimit))
            apartment->queue.pop_front();
        apartment->event.Set();
        if (apartment->IsThreaded() && !apartment->generation) StartThread(self, apartment);
    }

    // Under the lock. A thread that ended by itself decided so under this lock and touches
    // nothing after, so its handle is just dropped.
    static void StartThread(const std::shared_ptr<State> &self, const ApartmentPtr &apartment)
    {
        const uint32_t generation = ++apartment->lastGeneration;
        apartment->generation = generation;
        apartment->thread.StopWithin(0, 0);
        apartment->thread = plat::Thread::Start([self, apartment, generation] {
            self->Serve(*apartment, generation);
            return 0u;
        });
        if (!apartment->thread.Valid()) apartment->generation = 0;
    }

    // The delivery thread: delivers the queued mails in order and ends after kIdleEnd ms
    // without mail (the next mail starts a new thread) or when the apartment stops.
    void Serve(Apartment &apartment, uint32_t generation)
    {
        bool idle = false;
        for (;;) {
            Mail mail;
            std::vector<tagMailListener> targets;
            bool got = false;
            {
                std::lock_guard<CDataLock> lk(lock);
                if (apartment.generation != generation) return;
                if (!apartment.queue.empty()) {
                    mail = std::move(apartment.queue.front());
                    apartment.queue.pop_front();
                    targets = Enter(apartment, mail.address);
                    got = true;
                } else if (idle) {
                    apartment.generation = 0;
                    return;
                }
            }
            if (got) {
                Call(targets, mail);
                idle = false;
            } else {
                idle = apartment.event.Wait(kIdleEnd) == plat::WAIT_TIMEOUT;
            }
        }
    }

    // Under the lock: the apartment delivers nothing more; its thread handle is handed back
    // for the bounded wait outside the lock.
    static plat::Thread Stop(Apartment &apartment)
    {
        apartment.kind = kKindStopped;
        apartment.queue.clear();
        apartment.generation = 0;
        apartment.event.Set();
        return std::move(apartment.thread);
    }

    CDataLock lock;
    ApartmentPtr a;
    ApartmentPtr b;
    ApartmentPtr sync;
    ApartmentPtr polled;
    std::vector<ApartmentPtr> further; // in the order they were made
    uint32_t listenerCounter = 100;
    uint32_t boxCounter = 100;
    volatile int32_t apartmentCounter = 100;
    CCallGate gate; // calls into listeners in progress, by listener id
};

IMailPostOffice *IMailPostOffice::GetMailPostOffice()
{
    void **slot = glGetMainNamedPtr(kNamedPtrType);
    if (!slot) slot = glGetNamedPtr(kNamedPtrType, "");
    return slot ? static_cast<IMailPostOffice *>(ServiceIn(slot)) : nullptr;
}

int32_t glSendTextMail(const char *address, const char *text1, const char *text2, const char *text3)
{
    IMailPostOffice *office = IMailPostOffice::GetMailPostOffice();
    return office ? office->SendMail(address, text1, text2, text3) : 0;
}

CMailPostOffice::CMailPostOffice()
    : m_pState(std::make_shared<State>()), m_ppSlot(glNewNamedPtr(kNamedPtrType, ""))
{
    if (!m_ppSlot) return;
    __atomic_store_n(m_ppSlot, static_cast<IMailPostOffice *>(this), __ATOMIC_RELEASE);
    glSetMainNamedPtr(kNamedPtrType, m_ppSlot);
}

CMailPostOffice::~CMailPostOffice()
{
    if (m_ppSlot) {
        __atomic_store_n(m_ppSlot, nullptr, __ATOMIC_RELEASE);
        glDeleteNamedPtr(m_ppSlot);
    }
    std::vector<plat::Thread> threads;
    {
        std::lock_guard<CDataLock> lk(m_pState->lock);
        for (Apartment *apartment : m_pState->Searched(0))
            threads.push_back(State::Stop(*apartment));
    }
    for (plat::Thread &thread : threads) thread.StopWithin(kStopBound, 0);
}

HRESULT CMailPostOffice::QueryInterface(const GUID *iid, void **object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!iid || !(*iid == IID_IMailPostOffice || *iid == IID_IUnknown)) return E_NOINTERFACE;
    *object = static_cast<IMailPostOffice *>(this);
    AddRef();
    return S_OK;
}

uint32_t CMailPostOffice::AddRef()
{
    return static_cast<uint32_t>(plat::InterlockedIncrement(&m_nRef));
}

uint32_t CMailPostOffice::Release()
{
    return static_cast<uint32_t>(plat::InterlockedDecrement(&m_nRef));
}

int32_t CMailPostOffice::LockServer(int32_t lock)
{
    if (lock)
        m_pState->lock.Lock();
    else
        m_pState->lock.Unlock();
    return 1;
}

int32_t CMailPostOffice::SendMail(const char *address, const char *text1, const char *text2,
                                  const char *text3)
{
    const Mail mail{LowerCut(address, kNameLimit), text1, text2, text3};
    State &state = *m_pState;
    std::vector<tagMailListener> sync;
    {
        std::lock_guard<CDataLock> lk(state.lock);
        for (const State::ApartmentPtr &apartment : state.further)
            state.Push(m_pState, apartment, mail);
        state.Push(m_pState, state.a, mail);
        state.Push(m_pState, state.b, mail);
        sync = state.Enter(*state.sync, mail.address);
        state.Push(m_pState, state.polled, mail);
    }
    state.Call(sync, mail);
    return 1;
}

int32_t CMailPostOffice::AddListener(const char *name, tagMailListener *listener)
{
    if (!listener) return 0;
    const CString box = LowerCut(name, kNameLimit);
    State &state = *m_pState;
    std::lock_guard<CDataLock> lk(state.lock);
    Apartment *apartment = state.Find(listener->apartment);
    if (!apartment) return 0;
    std::vector<tagMailListener> *list;
    uint32_t where; // the id's low bits: the list, or the number of the box
    if (box == "proxy") {
        list = &apartment->proxy;
        where = kProxyBits;
    } else if (box == "_group") {
        list = &apartment->group;
        where = kGroupBits;
    } else {
        Apartment::Box *found = apartment->FindBox(box);
        if (!found) {
            found = &apartment->buckets[NameHash(box)].emplace_back(
                Apartment::Box{box, ++state.boxCounter, {}});
        }
        list = &found->listeners;
        // Only informative: the upper bits make the id unique.
        where = found->number & 0xFFFu;
    }
    listener->id = static_cast<int32_t>(++state.listenerCounter << kListenerShift | where);
    list->push_back(*listener);
    return listener->id;
}

int32_t CMailPostOffice::RemoveListener(int32_t listenerId, int32_t apartmentId)
{
    State &state = *m_pState;
    std::vector<int32_t> removed;
    {
        std::lock_guard<CDataLock> lk(state.lock);
        for (Apartment *apartment : state.Searched(apartmentId))
            if (apartment->Remove(listenerId, removed) && listenerId >= 1) break;
    }
    for (int32_t id : removed) state.gate.WaitIdle(static_cast<uint32_t>(id));
    return 1;
}

int32_t CMailPostOffice::ApplyListener(char *name, int32_t size, tagMailListener *listener)
{
    if (!listener) return 0;
    const CString base = LowerCut(name, kNameLimit);
    State &state = *m_pState;
    std::lock_guard<CDataLock> lk(state.lock);
    Apartment *apartment = state.Find(listener->apartment);
    if (!apartment) return 0;
    CString free;
    for (uint32_t n = plat::GetTickCount() % 257;; ++n) {
        free.Format("%s_%x", base.GetString(), n);
        if (!apartment->FindBox(free)) break;
    }
    if (name && size > 0) {
        const size_t length = plat::GbkCutLength(free, static_cast<size_t>(size - 1));
        memcpy(name, free.GetString(), length);
        name[length] = '\0';
    }
    // Apartment 2 resolves to the same apartment again while the lock is held.
    return AddListener(free, listener);
}

int32_t CMailPostOffice::EnumMailBox(const char *prefix, int32_t mode, char *buffer, int32_t size)
{
    if (!buffer || size < 1) return 0;
    buffer[0] = '\0';
    CString head = LowerCut(prefix, kNameLimit);
    if (!head.IsEmpty()) head += '.';
    int32_t written = 0;
    State &state = *m_pState;
    std::lock_guard<CDataLock> lk(state.lock);
    for (Apartment *apartment : state.Searched(0)) {
        std::vector<CString> parts; // what this apartment wrote
        for (const std::vector<Apartment::Box> &bucket : apartment->buckets) {
            for (const Apartment::Box &box : bucket) {
                if (strncmp(box.name, head, static_cast<size_t>(head.GetLength())) != 0) continue;
                CString part = box.name.Mid(head.GetLength());
                const int dot = part.Find('.');
                if ((mode == 0) != (dot < 0)) continue;
                if (dot >= 0) part = part.Left(dot);
                part = part.Left(static_cast<int>(plat::GbkCutLength(part, kPartLimit)));
                if (part.IsEmpty() || std::find(parts.begin(), parts.end(), part) != parts.end())
                    continue;
                if (written + part.GetLength() + 1 > size - 1) return 0;
                memcpy(buffer + written, part.GetString(), static_cast<size_t>(part.GetLength()));
                written += part.GetLength();
                buffer[written++] = ';';
                buffer[written] = '\0';
                parts.push_back(part);
            }
        }
    }
    return 0;
}

int32_t CMailPostOffice::NewApartment()
{
    const int32_t id = plat::InterlockedIncrement(&m_pState->apartmentCounter);
    auto apartment = std::make_shared<Apartment>(id, id);
    std::lock_guard<CDataLock> lk(m_pState->lock);
    m_pState->further.push_back(apartment);
    return id;
}

int32_t CMailPostOffice::DeleteApartment(int32_t id)
{
    plat::Thread thread;
    {
        std::lock_guard<CDataLock> lk(m_pState->lock);
        auto &further = m_pState->further;
        auto it = std::find_if(further.begin(), further.end(),
                               [id](const State::ApartmentPtr &a) { return a->id == id; });
        if (it == further.end()) return 0;
        thread = State::Stop(**it);
        further.erase(it);
    }
    thread.StopWithin(kStopBound, 0);
    return 1;
}

int32_t CMailPostOffice::OnMailThrdIdle()
{
    State &state = *m_pState;
    Mail mail;
    std::vector<tagMailListener> targets;
    {
        std::lock_guard<CDataLock> lk(state.lock);
        std::deque<Mail> &queue = state.polled->queue;
        if (queue.empty()) return 0;
        mail = std::move(queue.front());
        queue.pop_front();
        targets = state.Enter(*state.polled, mail.address);
    }
    state.Call(targets, mail);
    return 1;
}
