#include "devext/device/SerialShareMessages.h"

#include "devext/device/CArgListA.h"
#include "devext/device/CNetClientA.h"

#include <algorithm>

namespace serialshare {

namespace {

// The seven fields in their order on the wire.
constexpr uint16_t COM_SETTING::*kFields[] = {
    &COM_SETTING::nPort,     &COM_SETTING::nDataBits, &COM_SETTING::nParity,
    &COM_SETTING::nStopBits, &COM_SETTING::nReserved, &COM_SETTING::nBaud,
    &COM_SETTING::nHalfTime,
};
static_assert(std::size(kFields) * 2 == kSettingSize);

} // namespace

SettingBytes EncodeSetting(const COM_SETTING &setting)
{
    SettingBytes bytes{};
    size_t at = 0;
    for (uint16_t COM_SETTING::*field : kFields) {
        const uint16_t value = setting.*field;
        bytes[at++] = static_cast<uint8_t>(value);
        bytes[at++] = static_cast<uint8_t>(value >> 8);
    }
    return bytes;
}

COM_SETTING DecodeSetting(const SettingBytes &bytes)
{
    COM_SETTING setting;
    size_t at = 0;
    for (uint16_t COM_SETTING::*field : kFields) {
        setting.*field = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        at += 2;
    }
    return setting;
}

int UnpackWithBytes(CPacket &packet, const tagArgItem *values, int count, std::vector<char> &bytes)
{
    const CPacketData *data = packet.Peek();
    // No buffer in the packet can be longer than its data part.
    bytes.assign(static_cast<size_t>(data ? std::max(data->GetDataSize(), 0) : 0), 0);
    tagArgBuffer buffer{bytes.data(), static_cast<int32_t>(bytes.size())};
    std::vector<tagArgItem> items(values, values + std::max(count, 0));
    items.push_back(ArgOf(buffer));
    if (!CArgListA(items.data(), static_cast<int>(items.size())).Unpack(packet)) return 0;
    bytes.resize(static_cast<size_t>(buffer.length));
    return 1;
}

int SendBlocks(CNetClientA &client, int message, int32_t port, const char *data, int length)
{
    for (int offset = 0; data && offset < length; offset += kBlockSize) {
        tagArgBuffer block{const_cast<char *>(data + offset),
                           std::min(kBlockSize, length - offset)};
        tagArgItem items[] = {ArgRaw(port), ArgOf(block)};
        if (!client.RemoteProc(message, CArgListA(items))) return 0;
    }
    return 1;
}

} // namespace serialshare
