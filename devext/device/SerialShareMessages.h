// The messages of the serial sharing service as both of its ends build and read them: the
// service id, the message ids, the limits, the 14 setting bytes (seven little-endian 16-bit
// fields) and the blocks of line bytes that Write and DoInt carry. Values travel as argument
// lists.
#pragma once

#include "KestLib20/CPacket.h"
#include "devext/device/COM_SETTING.h"

#include <array>
#include <cstdint>
#include <vector>

class CNetClientA;
struct tagArgItem;

namespace serialshare {

constexpr uint16_t kServiceId = 35;

enum Message : int {
    kOpen = 1,
    kClose = 2,
    kWrite = 3,
    kRead = 4,
    kFlush = 5,
    kDoInt = 6,
    kHeartBeat = 7,
};

// The bytes one Write, one DoInt or one Read reply carries at most.
constexpr int kBlockSize = 1024;
constexpr int kSettingSize = 14;

using SettingBytes = std::array<uint8_t, kSettingSize>;

SettingBytes EncodeSetting(const COM_SETTING &setting);
COM_SETTING DecodeSetting(const SettingBytes &bytes);

// Unpacks the `count` values in front and then a byte buffer of whatever length the packet
// announces (its data bounds it) into `bytes`. 1 when all of it was there.
int UnpackWithBytes(CPacket &packet, const tagArgItem *values, int count, std::vector<char> &bytes);

// Sends the bytes one-way as `message`, each block of at most kBlockSize behind the port
// number, so that the other side, which takes at most that many per message, loses none.
// 1 when every block went out (also for no bytes); sending stops at the first failure.
int SendBlocks(CNetClientA &client, int message, int32_t port, const char *data, int length);

} // namespace serialshare
