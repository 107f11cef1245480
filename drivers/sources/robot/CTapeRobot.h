// The logic of a ThomsonAIR tape robot on top of its serial protocol: the cell inventory
// (3 shelf rows of 32 cells, of which ten in the first row are load-port slots, 4 VTR bays,
// 2 grippers), the robot's initialisation and test, and a queue of cassette commands run one
// at a time on a worker thread. It is the IVideoCartCtrl of the cart VTRs. Its owner holds it
// in a shared_ptr and calls Shutdown before letting it go: the worker holds it while it runs.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/robot/CSerialTapeRobot.h"
#include "drivers/sources/robot/IVideoCartCtrl.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class KSOVRA20_API CTapeRobot : public IVideoCartCtrl,
                                public std::enable_shared_from_this<CTapeRobot> {
public:
    static constexpr int kRows = 3;
    static constexpr int kColumns = 32;
    static constexpr int kBays = 4;
    static constexpr int kGrippers = 2;
    static constexpr int kFirstLoadPortColumn = 5;
    static constexpr int kLoadPortSlots = 10;
    static constexpr size_t kMaxQueued = 256;
    static constexpr const char *kStatusChannel = "#OVRA_DEV_AUX_AIR";

    // A protocol object may be given (tests); by default the robot makes its own.
    explicit CTapeRobot(std::unique_ptr<CSerialTapeRobot> serial = nullptr);
    ~CTapeRobot();
    CTapeRobot(const CTapeRobot &) = delete;
    CTapeRobot &operator=(const CTapeRobot &) = delete;

    CSerialTapeRobot &Serial() { return *m_pSerial; }
    // The name in the status lines.
    void SetName(const char *name);

    // Posts "Initialize Begin", checks the robot status and the grippers, rebuilds the
    // inventory, sends command 21, and posts "Succeed" or "Failed". 1 on success.
    int32_t Initialize();
    // Command 2: the first test must pass; after it, up to 19 failures in a row still pass.
    // While another command awaits its reply (a cassette move takes minutes) nothing is sent
    // and the last known state is the answer: the last test's, or before any test the
    // initialisation's.
    int32_t Test();
    // Ends the worker (bounded) and closes the line; queued commands are dropped.
    void Shutdown();

    // The name of robot message `id`, "Error Command" for any other id.
    static const char *MessageName(int32_t id);

    int32_t GetCell(int32_t cellId, tagCartCell &cell) override;
    int32_t FindClip(const char *clip, int32_t *cellId) override;
    int32_t GetTapeList(CStringArray &labels) override;
    int32_t RunCommand(const tagCartCommand &command) override;
    int32_t QueueCommand(const tagCartCommand &command) override;
    int32_t RemoveCommand(int32_t queueId) override;
    int32_t GetCommand(int32_t index, tagCartCommand &command) override;

private:
    // The robot's record of a cell; the size and the second value are kept for the robot's
    // own use (nothing here sets them) and handed out with the cell.
    struct Cell {
        bool present = false;
        bool occupied = false;
        int32_t size = 0;
        CString label;
        int32_t value = 0;
        int32_t state = 0;
        // Empty, of the same kind.
        void Clear() { *this = Cell{false, false, 0, CString(), 0, state}; }
    };
    struct Entry {
        tagCartCommand command;
        int32_t message = 0; // the robot message of a CART_MESSAGE
        bool running = false;
        std::shared_ptr<std::atomic<int32_t>> succeeded;
    };
    // How a cassette is taken or put.
    enum class Action : char { Take = 'P', Put = 'M' };

    // The initialisation, its steps reported when it runs as a queued command.
    int32_t Initialize(const Entry *entry);
    int32_t Enqueue(Entry entry);
    void StartWorkerLocked();
    uint32_t WorkerLoop();
    bool Execute(const Entry &entry);
    // Reports a step of the running command: state 2 or 32 with the step code.
    bool Step(const Entry *entry, int32_t code, bool ok);
    void Report(const Entry &entry, int32_t state, int32_t step);
    void OnMessage(int32_t id);
    bool HandleMessage(const Entry &entry);

    bool RebuildInventory(const Entry *entry);
    bool ReadLoadPort(const Entry *entry);
    bool ReadCell(const Entry *entry, int row, int column);
    bool Move(const Entry &entry);
    bool Carry(const Entry &entry, int32_t cellId, int gripper, Action action);
    bool GripperHolds(const Entry *entry, int gripper, bool &holds);
    void RescueAfterFailure(const Entry &entry, int32_t source, int32_t target);

    // Under the inventory lock.
    Cell *CellLocked(int32_t cellId);
    int32_t IdOf(int row, int column) const;
    int32_t FindLocked(const CString &label) const;
    int32_t FreeCellLocked(int32_t kind) const;
    void PostStatus(int32_t id, const char *text);
    void PostTapeList();

    std::unique_ptr<CSerialTapeRobot> m_pSerial;

    mutable std::mutex m_InvLock;
    CString m_strName;
    std::array<std::array<Cell, kColumns>, kRows> m_Shelf;
    std::array<Cell, kBays> m_Bays;
    std::array<Cell, kGrippers> m_Grippers;
    bool m_bLoadPortOpen = false;

    std::mutex m_QueueLock;
    std::deque<Entry> m_Queue;
    int32_t m_nNextQueueID = 0;
    bool m_bWorkerRunning = false;
    plat::Thread m_Worker;
    plat::Event m_evWake;
    plat::Event m_evStop{true, false};
    std::atomic<uint32_t> m_nWorkerThreadId{0};
    // Held while a progress callback runs, so that RemoveCommand can wait for it.
    std::mutex m_CallLock;

    std::atomic<int32_t> m_nTestFailures{0};
    std::atomic<bool> m_bTestPassed{false};
    std::atomic<int32_t> m_nLastState{0}; // what the last test or initialisation found
};
