// The process's distributed-system kernel (see IDSKernel). Its hidden implementation is the
// process's net-message server; the owner starts it (GetNetMsgServ()->Start()). Every time
// the kernel measures (heartbeat gap, silence, freshness) comes from the platform time source.
#pragma once

#include "KestLib20/IDSKernel.h"

#include <cstdint>
#include <memory>

class CDSKernel : public IDSKernel {
public:
    static constexpr uint32_t kHeartBeatGap = 3000; // one heartbeat request per 3 s
    static constexpr uint32_t kSilence = 8000;      // a process not heard from is dropped
    static constexpr uint32_t kLate = 3000;         // a process not heard from is late
    static constexpr uint32_t kHeartBeatWait = 3000;
    static constexpr uint32_t kHostWait = 5000;
    static constexpr uint32_t kStep = 50;
    static constexpr int kSteps = 30;
    static constexpr uint32_t kRetryStep = 100;
    static constexpr int kRetries = 4;
    static constexpr int kGroupText = 128;
    static constexpr int kMaxFilterNodes = 64;

    // Sets `slot` to the kernel; without one, registers the named pointer
    // "Kest20.Network.DSKernel.1" with an empty name and stores the kernel there. The server
    // listens on `port` (0: 7080); its client waits 4000 ms for replies.
    explicit CDSKernel(IDSKernel **slot = nullptr, int32_t port = 0);
    // Stops the server and frees the tables without a message to the others.
    ~CDSKernel();
    CDSKernel(const CDSKernel &) = delete;
    CDSKernel &operator=(const CDSKernel &) = delete;

    int32_t LockServer(int32_t lock) override;
    IDSKernel **GetActivePtr() override { return m_ppSlot; }
    INetMsgServer *GetNetMsgServ() override;
    int32_t GetNodeList(int32_t mode, int32_t *nodes, int32_t *count) override;
    int32_t GetProcesses(int32_t mode, int32_t node, NETPID *list, int32_t *count) override;
    int32_t FindProcess(int32_t mode, int32_t node, NETPID *list, int32_t *count, const char **keys,
                        const char **values) override;
    int32_t HostNameToNodeID(int32_t mode, const char *host, int32_t *reserved) override;
    int32_t EnterGrp(const char *group, int32_t publish) override;
    int32_t LeaveGrp(const char *group, int32_t publish) override;
    int32_t Quit() override;
    int32_t GetMainNode(const char *name, NETPID *process) override;
    int32_t SelectMainNode(const char *name, NETPID *process) override;
    int32_t SetMainNode(const char *name, NETPID *process) override;
    int32_t GetNodeEnv(int32_t mode, int32_t node, const char *key, char *buffer,
                       int32_t size) override;
    int32_t GetEnv(int32_t mode, NETPID &process, const char *key, char *buffer,
                   int32_t size) override;
    int32_t SetLocalEnv(const char *key, const char *value) override;
    int32_t RegisterCallBack(void *param, DS_CALLBACK callback) override;
    int32_t UnregisterCallBack(int32_t id) override;

private:
    struct _Impl;

    const std::shared_ptr<_Impl> m_pImpl;
    IDSKernel **m_ppSlot;
    bool m_bNamedPtr = false;
};
