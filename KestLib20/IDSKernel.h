// The distributed-system kernel: lets the processes of a station find one another without a
// central server. Over net messages (channel 0, broadcast) every kernel publishes its own
// environment (program name, title, version, host name, groups, service ports), keeps a table
// of the other processes with theirs, notices processes that stop answering, and passes
// application messages to the processes of chosen groups.
//
// Queries take a mode: 0 first exchanges a heartbeat with the station (blocking for up to
// about 3 s), anything else answers from the table as it stands.
#pragma once

#include "KestLib20/NetMsg.h"

#include <cstdint>

class INetMsgServer;

// Kernel commands (net messages on channel 0).
enum DsCommand : int32_t {
    DS_PUB_MAIN_INFO = 1,
    DS_RPUB_MAIN_INFO = 2,
    DS_GETS_MAIN_APPLY = 3,
    DS_GET_MAIN_INFO = 4,
    DS_PUB_PID_INFO = 16,
    DS_RPUB_PID_INFO = 17,
    DS_GET_PID_INFO = 18,
    DS_POST_NET_MSG = 48,
    DS_POST_QUIT_MSG = 49,
};

// The type of the kernel's own events, handed to the callbacks as a command-48 message with
// the arguments "" (no group filter), this type and the event text.
inline constexpr const char *NETMSG_DS_CORE = "NETMSG_DS_CORE";

// Called with (user parameter, message head, null-ended arguments); the first argument of a
// command-48 message is its group filter.
using DS_CALLBACK = int32_t (*)(void *param, tagNetMsgHeader &header, const char **arguments);

class IDSKernel {
public:
    static constexpr const char *kNamedPtrType = "Kest20.Network.DSKernel.1";

    // Nonzero enters the kernel lock, 0 leaves it; 1.
    virtual int32_t LockServer(int32_t lock) = 0;
    // The kernel slot.
    virtual IDSKernel **GetActivePtr() = 0;
    virtual INetMsgServer *GetNetMsgServ() = 0;
    // The distinct non-zero node numbers of the process table, in table order; `*count` is
    // the capacity in and the number copied out, which is also the result.
    virtual int32_t GetNodeList(int32_t mode, int32_t *nodes, int32_t *count) = 0;
    // The processes of `node` (0: all), in table order, clipped to the capacity `*count`.
    virtual int32_t GetProcesses(int32_t mode, int32_t node, NETPID *list, int32_t *count) = 0;
    // The processes of `node` (0: all) whose value of every key of the null-ended `keys`
    // equals (without case) the value at the same place of `values`.
    virtual int32_t FindProcess(int32_t mode, int32_t node, NETPID *list, int32_t *count,
                                const char **keys, const char **values) = 0;
    // The node of a computer ("localhost": this one); 0 when unknown or not serving.
    virtual int32_t HostNameToNodeID(int32_t mode, const char *host, int32_t *reserved) = 0;
    // Adds or removes a group of this process (LeaveGrp with null: all); with `publish` and a
    // change, GROUP becomes the groups joined by ";" and the environment is published.
    // Whether the list changed.
    virtual int32_t EnterGrp(const char *group, int32_t publish) = 0;
    virtual int32_t LeaveGrp(const char *group, int32_t publish) = 0;
    // Stops the server and tells the others that this process leaves; 1.
    virtual int32_t Quit() = 0;
    // Do nothing; 0.
    virtual int32_t GetMainNode(const char *name, NETPID *process) = 0;
    virtual int32_t SelectMainNode(const char *name, NETPID *process) = 0;
    virtual int32_t SetMainNode(const char *name, NETPID *process) = 0;
    // GetEnv on each process of `node` in turn; 1 at the first that has the value.
    virtual int32_t GetNodeEnv(int32_t mode, int32_t node, const char *key, char *buffer,
                               int32_t size) = 0;
    // A process's value of `key` into `buffer` (cut to size - 1, NUL-ended); 1 when a value
    // was found, fresh or stale.
    virtual int32_t GetEnv(int32_t mode, NETPID &process, const char *key, char *buffer,
                           int32_t size) = 0;
    // Sets this process's value and publishes the environment; 1.
    virtual int32_t SetLocalEnv(const char *key, const char *value) = 0;
    // The callback's id (100, 101, ...).
    virtual int32_t RegisterCallBack(void *param, DS_CALLBACK callback) = 0;
    // Removes it, waiting for a call into it in progress unless made from inside that call.
    virtual int32_t UnregisterCallBack(int32_t id) = 0;

    int32_t GetGrpInfo(int32_t mode, NETPID &process, char *buffer, int32_t size);
    int32_t GetProgName(int32_t mode, NETPID &process, char *buffer, int32_t size);
    int32_t GetProgTitle(int32_t mode, NETPID &process, char *buffer, int32_t size);
    int32_t GetProgVersion(int32_t mode, NETPID &process, char *buffer, int32_t size);
    int32_t GetHostName(int32_t mode, int32_t node, char *buffer, int32_t size);
    // The node's IP value (the address as received, read as a little-endian number); 0 when
    // unknown.
    uint32_t GetIP(int32_t mode, int32_t node);
    int32_t SetProgName(const char *name);
    int32_t SetProgTitle(const char *title);
    int32_t SetProgVersion(const char *version);
    int32_t SetHostName(const char *host);
    // The value as a decimal number; 0 when missing.
    int32_t GetEnvAsInteger(int32_t mode, NETPID &process, const char *key);
    int32_t SetEnvAsInteger(const char *key, int32_t value);
    int32_t GetHttpPort(int32_t mode, NETPID &process);
    int32_t GetTelnetPort(int32_t mode, NETPID &process);
    int32_t GetKestPort(int32_t mode, NETPID &process);
    // The processes (over at most 64 nodes) whose GROUP value holds every group of the
    // ";"-separated filter.
    int32_t FindByGrpFilter(int32_t mode, const char *filter, NETPID *list, int32_t *count);

protected:
    ~IDSKernel() = default;
};

// Whether every ";"-separated name of `filter` is one of the ";"-separated `groups` (without
// case); a null or empty filter is always met.
bool DsGroupFilterMet(const char *filter, const char *groups);
