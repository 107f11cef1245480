#include "KestLib20/CDSClient.h"

#include "platform/Gbk.h"
#include "platform/String.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Answer = std::unique_ptr<char, decltype(&free)>;

Answer Own(char *message)
{
    return Answer(message, &free);
}

} // namespace

tagNetMsgHeader CDSClient::Command(int32_t command, const NETPID &target, int32_t param1,
                                   int32_t param2)
{
    tagNetMsgHeader header;
    header.command = command;
    header.param1 = param1;
    header.param2 = param2;
    header.target = target;
    return header;
}

bool CDSClient::PostCommand(int32_t command, const NETPID &target, int32_t param1, int32_t param2,
                            const char **strings)
{
    tagNetMsgHeader header = Command(command, target, param1, param2);
    return Post(0, 0, &header, strings);
}

int32_t CDSClient::PubMainInfo(const char *name, const NETPID &main)
{
    if (!name || !*name) return 0;
    const char *strings[] = {name, nullptr};
    return PostCommand(DS_PUB_MAIN_INFO, kNetPidEveryone, static_cast<int32_t>(main.node),
                       static_cast<int32_t>(main.pid), strings);
}

int32_t CDSClient::RPubMainInfo(const char *name)
{
    const char *strings[] = {name, nullptr};
    return PostCommand(DS_RPUB_MAIN_INFO, kNetPidEveryone, 0, 0, strings);
}

int32_t CDSClient::GetMainInfo(const char *name, NETPID *main)
{
    const char *strings[] = {name, nullptr};
    tagNetMsgHeader header = Command(DS_GET_MAIN_INFO, kNetPidEveryone, 0, 0);
    Answer answer = Own(Send(0, 0, &header, strings));
    if (!answer) return 0;
    const tagNetMsgHeader reply = DecodeNetMsgHeader(answer.get());
    if (main) *main = {static_cast<uint32_t>(reply.param1), static_cast<uint32_t>(reply.param2)};
    return 1;
}

int32_t CDSClient::GetsMainApply(const char *name, int32_t *values, int32_t *count)
{
    if (!count) return 0;
    const int32_t capacity = values ? std::min(*count, kMaxMainApply) : 0;
    const char *strings[] = {name, nullptr};
    tagNetMsgHeader header = Command(DS_GETS_MAIN_APPLY, kNetPidEveryone, 0, 0);
    char *answers[kMaxMainApply + 1];
    // Ask4Grp keeps one place for the closing null.
    int32_t found = capacity + 1;
    Ask4Grp(0, 0, &header, strings, answers, &found, kMainApplyTimeOut);
    for (int32_t i = 0; i < found; ++i) {
        Answer answer = Own(answers[i]);
        values[i] = DecodeNetMsgHeader(answer.get()).param1;
    }
    *count = found;
    return found;
}

int32_t CDSClient::PubPIDInfo(const char **keys, const char **values, int32_t create,
                              int32_t heartbeat)
{
    std::vector<const char *> strings;
    int room = kNetMsgMaxSize - kNetMsgHeadSize;
    for (int i = 0; keys && values && keys[i] && values[i]; ++i) {
        if (!*keys[i]) continue;
        const int need = static_cast<int>(strlen(keys[i]) + strlen(values[i])) + 2;
        // A pair that does not fit in the message is left out; smaller ones may follow.
        if (need > room) continue;
        room -= need;
        strings.push_back(keys[i]);
        strings.push_back(values[i]);
    }
    strings.push_back(nullptr);
    return PostCommand(DS_PUB_PID_INFO, kNetPidEveryone, create, heartbeat, strings.data());
}

int32_t CDSClient::RPubPIDInfo(int32_t create)
{
    return PostCommand(DS_RPUB_PID_INFO, kNetPidEveryone, create, 0, nullptr);
}

int CDSClient::AskPIDInfo(const NETPID &process, const char *key, CString &value)
{
    const char *strings[] = {key, nullptr};
    tagNetMsgHeader header = Command(DS_GET_PID_INFO, process, 0, 0);
    Answer answer = Own(Send(0, 0, &header, strings));
    if (!answer) return -1;
    const char *got[4];
    int32_t count = 4;
    GetNetMsgParamList(answer.get(), got, count);
    if (count < 1) return 0;
    value = got[0];
    return 1;
}

int32_t CDSClient::GetPIDInfo(const NETPID &process, const char *key, char *buffer, int32_t size)
{
    CString value;
    const int answered = AskPIDInfo(process, key, value);
    if (buffer && size > 0) {
        const size_t length = plat::GbkCutLength(value, static_cast<size_t>(size - 1));
        memcpy(buffer, value.GetString(), length);
        buffer[length] = '\0';
    }
    return answered >= 0 ? 1 : 0;
}

int32_t CDSClient::PostQuitMsg()
{
    return PostCommand(DS_POST_QUIT_MSG, kNetPidEveryone, 0, 0, nullptr);
}

int32_t CDSClient::PostNetMsg(const NETPID &target, int32_t param1, int32_t param2,
                              const char **strings)
{
    return PostCommand(DS_POST_NET_MSG, target, param1, param2, strings);
}

int32_t CDSClient::PostNetMsg(const char **strings)
{
    return PostCommand(DS_POST_NET_MSG, kNetPidEveryone, 0, 0, strings);
}

int32_t CDSClient::PostNetMsg(const char *group, ...)
{
    const char *strings[kNetMsgMaxArgs + 1];
    strings[0] = group ? group : "";
    va_list list;
    va_start(list, group);
    int i = 1;
    for (; i < kNetMsgMaxArgs; ++i) {
        strings[i] = va_arg(list, const char *);
        if (!strings[i]) break;
    }
    va_end(list);
    strings[i] = nullptr;
    return PostCommand(DS_POST_NET_MSG, kNetPidEveryone, 0, 0, strings);
}

char *CDSClient::SendNetMsg(const NETPID &target, int32_t *param1, int32_t *param2,
                            const char **strings, int32_t &count)
{
    tagNetMsgHeader header =
        Command(DS_POST_NET_MSG, target, param1 ? *param1 : 0, param2 ? *param2 : 0);
    char *answer = Send(0, 0, &header, strings);
    if (!answer) {
        count = 0;
        return nullptr;
    }
    GetNetMsgParamList(answer, strings, count);
    const tagNetMsgHeader reply = DecodeNetMsgHeader(answer);
    if (param1) *param1 = reply.param1;
    if (param2) *param2 = reply.param2;
    return answer;
}
