// The simulated card: line levels in a state block (the process's own, or a file mapped by
// every process that attaches it), open handles and their event settings in a table of this
// process. Line levels are atomics, so programs sharing the block need no lock of their own.
#include "gpi/adsapi/Adsapi32.h"
#include "gpi/adsapi/DioSim.h"

#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kMagic = 0x44494F31; // "DIO1"
constexpr uint32_t kPollMs = 10;

struct CardLines {
    std::atomic<uint32_t> changes; // input changes so far: what events count
    std::atomic<uint32_t> inputs[DRV_PORTS];
    std::atomic<uint32_t> outputs[DRV_PORTS];
};

// Lives in shared memory when attached: atomics of fixed size, no pointers.
struct StateBlock {
    std::atomic<uint32_t> magic;
    std::atomic<uint32_t> cards;
    CardLines card[DIOSIM_MAX_CARDS];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

struct Handle {
    uint16_t card = 0;
    bool eventEnabled = false;
    uint16_t eventCount = 0;
    uint32_t eventBase = 0;
};

struct WriteHook {
    DioSimWriteHook function = nullptr;
    void *context = nullptr;
};

struct Simulator {
    StateBlock own{};
    std::atomic<StateBlock *> state{&own};
    void *mapping = nullptr;

    std::mutex lock; // handles, hook, attach
    std::map<uint32_t, Handle> handles;
    uint32_t nextHandle = 1;
    WriteHook hook;
    std::atomic<uint32_t> faults[DIOSIM_CALLS] = {};
    std::atomic<uint32_t> calls[DIOSIM_CALLS] = {};

    Simulator() { own.cards = 1; }
};

int AttachTo(Simulator &sim, const char *path);

Simulator &Sim()
{
    // Never destroyed: a thread given up by its owner may still call in while the process
    // ends.
    static auto *sim = [] {
        auto *s = new Simulator;
        std::string path;
        if (plat::GetEnv("KEST_DIO_CARD", &path) && !path.empty()) AttachTo(*s, path.c_str());
        return s;
    }();
    return *sim;
}

StateBlock &State()
{
    return *Sim().state.load();
}

// Counts the call and gives the fault set for its kind (0 for none).
uint32_t Fault(DioSimCall call)
{
    ++Sim().calls[call];
    return Sim().faults[call].load();
}

// The card of an open handle, or null.
CardLines *CardOf(uint32_t handle)
{
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    auto it = sim.handles.find(handle);
    return it == sim.handles.end() ? nullptr : &State().card[it->second.card];
}

// The checks every port call makes; 0 with `lines` set when the call may go on.
uint32_t PortCall(uint32_t handle, const void *param, uint16_t port, CardLines **lines)
{
    if (uint32_t code = Fault(DIOSIM_IO)) return code;
    if (!param) return DRV_ERR_INVALID_PARAM;
    *lines = CardOf(handle);
    if (!*lines) return DRV_ERR_INVALID_HANDLE;
    if (port >= DRV_PORTS) return DRV_ERR_INVALID_PORT;
    return DRV_OK;
}

uint32_t WriteOutputs(CardLines *lines, uint16_t port, uint8_t mask, uint8_t levels)
{
    std::atomic<uint32_t> &out = lines->outputs[port];
    uint32_t before = out.load();
    while (!out.compare_exchange_weak(before, (before & ~mask) | (levels & mask))) {
    }
    const uint32_t after = (before & ~mask) | (levels & mask);
    Simulator &sim = Sim();
    WriteHook hook;
    {
        std::lock_guard<std::mutex> lk(sim.lock);
        hook = sim.hook;
    }
    const auto card = static_cast<uint16_t>(lines - State().card);
    if (hook.function)
        hook.function(hook.context, card, port, static_cast<uint8_t>(before),
                      static_cast<uint8_t>(after));
    return DRV_OK;
}

bool ValidLine(uint16_t card, uint16_t port, uint16_t bit)
{
    return card < DIOSIM_MAX_CARDS && port < DRV_PORTS && bit < 8;
}

void ClearLines(StateBlock &block, uint16_t cards)
{
    block.cards = std::min<uint16_t>(cards, DIOSIM_MAX_CARDS);
    for (CardLines &card : block.card) {
        card.changes = 0;
        for (auto &in : card.inputs) in = 0;
        for (auto &out : card.outputs) out = 0;
    }
}

int AttachTo(Simulator &sim, const char *path)
{
    std::lock_guard<std::mutex> lk(sim.lock);
    if (!path) {
        sim.state = &sim.own;
        return 1;
    }
    const int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return 0;
    struct stat st {};
    const bool fresh = ::fstat(fd, &st) == 0 && st.st_size < static_cast<off_t>(sizeof(StateBlock));
    if (fresh && ::ftruncate(fd, sizeof(StateBlock)) != 0) {
        ::close(fd);
        return 0;
    }
    void *mapping = ::mmap(nullptr, sizeof(StateBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED) return 0;
    auto *block = static_cast<StateBlock *>(mapping);
    if (block->magic.load() != kMagic) {
        ClearLines(*block, 1);
        block->magic = kMagic;
    }
    // An earlier mapping stays: a thread may still read through it.
    sim.state = block;
    return 1;
}

} // namespace

extern "C" {

uint32_t DRV_DeviceGetNumOfList(int16_t *count)
{
    if (!count) return DRV_ERR_INVALID_PARAM;
    if (uint32_t code = Fault(DIOSIM_GETNUM)) return code;
    *count = static_cast<int16_t>(State().cards.load());
    return DRV_OK;
}

uint32_t DRV_DeviceGetList(DRV_DEVLIST *entries, int16_t maxEntries, int16_t *count)
{
    if (!entries || !count || maxEntries < 0) return DRV_ERR_INVALID_PARAM;
    if (uint32_t code = Fault(DIOSIM_GETLIST)) return code;
    const int16_t n = std::min<int16_t>(maxEntries, static_cast<int16_t>(State().cards.load()));
    for (int16_t i = 0; i < n; ++i) {
        std::memset(&entries[i], 0, sizeof entries[i]);
        entries[i].deviceNum = static_cast<uint32_t>(i);
        std::snprintf(entries[i].deviceName, sizeof entries[i].deviceName, "DIO card %d", i);
        entries[i].subdevices = 0;
    }
    *count = n;
    return DRV_OK;
}

uint32_t DRV_DeviceOpen(uint32_t deviceNum, uint32_t *handle)
{
    if (!handle) return DRV_ERR_INVALID_PARAM;
    if (uint32_t code = Fault(DIOSIM_OPEN)) return code;
    if (deviceNum >= State().cards.load()) return DRV_ERR_NO_DEVICE;
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    *handle = sim.nextHandle++;
    sim.handles[*handle].card = static_cast<uint16_t>(deviceNum);
    return DRV_OK;
}

uint32_t DRV_DeviceClose(uint32_t *handle)
{
    if (!handle) return DRV_ERR_INVALID_PARAM;
    if (uint32_t code = Fault(DIOSIM_CLOSE)) return code;
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    if (sim.handles.erase(*handle) == 0) return DRV_ERR_INVALID_HANDLE;
    *handle = 0;
    return DRV_OK;
}

uint32_t DRV_GetErrorMessage(uint32_t code, char *text)
{
    if (!text) return DRV_ERR_INVALID_PARAM;
    static const std::map<uint32_t, const char *> kTexts = {
        {DRV_OK, "Success"},
        {DRV_ERR_NO_DEVICE, "No such device"},
        {DRV_ERR_INVALID_HANDLE, "Invalid driver handle"},
        {DRV_ERR_INVALID_PARAM, "Invalid input parameter"},
        {DRV_ERR_INVALID_PORT, "Invalid port number"},
        {DRV_ERR_EVENT_TYPE, "Invalid event type"},
        {DRV_ERR_EVENT_DISABLED, "Event not enabled"},
        {DRV_ERR_EVENT_TIMEOUT, "Event time-out"},
        {DRV_ERR_DEVICE_FAULT, "Device not responding"},
    };
    auto it = kTexts.find(code);
    if (it != kTexts.end())
        std::snprintf(text, 80, "%s", it->second);
    else
        std::snprintf(text, 80, "Unknown error 0x%X", code);
    return DRV_OK;
}

uint32_t DRV_DioWritePortByte(uint32_t handle, DRV_PORTBYTE_WRITE *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    return WriteOutputs(lines, param->port, static_cast<uint8_t>(param->mask),
                        static_cast<uint8_t>(param->state));
}

uint32_t DRV_DioWriteBit(uint32_t handle, DRV_BIT_WRITE *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    if (param->bit > 7) return DRV_ERR_INVALID_PARAM;
    const auto mask = static_cast<uint8_t>(1u << param->bit);
    return WriteOutputs(lines, param->port, mask, param->state ? mask : 0);
}

uint32_t DRV_DioReadPortByte(uint32_t handle, DRV_PORTBYTE_READ *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    if (!param->value) return DRV_ERR_INVALID_PARAM;
    *param->value = static_cast<uint16_t>(lines->inputs[param->port].load() & 0xFF);
    return DRV_OK;
}

uint32_t DRV_DioReadBit(uint32_t handle, DRV_BIT_READ *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    if (!param->state || param->bit > 7) return DRV_ERR_INVALID_PARAM;
    *param->state = static_cast<uint16_t>((lines->inputs[param->port].load() >> param->bit) & 1);
    return DRV_OK;
}

uint32_t DRV_DioGetCurrentDOByte(uint32_t handle, DRV_PORTBYTE_READ *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    if (!param->value) return DRV_ERR_INVALID_PARAM;
    *param->value = static_cast<uint16_t>(lines->outputs[param->port].load() & 0xFF);
    return DRV_OK;
}

uint32_t DRV_DioGetCurrentDOBit(uint32_t handle, DRV_BIT_READ *param)
{
    CardLines *lines = nullptr;
    if (uint32_t code = PortCall(handle, param, param ? param->port : 0, &lines)) return code;
    if (!param->state || param->bit > 7) return DRV_ERR_INVALID_PARAM;
    *param->state = static_cast<uint16_t>((lines->outputs[param->port].load() >> param->bit) & 1);
    return DRV_OK;
}

uint32_t DRV_EnableEvent(uint32_t handle, DRV_EVENT_ENABLE *param)
{
    if (!param) return DRV_ERR_INVALID_PARAM;
    if (uint32_t code = Fault(DIOSIM_EVENT)) return code;
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    auto it = sim.handles.find(handle);
    if (it == sim.handles.end()) return DRV_ERR_INVALID_HANDLE;
    if (param->eventType != DRV_EVENT_INPUT_CHANGE) return DRV_ERR_EVENT_TYPE;
    if (param->enabled && param->count == 0) return DRV_ERR_INVALID_PARAM;
    Handle &h = it->second;
    h.eventEnabled = param->enabled != 0;
    h.eventCount = param->count;
    h.eventBase = State().card[h.card].changes.load();
    return DRV_OK;
}

uint32_t DRV_CheckEvent(uint32_t handle, DRV_EVENT_CHECK *param)
{
    if (uint32_t code = Fault(DIOSIM_CHECK)) return code;
    if (!param || !param->eventType) return DRV_ERR_INVALID_PARAM;
    Simulator &sim = Sim();
    const uint32_t start = plat::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(sim.lock);
            auto it = sim.handles.find(handle);
            if (it == sim.handles.end()) return DRV_ERR_INVALID_HANDLE;
            Handle &h = it->second;
            if (!h.eventEnabled) return DRV_ERR_EVENT_DISABLED;
            if (State().card[h.card].changes.load() - h.eventBase >= h.eventCount) {
                h.eventBase += h.eventCount;
                *param->eventType = DRV_EVENT_INPUT_CHANGE;
                return DRV_OK;
            }
        }
        const uint32_t waited = plat::TickElapsed(start);
        if (waited >= param->milliseconds) return DRV_ERR_EVENT_TIMEOUT;
        plat::Sleep(std::min(kPollMs, param->milliseconds - waited));
    }
}

int DioSim_Attach(const char *path)
{
    return AttachTo(Sim(), path);
}

void DioSim_Reset(uint16_t cards)
{
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    ClearLines(State(), cards);
    sim.handles.clear();
    sim.hook = {};
    for (auto &fault : sim.faults) fault = 0;
    for (auto &count : sim.calls) count = 0;
}

void DioSim_SetInput(uint16_t card, uint16_t port, uint16_t bit, int level)
{
    if (!ValidLine(card, port, bit)) return;
    CardLines &lines = State().card[card];
    const uint32_t mask = 1u << bit;
    const uint32_t before =
        level ? lines.inputs[port].fetch_or(mask) : lines.inputs[port].fetch_and(~mask);
    if (((before & mask) != 0) != (level != 0)) ++lines.changes;
}

int DioSim_GetInput(uint16_t card, uint16_t port, uint16_t bit)
{
    if (!ValidLine(card, port, bit)) return 0;
    return (State().card[card].inputs[port].load() >> bit) & 1;
}

int DioSim_GetOutput(uint16_t card, uint16_t port, uint16_t bit)
{
    if (!ValidLine(card, port, bit)) return 0;
    return (State().card[card].outputs[port].load() >> bit) & 1;
}

uint32_t DioSim_OpenHandles(void)
{
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    return static_cast<uint32_t>(sim.handles.size());
}

void DioSim_Fail(int call, uint32_t code)
{
    if (call >= 0 && call < DIOSIM_CALLS) Sim().faults[call] = code;
}

uint32_t DioSim_Calls(int call)
{
    return call >= 0 && call < DIOSIM_CALLS ? Sim().calls[call].load() : 0;
}

void DioSim_SetWriteHook(DioSimWriteHook hook, void *context)
{
    Simulator &sim = Sim();
    std::lock_guard<std::mutex> lk(sim.lock);
    sim.hook = {hook, context};
}

} // extern "C"
