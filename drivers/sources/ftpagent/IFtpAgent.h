// The FTP transfer agent as the agent clip stores call it: a component created by its class id
// text from a registry of factories, whose pointer lives between calls in a process-wide table
// under a cookie, and every use fetches it from there. The operations keep the agent's slot
// order; each returns 0 on success.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <cstdint>
#include <functional>
#include <memory>

class IFtpAgent {
public:
    virtual ~IFtpAgent() = default;

    virtual int32_t AgentOpen(const CString &agent, int32_t mode, const CString &options) = 0;
    virtual int32_t AgentConnect(const CString &agent) = 0;
    // Nonzero in `ready` when the agent is usable.
    virtual int32_t AgentIsReady(int32_t &ready) = 0;
    // The site's file names, separated by ';'.
    virtual int32_t ListFiles(const CString &site, const CString &filter, CString &names) = 0;
    virtual int32_t EraseFile(const CString &site, const CString &file) = 0;
    virtual int32_t RenameFile(const CString &site, const CString &from, const CString &to) = 0;
    // The file's size in bytes, its time and its attributes.
    virtual int32_t GetFileInfo(const CString &site, const CString &file, double &size,
                                int64_t &time, int32_t &attributes) = 0;
    // Starts copying the file from one site to another under the task id.
    virtual int32_t AddCopyTask(const CString &from, const CString &to, const CString &file,
                                int32_t &task) = 0;
    virtual int32_t RemoveTask(int32_t task, int32_t &result) = 0;
    // "status": "UNPREPARED" before the copy starts, "END" when done, "ABORT" or "ERROR" when
    // it failed, any other text while it runs.
    virtual int32_t GetTaskProperty(int32_t task, const CString &property, CString &value) = 0;
    // Nonzero in `alive` while the agent works.
    virtual int32_t IsAlive(int32_t &alive) = 0;
};

namespace ftpagent {

// The class id of the FTP agent.
inline constexpr const char *kAgentClassId = "{43ABF3E1-266C-49AA-82F0-457E16019E59}";

using Factory = std::function<std::shared_ptr<IFtpAgent>()>;

// Makes `factory` the maker of the class id (compared without case); the one it replaces.
KSOVRA20_API Factory RegisterFactory(const char *classId, Factory factory);
// A new agent of the class id; null when no factory makes it.
KSOVRA20_API std::shared_ptr<IFtpAgent> CreateInstance(const char *classId);

// The process-wide table of agents shared between threads: a nonzero cookie for the agent;
// the agent of a cookie (null when revoked or unknown); revokes the cookie (false when unknown).
KSOVRA20_API uint32_t RegisterInterfaceInGlobal(std::shared_ptr<IFtpAgent> agent);
KSOVRA20_API std::shared_ptr<IFtpAgent> GetInterfaceFromGlobal(uint32_t cookie);
KSOVRA20_API bool RevokeInterfaceFromGlobal(uint32_t cookie);

} // namespace ftpagent
