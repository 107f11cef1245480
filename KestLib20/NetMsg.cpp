#include "KestLib20/NetMsg.h"

#include "KestLib20/CResAccess.h"
#include "platform/Process.h"

#include <arpa/inet.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

void PutLe32(char *out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

uint32_t GetLe32(const char *in)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{static_cast<unsigned char>(in[i])} << (8 * i);
    return value;
}

// In place of the serial number of the system volume: the first 8 hex digits of the
// machine id.
uint32_t MachineSerial()
{
    std::ifstream file("/etc/machine-id");
    std::string id;
    if (!(file >> id) || id.size() < 8) return 0;
    uint32_t serial = 0;
    return sscanf(id.substr(0, 8).c_str(), "%8x", &serial) == 1 ? serial : 0;
}

// Adds each byte as a signed 8-bit value (32-bit wrap-around).
uint32_t AddBytes(uint32_t node, const std::string &text)
{
    for (char c : text) node += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
    return node;
}

uint32_t ComputeNode()
{
    uint32_t node = MachineSerial();
    std::string text;
    // The computer name was read into a 64-byte buffer: a longer one is not added.
    if (plat::GetHostName(&text) && text.size() < 64) node = AddBytes(node, text);
    // Setting KEST_NODE lets several nodes share one computer.
    if (plat::GetEnv("KEST_NODE", &text)) node = AddBytes(node, text);
    return node;
}

bool ParseAddress(const std::string &text, uint32_t *address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    *address = parsed.s_addr;
    return true;
}

} // namespace

void EncodeNetMsgHeader(const tagNetMsgHeader &h, char *message)
{
    const uint32_t fields[10] = {static_cast<uint32_t>(h.length),
                                 static_cast<uint32_t>(h.command),
                                 static_cast<uint32_t>(h.param1),
                                 static_cast<uint32_t>(h.param2),
                                 h.target.node,
                                 h.target.pid,
                                 static_cast<uint32_t>(h.channel),
                                 static_cast<uint32_t>(h.replyQueue),
                                 h.sender.node,
                                 h.sender.pid};
    for (int i = 0; i < 10; ++i) PutLe32(message + 4 * i, fields[i]);
}

tagNetMsgHeader DecodeNetMsgHeader(const char *message)
{
    auto field = [message](int i) { return GetLe32(message + 4 * i); };
    tagNetMsgHeader h;
    h.length = static_cast<int32_t>(field(0));
    h.command = static_cast<int32_t>(field(1));
    h.param1 = static_cast<int32_t>(field(2));
    h.param2 = static_cast<int32_t>(field(3));
    h.target = {field(4), field(5)};
    h.channel = static_cast<int32_t>(field(6));
    h.replyQueue = static_cast<int32_t>(field(7));
    h.sender = {field(8), field(9)};
    return h;
}

NETPID GetCurrentNetProcessID()
{
    static const uint32_t node = ComputeNode();
    return {node, plat::GetCurrentProcessId()};
}

char *NETPID_ntos(const NETPID &id, char *buffer, int size)
{
    if (!buffer || size < 20) return nullptr;
    snprintf(buffer, static_cast<size_t>(size), "P%08X_%08X", id.node, id.pid);
    return buffer;
}

NETPID NETPID_ston(const char *text)
{
    char copy[21] = {};
    strncpy(copy, text ? text : "", 20);
    copy[9] = '\0';
    unsigned int node = 0;
    unsigned int pid = 0;
    if (sscanf(copy + 10, "%X", &pid) != 1 || sscanf(copy + 1, "%X", &node) != 1) return {};
    return {node, pid};
}

int SetNetMsgParamList(char *message, int size, const char **arguments)
{
    if (!message || size < kNetMsgHeadSize) return 0;
    int at = kNetMsgHeadSize;
    for (int i = 0; arguments && arguments[i]; ++i) {
        const int length = static_cast<int>(strlen(arguments[i])) + 1;
        if (length > size - at) break;
        memcpy(message + at, arguments[i], static_cast<size_t>(length));
        at += length;
    }
    PutLe32(message, static_cast<uint32_t>(at));
    return 1;
}

int SetNetMsgParamListV(char *message, int size, ...)
{
    const char *arguments[kNetMsgMaxArgs + 1] = {};
    va_list list;
    va_start(list, size);
    for (int i = 0; i < kNetMsgMaxArgs; ++i) {
        arguments[i] = va_arg(list, const char *);
        if (!arguments[i]) break;
    }
    va_end(list);
    return SetNetMsgParamList(message, size, arguments);
}

int GetNetMsgParamList(char *message, const char **arguments, int32_t &count)
{
    const int32_t capacity = count;
    count = 0;
    const int32_t length = message ? static_cast<int32_t>(GetLe32(message)) : 0;
    if (length < kNetMsgHeadSize) {
        if (arguments && capacity > 0) arguments[0] = nullptr;
        return 0;
    }
    message[length] = '\0';
    for (int32_t at = kNetMsgHeadSize; at < length && count < capacity - 1;) {
        arguments[count++] = message + at;
        at += static_cast<int32_t>(strlen(message + at)) + 1;
    }
    if (arguments && capacity > 0) arguments[count] = nullptr;
    return 1;
}

uint32_t GetNetMsgBroadcastAddress()
{
    uint32_t address = 0;
    std::string text;
    if (plat::GetEnv("KEST_BROADCAST", &text) && ParseAddress(text, &address)) return address;
    CResString setting("/etc/tvx/DSystem/Broadcast");
    if (ParseAddress(setting.GetAsString("").GetString(), &address)) return address;
    return htonl(INADDR_BROADCAST); // a station spans hosts
}
