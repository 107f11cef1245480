// The robot interface that a tape robot device hands to the VTRs in its cart: its cells and
// tape inventory, and a queue of cassette commands. Cell identifiers carry the kind in their
// high 16 bits: 1 shelf cell (row << 5 | column), 2 VTR bay, 3 load-port slot, 4 gripper; a
// low part of 0x400 stands for any free cell of that kind.
#pragma once

#include "drivers/model/CVideoSrcA.h"
#include "platform/ComTypes.h"
#include "platform/Collections.h"
#include "platform/Gbk.h"
#include "platform/String.h"
#include "platform/Sync.h"

#include <cstdint>
#include <memory>
#include <string_view>

// {5C80D4FE-025F-4717-A326-8456BAC6C548}
inline constexpr IID IID_IVideoCartCtrl = {
    0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC5, 0x48}};

namespace cartcell {

constexpr int32_t kShelf = 1;
constexpr int32_t kBay = 2;
constexpr int32_t kLoadPort = 3;
constexpr int32_t kGripper = 4;
constexpr int32_t kAnyFree = 0x400;
constexpr int32_t kLowMask = 0xFFFF;

constexpr int32_t Make(int32_t kind, int32_t low)
{
    return kind << 16 | low;
}
constexpr int32_t Kind(int32_t id)
{
    return id >> 16;
}
constexpr int32_t Low(int32_t id)
{
    return id & kLowMask;
}
constexpr bool Valid(int32_t id)
{
    return id >= 0x10000 && id <= 0x4FFFF;
}

// A tape label as the robot compares it: trimmed, its last 8 characters (a double-byte
// character is never split).
inline CString Label(const char *text)
{
    CString label = text ? text : "";
    label.Trim();
    const std::string_view whole(label.GetString(), static_cast<size_t>(label.GetLength()));
    size_t start = 0;
    while (whole.size() - start > 8) start += plat::GbkCharLength(whole, start);
    return CString(whole.substr(start));
}

} // namespace cartcell

// Command codes and progress states of the robot's command queue.
enum CartCommandCode : int32_t {
    CART_INITIALIZE = 1,
    CART_TEST = 2,
    CART_RESET = 3,
    CART_INVENTORY = 4,
    CART_CLOSE = 5,
    CART_MOVE = 6,
    CART_LOAD = 7,   // into a VTR bay
    CART_UNLOAD = 8, // out of a VTR bay
    CART_RESCUE = 9, // from a VTR bay to a load-port slot after a failed move
    CART_MESSAGE = 10,
};

enum CartState : int32_t {
    CART_STARTED = 1,
    CART_STEP_DONE = 2,
    CART_FAILED = 3,
    CART_DONE = 4,
    CART_STEP_FAILED = 32,
};

// Progress of a queued command: (user data, clip id, state, step code with states 2 and 32).
using CartProgress = void (*)(void *user, const char *clip, int32_t state, int32_t step);

struct tagCartCommand {
    int32_t nCommand = 0;
    int32_t nQueueID = 0; // filled in by the robot
    int32_t nTimeOut = 0; // ms
    int32_t nSource = 0;  // 0: the cell where the clip's label is
    int32_t nTarget = 0;
    CartProgress pfnProgress = nullptr;
    void *pUserData = nullptr;
    int32_t nFlag = 1;
    char szClipID[32] = {};
    char szText[32] = {};
    std::shared_ptr<plat::Event> hDone; // empty unless the robot makes one
    // Held with the command while the robot may report it: what pUserData points to, so a
    // giver that goes can withdraw its data there (empty when nothing needs holding).
    std::shared_ptr<void> pUserHold;
};

struct tagCartCell {
    int32_t nCellID = 0;
    int32_t nState = 0; // 1 shelf cell, 2 bay, 3 load-port slot, 4 gripper
    int32_t nRow = 0;
    int32_t nColumn = 0;
    int32_t bPresent = 0;
    int32_t bOccupied = 0;
    int32_t nSize = 0;
    char szLabel[16] = {}; // empty when the cell is empty
    int32_t nValue = 0;    // the robot's second value of the cell
};

class IVideoCartCtrl {
public:
    // 1 when the cell exists.
    virtual int32_t GetCell(int32_t cellId, tagCartCell &cell) = 0;
    // 1 when a cassette labelled `clip` (last 8 characters) is in the robot, with its cell
    // (-1 otherwise).
    virtual int32_t FindClip(const char *clip, int32_t *cellId) = 0;
    virtual int32_t GetTapeList(CStringArray &labels) = 0;
    // Queues the command and waits for it, at most ten times its time-out in ms; 1 when it
    // finished in time and succeeded. It leaves the queue in either case.
    virtual int32_t RunCommand(const tagCartCommand &command) = 0;
    // The queue id.
    virtual int32_t QueueCommand(const tagCartCommand &command) = 0;
    virtual int32_t RemoveCommand(int32_t queueId) = 0;
    virtual int32_t GetCommand(int32_t index, tagCartCommand &command) = 0;

protected:
    ~IVideoCartCtrl() = default;
};

// The cue request's progress record: the robot's reports of a load go to {object, function}.
struct CVideoSrcA::tagCallBack {
    void *pObject = nullptr;
    CartProgress pfnProgress = nullptr;
};
