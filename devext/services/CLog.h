// The text log files component (instance name "Log"): for every entry of its setting
// "LogFile" it writes the log messages whose type matches the entry's title patterns into a
// series of text files. It reads every message type on the log thread.
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"

#include <memory>

class CLogFileRegistry;

class DEVEXT20_API CLog : public CKestnut {
    DECLARE_KEST_CLASS(CLog)

    CLog();
    // Ends the subscription, then flushes and releases every writer.
    ~CLog() override;
    CLog(const CLog &) = delete;
    CLog &operator=(const CLog &) = delete;

    // Registers a writer for every entry name of "LogFile" whose properties
    // (<File="..." TITLE="...">) give a file.
    int32_t OnInitInstance() override;

    CLogFileRegistry &GetRegistry();

private:
    class CReader;
    std::unique_ptr<CReader> m_pReader;
};
