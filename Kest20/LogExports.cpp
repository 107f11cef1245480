// The flat functions of the log core and the debug log.
#include "Kest20/FrameworkTime.h"
#include "Kest20/KestCore_CodeMonitor.h"
#include "Kest20/KestLog.h"
#include "Kest20/LogTypePattern.h"
#include "platform/Gbk.h"
#include "platform/String.h"
#include "platform/Thread.h"

#include <atomic>

namespace {

// Off until a system object says otherwise: with no system object nothing is debug-logged.
std::atomic<int> g_debugFlag{0};

bool IsDebugLogOn()
{
    return g_debugFlag.load(std::memory_order_relaxed) != 0;
}

// Runs `call` on the open log core; 0 when it is closed.
template <class Call> int WithLogCore(Call call)
{
    CCodeMonitor *core = CKestCore_CodeMonitor::Open();
    return core ? call(*core) : 0;
}

constexpr size_t kDebugTextMax = 255;

} // namespace

int glRegisterLogProcessUnit(const char *name, LOGPROC function, void *parameter, int32_t mode)
{
    return WithLogCore(
        [&](CCodeMonitor &core) { return core.RegisterLPU(name, function, parameter, mode); });
}

int glUnregisterLogProcessUnit(int handle)
{
    return WithLogCore([&](CCodeMonitor &core) { return core.UnregisterLPU(handle); });
}

int glReportLog(const char *type, const char *text, const char *info)
{
    return WithLogCore([&](CCodeMonitor &core) { return core.Report(type, text, info); });
}

int glCloseCodeMonitor()
{
    return WithLogCore([](CCodeMonitor &core) { return core.Close(); });
}

int glLogRexExpression(const char *type, const char *pattern)
{
    return CLogTypePattern(pattern).Matches(CLogTypeProbe(type)) ? 1 : 0;
}

int glReportDbgX(const char *type, const char *format, va_list args)
{
    if (!IsDebugLogOn()) return 0;
    CString text;
    if (format) text.FormatV(format, args);
    text = text.Left(static_cast<int>(plat::GbkCutLength(text, kDebugTextMax)));
    plat::SYSTEMTIME local{};
    GetFrameworkTime().Get(local);
    CString info;
    info.Format("P%04d @%02d:%02d:%02d%5d", static_cast<int>(plat::GetCurrentThreadId()),
                local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return glReportLog(type, text, info);
}

int glReportDbg(const char *type, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = glReportDbgX(type, format, args);
    va_end(args);
    return result;
}

int glSetDebugFlag(int on)
{
    return g_debugFlag.exchange(on ? 1 : 0);
}
