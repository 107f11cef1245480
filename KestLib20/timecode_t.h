// A signed duration or time of day counted in frames at 25 frames a second, as broadcast
// devices count it: clip starts and durations, positions, the station clock's time of day.
// Hours are not wrapped at 24.
#pragma once

#include "KestLib20/KestLibApi.h"

#include <cstdint>

struct KESTLIB_SHARED_TYPE timecode_t {
    static constexpr int32_t kFramesPerSecond = 25;
    static constexpr int32_t kFramesPerHour = 90000;
    // Room a caller's buffer needs for the text form, terminator included.
    static constexpr int kTextSize = 32;

    int32_t nFrames = 0;

    timecode_t() = default;
    timecode_t(int32_t frames) : nFrames(frames) {}
    operator int32_t() const { return nFrames; }

    // Fields of the magnitude; sign +1 from 0 up, -1 below.
    void GetAsDetail(int32_t &hours, int32_t &minutes, int32_t &seconds, int32_t &frames,
                     int32_t *sign = nullptr) const;
    void GetAsDetail(uint8_t &hours, uint8_t &minutes, uint8_t &seconds, uint8_t &frames,
                     int32_t *sign = nullptr) const;
    // The same fields as packed BCD (tens in the high nibble; hours modulo 100).
    void GetAsDetail_BCD(int32_t &hours, int32_t &minutes, int32_t &seconds, int32_t &frames,
                         int32_t *sign = nullptr) const;
    void GetAsDetail_BCD(uint8_t &hours, uint8_t &minutes, uint8_t &seconds, uint8_t &frames,
                         int32_t *sign = nullptr) const;

    int32_t GetHour() const;
    int32_t GetMinute() const;
    int32_t GetSecond() const;
    int32_t GetFrame() const;
    int32_t GetSign() const { return nFrames < 0 ? -1 : 1; }
    // Milliseconds within the second (frames x 40).
    int32_t GetMills() const { return GetFrame() * 40; }
    int32_t GetDay() const { return GetHour() / 24; }

    // Each field by its magnitude: minutes and seconds modulo 60, frames modulo 25, hours
    // limited to +-10,000,000; negative when sign is exactly -1. A result beyond the 32-bit
    // range saturates.
    void SetAsDetail(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames,
                     int32_t sign = 1);
    // Each argument's low byte read as packed BCD (the sign as it is).
    void SetAsDetail_BCD(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames,
                         int32_t sign = 1);

    // "%02d:%02d:%02d:%02d" of the magnitude; a negative value below 10 hours has its first
    // digit replaced by "-" ("-1:00:00:00"), from 10 hours on the "-" goes in front
    // ("-12:00:00:00"). The buffer needs kTextSize characters; null uses the thread's
    // scratch ring.
    const char *GetAsString(char *buffer) const;
    const char16_t *GetAsString(char16_t *buffer) const;
    // The same into a buffer of `size` characters; null when it does not fit.
    const char *ToString(char *buffer, int size) const;
    const char16_t *ToStringW(char16_t *buffer, int size) const;

    // Reads "[-]h:m:s:f" (separators tab, space, "\", ":", ",", ".", "/"; missing fields 0;
    // fields above their range carry over). A null text leaves the value; answers 1 else.
    int SetAsFrames(const char *text);
    int SetAsFrames(const char16_t *text);
};
static_assert(sizeof(timecode_t) == 4, "a timecode is one 32-bit frame count");
