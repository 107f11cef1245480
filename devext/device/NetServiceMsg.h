// The management service's messages (service id 2) and the type ids its values carry. The
// packing does not look at the ids of raw values; they are kept as the peers write them.
#pragma once

#include <cstdint>

namespace netservice {

inline constexpr uint16_t kServiceId = 2;
// The ports a management client asks when it does not know a process's port: every
// dispatcher listens on one of them unless configured otherwise.
inline constexpr uint16_t kFirstPort = 7000;
inline constexpr uint16_t kLastPort = 7064;

enum Msg : int {
    MSG_GET_DISP_NAME = 0x02,
    MSG_GET_DISP_PORT = 0x03,
    MSG_START_SERVER = 0x10,
    MSG_STOP_SERVER = 0x11,
    MSG_GET_SVR_INFO = 0x12,
    MSG_GET_ISET = 0x13,
    MSG_LOG = 0x20,
    MSG_QUERY_CLASS_INFO = 0x40,
    MSG_QUERY_INSTANCE_COUNT = 0x41,
    MSG_QUERY_INSTANCE_INFO = 0x42,
    MSG_ECHO = 0x50,
    MSG_GET_TIME = 0x51,
    MSG_RESOURCE_REQUEST = 0x70,
};

// Raw type ids: u16, i32 (0x08 where the class information writes it), 64-bit time.
inline constexpr uint16_t kU16Id = 0x04;
inline constexpr uint16_t kI32Id = 0x06;
inline constexpr uint16_t kClassI32Id = 0x08;
inline constexpr uint16_t kTimeId = 0x81;

// The longest name On_Get_DispPort reads.
inline constexpr int kMaxDispName = 128;
// The largest echo a client sends, and the buffer the server reads it into.
inline constexpr int kMaxEcho = 512;
inline constexpr int kEchoBuffer = 1024;

} // namespace netservice
