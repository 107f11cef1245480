// Net messages: the framework's datagram service between the processes of a station. A
// message is one UDP datagram, broadcast to the station: a 40-byte head (ten 32-bit
// little-endian fields) followed by NUL-ended text arguments. Each receiver keeps what is
// addressed to it by the network process id in the head.
#pragma once

#include <cstdint>

// A process of the station: its computer's node number and its process id. Node 1, pid 0
// stands for every process.
struct NETPID {
    uint32_t node = 0;
    uint32_t pid = 0;

    friend bool operator==(const NETPID &, const NETPID &) = default;
};

inline constexpr NETPID kNetPidEveryone{1, 0};

// The head of a net message, decoded. On the wire every field is 32-bit little-endian, in
// this order.
struct tagNetMsgHeader {
    int32_t length = 0;  // of the whole datagram, head included
    int32_t command = 0; // chosen by the channel's user
    int32_t param1 = 0;  // the command's two numeric arguments
    int32_t param2 = 0;
    NETPID target;          // node, pid
    int32_t channel = 0;    // 0-255 the server; 256-1023 fixed reply queues; 1024+ temporary
    int32_t replyQueue = 0; // 0 when no answer is wanted, else the queue the answer goes to
    NETPID sender;          // node, pid
};

constexpr int kNetMsgHeadSize = 40;
// Messages are built in a buffer of this size: head and arguments never exceed it.
constexpr int kNetMsgMaxSize = 512;
// Receivers read datagrams of up to this size; anything longer is refused.
constexpr int kNetMsgRecvSize = 1024;
// The variadic forms take at most this many argument strings.
constexpr int kNetMsgMaxArgs = 64;
constexpr int32_t kNetMsgDefaultPort = 7080;
constexpr int32_t kFirstFixedQueue = 256;
constexpr int32_t kFirstTemporaryQueue = 1024;

// Writes the head's ten fields at the start of `message` (40 bytes).
void EncodeNetMsgHeader(const tagNetMsgHeader &header, char *message);
// Reads the ten fields from the first 40 bytes of `message`.
tagNetMsgHeader DecodeNetMsgHeader(const char *message);

// This process: the node number (computed once) and the process id.
NETPID GetCurrentNetProcessID();
// "P%08X_%08X" into `buffer`; null (nothing written) when size is below 20.
char *NETPID_ntos(const NETPID &id, char *buffer, int size);
// Parses the text form (the first 20 characters; hex node from index 1, hex pid from index
// 10); node 0, pid 0 when either cannot be read.
NETPID NETPID_ston(const char *text);

// Writes the arguments (a null-ended array; null means none) behind the head of a message
// buffer of `size` bytes and sets the length field. An argument that does not fit whole is
// left out with every one after it. 0 when size is below 40, else 1.
int SetNetMsgParamList(char *message, int size, const char **arguments);
// The same with up to 64 strings ended by a null pointer.
int SetNetMsgParamListV(char *message, int size, ...);
// Splits a message's arguments: `count` comes in as the capacity of `arguments` and goes
// out as the number of strings (at most capacity - 1; the array is closed with a null). The
// message must hold its length field's bytes and one more, which is set to NUL (every message
// the server hands out does). 0 when the length field is below 40, else 1.
int GetNetMsgParamList(char *message, const char **arguments, int32_t &count);

// Where broadcasts go, in network byte order: $KEST_BROADCAST, else the key "Broadcast" of
// "/etc/tvx/DSystem", else 255.255.255.255 (every host of the station's network).
uint32_t GetNetMsgBroadcastAddress();
