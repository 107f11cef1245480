#include "drivers/sources/vtr/CSerialUVW.h"

#include "devext/device/CSerial_M422.h"
#include "drivers/model/DeviceCalls.h"

#include <cstdlib>

IMPLEMENT_KEST_CLASS(CSerialUVW, CSerialIO)

namespace {

constexpr uint8_t kPlay = 0x3A;
constexpr uint8_t kStop = 0x3F;
constexpr uint8_t kEject = 0x2A;
constexpr uint8_t kSearchForward = 0xAB;
constexpr uint8_t kSearchReverse = 0xAC;

void PutDigits(uint8_t *out, int value)
{
    out[0] = static_cast<uint8_t>('0' + value / 10 % 10);
    out[1] = static_cast<uint8_t>('0' + value % 10);
}

} // namespace

CSerialUVW::CSerialUVW()
{
    SetLine({1, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()});
}

CSerialUVW::~CSerialUVW()
{
    DevClose();
}

int CSerialUVW::Send(const uint8_t *bytes, int length)
{
    // A task unit's thread that is to stop sends nothing.
    if (CCallingUnit::Stopped()) return 0;
    return DevWrite(reinterpret_cast<const char *>(bytes), length) > 0 ? 1 : 0;
}

int CSerialUVW::Play()
{
    return Send(&kPlay, 1);
}

int CSerialUVW::Stop()
{
    return Send(&kStop, 1);
}

int CSerialUVW::Eject()
{
    return Send(&kEject, 1);
}

int CSerialUVW::SearchForward()
{
    return Send(&kSearchForward, 1);
}

int CSerialUVW::SearchReverse()
{
    return Send(&kSearchReverse, 1);
}

void CSerialUVW::BuildCue(int32_t frames, uint8_t out[kCueFrameSize])
{
    const int64_t magnitude = std::llabs(static_cast<int64_t>(frames));
    out[0] = 0xA0;
    out[1] = 0xDF;
    out[2] = 0x93;
    out[3] = frames >= 0 ? 0xA1 : 0xA2;
    PutDigits(out + 4, static_cast<int>(magnitude / 90000));
    PutDigits(out + 6, static_cast<int>(magnitude / 1500 % 60));
    PutDigits(out + 8, static_cast<int>(magnitude / 25 % 60));
    PutDigits(out + 10, static_cast<int>(magnitude % 25));
    out[12] = 0x40;
}

int CSerialUVW::CueTo(int32_t frames)
{
    uint8_t frame[kCueFrameSize];
    BuildCue(frames, frame);
    return Send(frame, kCueFrameSize);
}
