#include "Kest20/LogMsgThrd.h"

#include "platform/Process.h"

CMsgThrd::CMsgThrd(Sink sink) : m_pSink(std::make_shared<const Sink>(std::move(sink))) {}

CMsgThrd::~CMsgThrd()
{
    // The thread calls OnMsg, an override of ours: it must end before this part goes.
    DropAndStop();
}

void CMsgThrd::Post(const char *type, const char *text, const char *info)
{
    AddMsg(new LogMsg{type ? type : "", text ? text : "", info ? info : ""});
}

void CMsgThrd::Drop()
{
    while (void *msg = GetNextMsg()) delete static_cast<LogMsg *>(msg);
}

void CMsgThrd::DropAndStop()
{
    Drop();
    Stop();
    Drop();
}

void CMsgThrd::OnMsg(void *msg)
{
    std::unique_ptr<LogMsg> owned(static_cast<LogMsg *>(msg));
    // Nothing of this object is touched after the sink is entered: a stop that gives this
    // thread up may destroy the object while the sink still runs.
    std::shared_ptr<const Sink> sink = m_pSink;
    (*sink)(*owned);
}

void ReportLogHandlerFailure(const char *label, const char *type, const char *text)
{
    CString line;
    line.Format("Fatal Error %s(%s) Execute Stopped Info=%s\n", label, type, text);
    plat::OutputDebugString(line);
}
