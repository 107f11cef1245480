#include "drivers/sources/robot/CTapeRobot.h"

#include "Kest20/KestLog.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/sources/robot/TapeRobotFrame.h"

#include <algorithm>

using namespace cartcell;

namespace {

constexpr uint32_t kWorkerIdleMs = 5000;
constexpr uint32_t kStopWaitMs = 5000;
constexpr int32_t kTestFailuresAllowed = 20;
constexpr int32_t kRescueTimeOut = 100000;
constexpr uint32_t kRobotStuck = 0x02;   // robot status: a cassette is stuck in a VTR bay
constexpr uint32_t kGripperHolds = 0x01; // gripper status: a cassette is held
constexpr char kGripperLetters[] = {'U', 'D'};
constexpr int32_t kGripperQuery[] = {0, 2};
constexpr int32_t kRobotQuery = 1;

// Step codes reported with states 2 and 32.
constexpr int32_t kStepReset = 2, kStepTest = 4, kStepPresence = 5, kStepScanRow = 7,
                  kStepLabel = 8, kStepShelf = 9, kStepBay = 10, kStepStatus0 = 12,
                  kStepRobotStatus = 13, kStepFinish = 28;

const char *const kMessageNames[] = {"FRONT DOOR OPEND",
                                     "FRONT DOOR CLOSED",
                                     "VTR OUT",
                                     "VTR IN PLACE",
                                     "VTR DOOR OUT",
                                     "VTR DOOR IN",
                                     "LPREQ",
                                     "TAPE OUT",
                                     "TAPE IN PLACE",
                                     "LPOPEND",
                                     "LPCLOSED",
                                     "LPTIMEOUT",
                                     "HOMEREQ",
                                     "LPOACK"};

enum Message : int32_t {
    kFrontDoorClosed = 34,
    kLpReq = 39,
    kLpOpened = 42,
    kLpClosed = 43,
    kLpTimeout = 44,
};

char RowLetter(int row)
{
    return static_cast<char>('A' + row);
}

} // namespace

CTapeRobot::CTapeRobot(std::unique_ptr<CSerialTapeRobot> serial)
    : m_pSerial(serial ? std::move(serial) : std::make_unique<CSerialTapeRobot>())
{
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            m_Shelf[r][c].state =
                r == 0 && c >= kFirstLoadPortColumn && c < kFirstLoadPortColumn + kLoadPortSlots
                    ? kLoadPort
                    : kShelf;
    for (Cell &bay : m_Bays) bay.state = kBay;
    for (Cell &gripper : m_Grippers) gripper.state = kGripper;
    // The handler only queues: the receive thread never waits for the robot.
    m_pSerial->SetMessageHandler([this](int32_t id) { OnMessage(id); });
}

CTapeRobot::~CTapeRobot()
{
    Shutdown();
    m_pSerial->SetMessageHandler({});
}

void CTapeRobot::SetName(const char *name)
{
    std::lock_guard<std::mutex> lk(m_InvLock);
    m_strName = name ? name : "";
}

const char *CTapeRobot::MessageName(int32_t id)
{
    if (id < taperobot::kFirstMessage || id > taperobot::kLastMessage) return "Error Command";
    return kMessageNames[id - taperobot::kFirstMessage];
}

void CTapeRobot::PostStatus(int32_t id, const char *text)
{
    CString line;
    {
        std::lock_guard<std::mutex> lk(m_InvLock);
        line.Format("<DEV=\"%s\" ID=\"%d\" MSG=\"%s\">", m_strName.GetString(), id, text);
    }
    glReportLog(kStatusChannel, line, "");
}

void CTapeRobot::PostTapeList()
{
    CStringArray labels;
    GetTapeList(labels);
    CString text;
    for (int i = 0; i < labels.GetSize(); ++i) text += labels[i] + ",";
    PostStatus(5, text);
}

// Inventory.

int32_t CTapeRobot::IdOf(int row, int column) const
{
    if (m_Shelf[row][column].state == kLoadPort)
        return Make(kLoadPort, column - kFirstLoadPortColumn);
    return Make(kShelf, row * kColumns + column);
}

CTapeRobot::Cell *CTapeRobot::CellLocked(int32_t cellId)
{
    if (!Valid(cellId)) return nullptr;
    const int32_t low = Low(cellId);
    switch (Kind(cellId)) {
    case kShelf:
        if (low >> 5 >= kRows) return nullptr;
        return &m_Shelf[low >> 5][low & 0x1F];
    case kBay:
        return low < kBays ? &m_Bays[low] : nullptr;
    case kLoadPort:
        return low < kLoadPortSlots ? &m_Shelf[0][kFirstLoadPortColumn + low] : nullptr;
    case kGripper:
        return low < kGrippers ? &m_Grippers[low] : nullptr;
    default:
        return nullptr;
    }
}

int32_t CTapeRobot::FindLocked(const CString &label) const
{
    const CString key = Label(label);
    if (key.IsEmpty()) return -1;
    const auto same = [&](const Cell &cell) {
        return cell.occupied &&
               plat::GbkCompareNoCase(cell.label.GetString(), key.GetString()) == 0;
    };
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            if (same(m_Shelf[r][c])) return IdOf(r, c);
    for (int b = 0; b < kBays; ++b)
        if (same(m_Bays[b])) return Make(kBay, b);
    for (int g = 0; g < kGrippers; ++g)
        if (same(m_Grippers[g])) return Make(kGripper, g);
    return -1;
}

int32_t CTapeRobot::FreeCellLocked(int32_t kind) const
{
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c) {
            const Cell &cell = m_Shelf[r][c];
            // A shelf cell must be in a column the robot reports present.
            if (cell.state == kind && !cell.occupied && (kind == kLoadPort || cell.present))
                return IdOf(r, c);
        }
    if (kind == kBay)
        for (int b = 0; b < kBays; ++b)
            if (!m_Bays[b].occupied) return Make(kBay, b);
    if (kind == kGripper)
        for (int g = 0; g < kGrippers; ++g)
            if (!m_Grippers[g].occupied) return Make(kGripper, g);
    return -1;
}

int32_t CTapeRobot::GetCell(int32_t cellId, tagCartCell &out)
{
    std::lock_guard<std::mutex> lk(m_InvLock);
    const Cell *cell = CellLocked(cellId);
    if (!cell) return 0;
    out = tagCartCell{};
    out.nCellID = cellId;
    out.nState = cell->state;
    const int32_t low = Low(cellId);
    if (Kind(cellId) == kShelf) {
        out.nRow = low >> 5;
        out.nColumn = low & 0x1F;
    } else if (Kind(cellId) == kLoadPort) {
        out.nColumn = kFirstLoadPortColumn + low;
    } else {
        out.nColumn = low;
    }
    out.bPresent = cell->present;
    out.bOccupied = cell->occupied;
    out.nSize = cell->size;
    snprintf(out.szLabel, sizeof out.szLabel, "%s", cell->label.GetString());
    out.nValue = cell->value;
    return 1;
}

int32_t CTapeRobot::FindClip(const char *clip, int32_t *cellId)
{
    std::lock_guard<std::mutex> lk(m_InvLock);
    const int32_t found = FindLocked(clip);
    if (cellId) *cellId = found;
    return found >= 0 ? 1 : 0;
}

int32_t CTapeRobot::GetTapeList(CStringArray &labels)
{
    labels.RemoveAll();
    std::lock_guard<std::mutex> lk(m_InvLock);
    for (const auto &row : m_Shelf)
        for (const Cell &cell : row)
            if (cell.occupied) labels.Add(cell.label);
    for (const Cell &bay : m_Bays)
        if (bay.occupied) labels.Add(bay.label);
    for (const Cell &gripper : m_Grippers)
        if (gripper.occupied) labels.Add(gripper.label);
    return static_cast<int32_t>(labels.GetSize());
}

bool CTapeRobot::ReadCell(const Entry *entry, int row, int column)
{
    CString label;
    if (!Step(entry, kStepLabel, m_pSerial->ReadLabel(RowLetter(row), column + 1, label)))
        return false;
    label = Label(label);
    std::lock_guard<std::mutex> lk(m_InvLock);
    Cell &cell = m_Shelf[row][column];
    // "-9..." is the robot's word for an empty cell.
    cell.occupied = !label.IsEmpty() && label.Left(2) != "-9";
    cell.label = cell.occupied ? label : CString();
    return true;
}

bool CTapeRobot::RebuildInventory(const Entry *entry)
{
    {
        std::lock_guard<std::mutex> lk(m_InvLock);
        for (auto &row : m_Shelf)
            for (Cell &cell : row) cell.Clear();
    }
    uint32_t map = 0;
    if (!Step(entry, kStepPresence, m_pSerial->ReadPresenceMap(map))) return false;
    for (int r = 0; r < kRows; ++r)
        if (!Step(entry, kStepScanRow, m_pSerial->Run1(23, static_cast<uint8_t>(RowLetter(r)))))
            return false;
    {
        std::lock_guard<std::mutex> lk(m_InvLock);
        for (auto &row : m_Shelf)
            for (int c = 0; c < kColumns; ++c) row[c].present = (map >> c & 1) != 0;
    }
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            if (map >> c & 1)
                if (!ReadCell(entry, r, c)) return false;
    PostTapeList();
    return true;
}

bool CTapeRobot::ReadLoadPort(const Entry *entry)
{
    for (int slot = 0; slot < kLoadPortSlots; ++slot)
        if (!ReadCell(entry, 0, kFirstLoadPortColumn + slot)) return false;
    return true;
}

// Robot operations.

int32_t CTapeRobot::Initialize()
{
    return Initialize(nullptr);
}

int32_t CTapeRobot::Initialize(const Entry *entry)
{
    PostStatus(2, "ThomsonAIR Initialize Begin");
    {
        std::lock_guard<std::mutex> lk(m_InvLock);
        for (Cell &cell : m_Bays) cell.Clear();
        for (Cell &cell : m_Grippers) cell.Clear();
    }
    uint32_t status = 0, spare = 0;
    bool ok = Step(entry, kStepRobotStatus, m_pSerial->QueryStatus(kRobotQuery, status, spare));
    if (ok) {
        bool usable = false;
        for (int g = 0; g < kGrippers; ++g) {
            bool holds = false;
            usable = GripperHolds(entry, g, holds) || usable;
        }
        ok = usable;
    }
    ok = ok && RebuildInventory(entry) && Step(entry, kStepFinish, m_pSerial->Run(21));
    PostStatus(ok ? 3 : 4, ok ? "ThomsonAIR Initialize Succeed" : "ThomsonAIR Initialize Failed");
    m_nLastState = ok ? 1 : 0;
    return ok ? 1 : 0;
}

int32_t CTapeRobot::Test()
{
    // The device manager's check thread tests every device in turn: it must not wait behind
    // a cassette move.
    bool busy = false;
    const int32_t answered = m_pSerial->RunUnlessBusy(2, busy);
    if (busy) return m_nLastState;
    int32_t passed = 1;
    if (answered) {
        m_nTestFailures = 0;
        m_bTestPassed = true;
    } else {
        passed = m_bTestPassed && ++m_nTestFailures < kTestFailuresAllowed ? 1 : 0;
    }
    m_nLastState = passed;
    return passed;
}

bool CTapeRobot::GripperHolds(const Entry *entry, int gripper, bool &holds)
{
    uint32_t status = 0, spare = 0;
    const int32_t type = kGripperQuery[gripper];
    if (!Step(entry, kStepStatus0 + type, m_pSerial->QueryStatus(type, status, spare)))
        return false;
    holds = (status & kGripperHolds) != 0;
    return true;
}

// Takes the cassette from a cell into the gripper or puts it from the gripper into a cell;
// the gripper's sensor must agree before the label moves in the inventory.
bool CTapeRobot::Carry(const Entry &entry, int32_t cellId, int gripper, Action action)
{
    const char letter = kGripperLetters[gripper];
    const char act = static_cast<char>(action);
    bool sent;
    if (Kind(cellId) == kBay) {
        sent = Step(&entry, kStepBay, m_pSerial->BayGripper(Low(cellId), letter, act));
    } else {
        int row = 0, column = kFirstLoadPortColumn + Low(cellId);
        if (Kind(cellId) == kShelf) {
            row = Low(cellId) >> 5;
            column = Low(cellId) & 0x1F;
        }
        sent = Step(&entry, kStepShelf,
                    m_pSerial->ShelfGripper(RowLetter(row), column + 1, letter, act));
    }
    bool holds = false;
    if (!sent || !GripperHolds(&entry, gripper, holds) || holds != (action == Action::Take))
        return false;
    std::lock_guard<std::mutex> lk(m_InvLock);
    Cell *cell = CellLocked(cellId);
    Cell &held = m_Grippers[gripper];
    Cell &from = action == Action::Take ? *cell : held;
    Cell &to = action == Action::Take ? held : *cell;
    to.label = from.label;
    to.occupied = true;
    from.label.Empty();
    from.occupied = false;
    return true;
}

bool CTapeRobot::Move(const Entry &entry)
{
    const tagCartCommand &command = entry.command;
    const CString clip = Label(command.szClipID);
    int32_t source = command.nSource;
    int32_t target = command.nTarget;
    int gripper = -1;
    {
        std::lock_guard<std::mutex> lk(m_InvLock);
        if (command.nCommand == CART_LOAD) {
            const Cell *bay = Kind(target) == kBay ? CellLocked(target) : nullptr;
            if (!bay) return false;
            // The wanted cassette is there already; another one is in the way.
            if (bay->occupied)
                return plat::GbkCompareNoCase(bay->label.GetString(), clip.GetString()) == 0;
        }
        if (source == 0) source = FindLocked(clip);
        if (Valid(target) && Low(target) == kAnyFree) target = FreeCellLocked(Kind(target));
        const Cell *from = CellLocked(source);
        const Cell *to = CellLocked(target);
        // A rescue moves whatever the robot says is stuck in the bay.
        if (!from || !to || to->occupied || from->state == kGripper || to->state == kGripper ||
            (!from->occupied && command.nCommand != CART_RESCUE))
            return false;
        for (int g = 0; g < kGrippers && gripper < 0; ++g)
            if (!m_Grippers[g].occupied) gripper = g;
    }
    if (gripper < 0) return false;
    if (Carry(entry, source, gripper, Action::Take) && Carry(entry, target, gripper, Action::Put))
        return true;
    if (command.nCommand != CART_RESCUE) RescueAfterFailure(entry, source, target);
    return false;
}

void CTapeRobot::RescueAfterFailure(const Entry &entry, int32_t source, int32_t target)
{
    uint32_t status = 0, spare = 0;
    if (!Step(&entry, kStepRobotStatus, m_pSerial->QueryStatus(kRobotQuery, status, spare)) ||
        !(status & kRobotStuck))
        return;
    const int32_t bay = Kind(source) == kBay ? source : Kind(target) == kBay ? target : 0;
    if (!bay) return;
    tagCartCommand rescue;
    rescue.nCommand = CART_RESCUE;
    rescue.nTimeOut = kRescueTimeOut;
    rescue.nSource = bay;
    rescue.nTarget = Make(kLoadPort, kAnyFree);
    snprintf(rescue.szClipID, sizeof rescue.szClipID, "%s", entry.command.szClipID);
    QueueCommand(rescue);
}

// Robot messages.

void CTapeRobot::OnMessage(int32_t id)
{
    Entry entry;
    entry.command.nCommand = CART_MESSAGE;
    entry.message = id;
    Enqueue(std::move(entry));
}

bool CTapeRobot::HandleMessage(const Entry &entry)
{
    switch (entry.message) {
    case kFrontDoorClosed: {
        const bool ok = RebuildInventory(&entry);
        PostStatus(0, "Front Door Closed");
        return ok;
    }
    case kLpOpened:
    case kLpTimeout: {
        std::lock_guard<std::mutex> lk(m_InvLock);
        m_bLoadPortOpen = entry.message == kLpOpened;
        return true;
    }
    case kLpClosed: {
        {
            std::lock_guard<std::mutex> lk(m_InvLock);
            if (!m_bLoadPortOpen) return true;
            m_bLoadPortOpen = false;
        }
        const bool ok = ReadLoadPort(&entry);
        PostStatus(1, "LoadPort Door Closed");
        PostTapeList();
        return ok;
    }
    case kLpReq:
        return RebuildInventory(&entry) && Step(&entry, kStepFinish, m_pSerial->Run(21));
    default:
        return true;
    }
}

// The command queue.

int32_t CTapeRobot::QueueCommand(const tagCartCommand &command)
{
    Entry entry;
    entry.command = command;
    return Enqueue(std::move(entry));
}

int32_t CTapeRobot::Enqueue(Entry entry)
{
    std::lock_guard<std::mutex> lk(m_QueueLock);
    if (m_evStop.IsSet()) return 0;
    entry.command.nQueueID = ++m_nNextQueueID;
    if (!entry.succeeded) entry.succeeded = std::make_shared<std::atomic<int32_t>>(0);
    const int32_t id = entry.command.nQueueID;
    m_Queue.push_back(std::move(entry));
    // The oldest waiting commands give way; whoever waits for one is told it ended.
    for (auto it = m_Queue.begin(); m_Queue.size() > kMaxQueued && it != m_Queue.end();) {
        if (it->running) {
            ++it;
            continue;
        }
        if (it->command.hDone) it->command.hDone->Set();
        it = m_Queue.erase(it);
    }
    StartWorkerLocked();
    m_evWake.Set();
    return id;
}

void CTapeRobot::StartWorkerLocked()
{
    if (m_bWorkerRunning) return;
    m_bWorkerRunning = true;
    std::shared_ptr<CTapeRobot> self = shared_from_this();
    m_Worker = plat::Thread::Start([self] { return self->WorkerLoop(); });
}

int32_t CTapeRobot::RemoveCommand(int32_t queueId)
{
    bool found = false;
    {
        std::lock_guard<std::mutex> lk(m_QueueLock);
        for (auto it = m_Queue.begin(); it != m_Queue.end(); ++it) {
            if (it->command.nQueueID != queueId) continue;
            found = true;
            if (it->running) {
                it->command.pfnProgress = nullptr;
            } else {
                if (it->command.hDone) it->command.hDone->Set();
                m_Queue.erase(it);
            }
            break;
        }
    }
    // A progress call in progress ends before the caller may free its user data.
    if (found && plat::GetCurrentThreadId() != m_nWorkerThreadId) {
        std::lock_guard<std::mutex> wait(m_CallLock);
    }
    return found ? 1 : 0;
}

int32_t CTapeRobot::GetCommand(int32_t index, tagCartCommand &command)
{
    std::lock_guard<std::mutex> lk(m_QueueLock);
    if (index < 0 || static_cast<size_t>(index) >= m_Queue.size()) return 0;
    command = m_Queue[static_cast<size_t>(index)].command;
    return 1;
}

int32_t CTapeRobot::RunCommand(const tagCartCommand &command)
{
    // A task unit's thread that is to stop queues no move: no cassette moves on its own.
    if (CCallingUnit::Stopped()) return 0;
    Entry entry;
    entry.command = command;
    auto done = std::make_shared<plat::Event>(true, false);
    entry.command.hDone = done;
    auto succeeded = std::make_shared<std::atomic<int32_t>>(0);
    entry.succeeded = succeeded;
    const int32_t id = Enqueue(std::move(entry));
    if (!id) return 0;
    const int64_t wait = std::clamp<int64_t>(int64_t{command.nTimeOut} * 10, 0, 0x7FFFFFFF);
    // The unit's stop ends the wait too; a command not yet begun is then taken off the queue.
    const plat::Waitable *unitStop = CCallingUnit::CurrentStop();
    const uint32_t woken =
        unitStop ? plat::WaitForAny({done.get(), &m_evStop, unitStop}, static_cast<uint32_t>(wait))
                 : plat::WaitForAny({done.get(), &m_evStop}, static_cast<uint32_t>(wait));
    const bool finished = woken == plat::WAIT_OBJECT_0 && done->IsSet();
    RemoveCommand(id);
    return finished && *succeeded ? 1 : 0;
}

void CTapeRobot::Report(const Entry &entry, int32_t state, int32_t step)
{
    std::lock_guard<std::mutex> call(m_CallLock);
    CartProgress progress = nullptr;
    void *user = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_QueueLock);
        for (const Entry &queued : m_Queue)
            if (queued.command.nQueueID == entry.command.nQueueID) {
                progress = queued.command.pfnProgress;
                user = queued.command.pUserData;
            }
    }
    if (progress && user) progress(user, entry.command.szClipID, state, step);
}

bool CTapeRobot::Step(const Entry *entry, int32_t code, bool ok)
{
    if (entry) Report(*entry, ok ? CART_STEP_DONE : CART_STEP_FAILED, code);
    return ok;
}

bool CTapeRobot::Execute(const Entry &entry)
{
    switch (entry.command.nCommand) {
    case CART_INITIALIZE:
        return Initialize(&entry) != 0;
    case CART_TEST:
        return Step(&entry, kStepTest, Test() != 0);
    case CART_RESET:
        return Step(&entry, kStepReset, m_pSerial->Run(1) != 0);
    case CART_INVENTORY:
        return RebuildInventory(&entry);
    case CART_CLOSE:
        return m_pSerial->DevClose() != 0;
    case CART_MOVE:
    case CART_LOAD:
    case CART_UNLOAD:
    case CART_RESCUE:
        return Move(entry);
    case CART_MESSAGE:
        return HandleMessage(entry);
    default:
        return false;
    }
}

uint32_t CTapeRobot::WorkerLoop()
{
    m_nWorkerThreadId = plat::GetCurrentThreadId();
    for (;;) {
        Entry entry;
        {
            std::unique_lock<std::mutex> lk(m_QueueLock);
            if (m_Queue.empty() && !m_evStop.IsSet()) {
                lk.unlock();
                plat::WaitForAny({&m_evStop, &m_evWake}, kWorkerIdleMs);
                lk.lock();
            }
            if (m_Queue.empty() || m_evStop.IsSet()) {
                // The id stays: the last reference may go on this thread, and Shutdown must
                // not wait for it.
                m_bWorkerRunning = false;
                return 0;
            }
            m_Queue.front().running = true;
            entry = m_Queue.front();
        }
        Report(entry, CART_STARTED, 0);
        const bool ok = Execute(entry);
        *entry.succeeded = ok ? 1 : 0;
        Report(entry, ok ? CART_DONE : CART_FAILED, 0);
        {
            std::lock_guard<std::mutex> lk(m_QueueLock);
            m_Queue.erase(std::remove_if(m_Queue.begin(), m_Queue.end(),
                                         [&](const Entry &e) {
                                             return e.command.nQueueID == entry.command.nQueueID;
                                         }),
                          m_Queue.end());
        }
        if (entry.command.hDone) entry.command.hDone->Set();
    }
}

void CTapeRobot::Shutdown()
{
    m_evStop.Set();
    plat::Thread worker;
    {
        std::lock_guard<std::mutex> lk(m_QueueLock);
        for (Entry &entry : m_Queue)
            if (entry.command.hDone) entry.command.hDone->Set();
        m_Queue.clear();
        worker = m_Worker;
    }
    // Closing the line ends a reply wait in progress.
    m_pSerial->DevClose();
    worker.StopWithin(kStopWaitMs, 0);
}
