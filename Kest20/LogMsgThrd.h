// Log messages queued to a thread of their own: the log core's log thread and the queue of a
// CLogMsg reader. Each message is handed to the thread's sink in order; messages still queued
// when the thread is stopped or destroyed are dropped.
#pragma once

#include "KestLib20/CBasicMsgThrd.h"
#include "platform/String.h"

#include <functional>
#include <memory>

// One log message: owned copies of its three texts.
struct LogMsg {
    CString type;
    CString text;
    CString info;
};

class CMsgThrd : public CBasicMsgThrd {
public:
    using Sink = std::function<void(const LogMsg &msg)>;

    explicit CMsgThrd(Sink sink);
    // Stops the thread (with its bound) and drops what is queued.
    ~CMsgThrd() override;

    // Queues a copy of the texts (null counts as empty) and wakes the thread.
    void Post(const char *type, const char *text, const char *info);
    // Drops what is queued and stops the thread with its bound; what comes in meanwhile is
    // dropped too.
    void DropAndStop();
    void OnMsg(void *msg) override;

private:
    // Frees every queued message.
    void Drop();

    // Shared with a thread still in the sink, which may outlive this object once given up.
    std::shared_ptr<const Sink> m_pSink;
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
