// The distributed-system kernel's sender: the kernel commands as net messages on channel 0,
// broadcast to everyone unless a target is given.
#pragma once

#include "KestLib20/CNetMsgClient.h"
#include "KestLib20/IDSKernel.h"
#include "platform/String.h"

#include <cstdint>

class CDSClient : public CNetMsgClient {
public:
    static constexpr int32_t kReplyTimeOut = 4000;
    static constexpr int32_t kMainApplyTimeOut = 2000;
    static constexpr int32_t kMaxMainApply = 256;

    explicit CDSClient(INetMsgServer **serverSlot = nullptr)
        : CNetMsgClient(serverSlot, kReplyTimeOut)
    {
    }

    // Command 1 with the main node in the numeric arguments; 0 for a null or empty name.
    int32_t PubMainInfo(const char *name, const NETPID &main);
    int32_t RPubMainInfo(const char *name);
    // Command 4 as a request: the first answer's main node; 0 when none came.
    int32_t GetMainInfo(const char *name, NETPID *main);
    // Command 3 to everyone for 2000 ms: the first numeric argument of each answer; how many.
    int32_t GetsMainApply(const char *name, int32_t *values, int32_t *count);
    // Command 16 with the key, value pairs that fit in one message (pairs with an empty key
    // are left out).
    int32_t PubPIDInfo(const char **keys, const char **values, int32_t create, int32_t heartbeat);
    // Command 17.
    int32_t RPubPIDInfo(int32_t create);
    // Command 18 as a request: the process's value of `key` (cut to size - 1) and 1 when it
    // answered; 0 and an empty buffer when it did not.
    int32_t GetPIDInfo(const NETPID &process, const char *key, char *buffer, int32_t size);

    // Command 49: this process leaves.
    int32_t PostQuitMsg();
    // Command 48 (the first string is the group filter).
    int32_t PostNetMsg(const NETPID &target, int32_t param1, int32_t param2, const char **strings);
    int32_t PostNetMsg(const char **strings);
    // To everyone: the group filter, then up to 63 strings ended by a null pointer.
    int32_t PostNetMsg(const char *group, ...);
    // Command 48 as a request. The answer's strings go into `strings` (`count`: capacity in,
    // number out) and its numeric arguments through `param1` and `param2`; the answer
    // (freed by the caller with free()) or null.
    char *SendNetMsg(const NETPID &target, int32_t *param1, int32_t *param2, const char **strings,
                     int32_t &count);

    // Command 18 as a request: -1 when no answer came, 0 when the answer holds no value, 1
    // with the value in `value`.
    int AskPIDInfo(const NETPID &process, const char *key, CString &value);

private:
    bool PostCommand(int32_t command, const NETPID &target, int32_t param1, int32_t param2,
                     const char **strings);
    static tagNetMsgHeader Command(int32_t command, const NETPID &target, int32_t param1,
                                   int32_t param2);
};
