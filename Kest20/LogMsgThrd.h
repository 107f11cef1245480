// Log messages queued to a thread of their own: the log core's log thread and the queue of a
// CLogMsg reader. Each message is handed to the thread's sink in order; messages still queued
// when the thread is stopped or destroyed are dropped. The thread starts on the first message
// and again on the first one after a stop.
//
// The texts are copied into blocks of bytes rather than one allocation per message, and the
// thread takes every queued block at once and is woken only when it sleeps, so a reporter
// holds the queue's lock for a copy and nothing more.
#pragma once

#include "KestLib20/WorkerGate.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One log message as the thread hands it over; the texts live until the sink returns.
struct LogMsg {
    const char *type;
    const char *text;
    const char *info;
};

// Messages as runs of bytes in blocks: per message its three lengths, then the three texts,
// each with its terminating zero.
class CLogMsgBlocks {
public:
    // Copies the texts in, taking a block from `spare` (or a new one) when the last is full.
    void Append(const char *type, const char *text, const char *info, CLogMsgBlocks &spare);
    // Each message in order while `each` returns true.
    template <class Each> void ForEach(Each &&each) const;
    bool Empty() const { return m_blocks.empty(); }
    void Swap(CLogMsgBlocks &other) { m_blocks.swap(other.m_blocks); }
    // Empties this, keeping a few blocks in `spare` for later messages.
    void Recycle(CLogMsgBlocks &spare);

private:
    static constexpr size_t kBlockBytes = 64 * 1024;
    static constexpr size_t kSpareBlocks = 8;
    std::vector<std::vector<char>> m_blocks;
};

class CMsgThrd {
public:
    using Sink = std::function<void(const LogMsg &msg)>;
    static constexpr uint32_t kIdleWait = 10000;
    static constexpr uint32_t kStopBound = 1000;

    explicit CMsgThrd(Sink sink);
    // Stops the thread (with its bound) and drops what is queued.
    ~CMsgThrd();
    CMsgThrd(const CMsgThrd &) = delete;
    CMsgThrd &operator=(const CMsgThrd &) = delete;

    // Queues a copy of the texts (null counts as empty), starts the thread when it does not
    // run and wakes it when it sleeps. False, and nothing queued, once closed.
    bool Post(const char *type, const char *text, const char *info);
    // Drops what is queued and stops the thread with its bound; what comes in meanwhile is
    // dropped too. A thread still in the sink then is given up and hands nothing more over.
    void DropAndStop();
    // As DropAndStop, and no message is taken any more.
    void Close();

private:
    struct State;
    void Stop();
    static void Serve(const std::shared_ptr<State> &state, uint32_t gen);

    // Shared with the thread, which may outlive this object once given up.
    std::shared_ptr<State> m_pState;
};

// Reports a handler that threw to the debugger output:
// "Fatal Error <label>(<type>) Execute Stopped Info=<text>".
void ReportLogHandlerFailure(const char *label, const char *type, const char *text);

// Calls a log handler; anything it throws is reported (see above) and gives 0, so a failing
// subscriber never ends the thread that serves it.
template <class Call>
int CallLogHandler(const char *label, const char *type, const char *text, Call &&call)
{
    try {
        return call();
    } catch (...) {
        ReportLogHandlerFailure(label, type, text);
        return 0;
    }
}

template <class Each> void CLogMsgBlocks::ForEach(Each &&each) const
{
    for (const std::vector<char> &block : m_blocks) {
        for (size_t at = 0; at < block.size();) {
            uint32_t length[3];
            std::memcpy(length, block.data() + at, sizeof length);
            const char *type = block.data() + at + sizeof length;
            const char *text = type + length[0] + 1;
            const char *info = text + length[1] + 1;
            if (!each(LogMsg{type, text, info})) return;
            at = static_cast<size_t>(info + length[2] + 1 - block.data());
        }
    }
}
