#include "tests/sim/ClockSim.h"

#include <algorithm>
#include <chrono>

namespace kestsim {

namespace {

uint8_t Bcd(int value)
{
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

uint8_t Bin(int value)
{
    return static_cast<uint8_t>(value);
}

// The next second of the clock; days stay within the 28 every month has.
ClockSim::Time Next(ClockSim::Time t)
{
    if (++t.second < 60) return t;
    t.second = 0;
    if (++t.minute < 60) return t;
    t.minute = 0;
    if (++t.hour < 24) return t;
    t.hour = 0;
    t.weekday = t.weekday % 7 + 1;
    if (++t.day > 28) t.day = 1;
    return t;
}

} // namespace

ClockSim::ClockSim(PtyPair &pty, Model model) : model_(model), peer_(pty) {}

ClockSim::~ClockSim()
{
    Stop();
}

std::vector<Bytes> ClockSim::Blocks(Model model, const Time &t)
{
    const int yy = t.year % 100;
    switch (model) {
    case Model::SY:
        return {{0x55, Bin(t.hour), Bin(t.minute), Bin(t.second)}};
    case Model::BJSX:
        return {{0x40, 0x40, 0x02, 0xFD, Bcd(t.hour), Bcd(t.minute), Bcd(t.second)}};
    case Model::MCG:
        return {{0xAA, 0x14, Bin(yy), Bin(t.month), Bin(t.day), Bin(t.weekday), Bin(t.hour),
                 Bin(t.minute), Bin(t.second)}};
    case Model::Z3400:
        return {{0xAA, 0x01, Bcd(yy), Bcd(t.month), Bcd(t.day), Bcd(t.weekday), Bcd(t.hour),
                 Bcd(t.minute), Bcd(t.second)}};
    case Model::ST3100:
        return {{0xAA, 0x01, 0x02, 0x03, Bcd(yy), Bcd(t.month), Bcd(t.day), Bcd(t.weekday),
                 Bcd(t.hour), Bcd(t.minute), Bcd(t.second), 0x00}};
    case Model::KHC3400:
        return {{0xAA, 0xAA, 0xAA, Bin(t.second), Bin(t.minute), Bin(t.hour), Bin(t.weekday),
                 Bin(t.day), Bin(t.month), Bin(yy), 0x00, 0x00}};
    case Model::TVZ3100:
        return {{0xAA, 0x00, Bcd(yy), Bcd(t.month), Bcd(t.day), Bcd(t.weekday), Bcd(t.hour),
                 Bcd(t.minute)},
                {Bcd(t.second)}};
    }
    return {};
}

void ClockSim::Run(Time start, int seconds, uint32_t periodMs, Bytes garbage)
{
    Stop();
    stop_ = false;
    runner_ = std::thread([this, start, seconds, periodMs, garbage] {
        Time now = start;
        for (int i = 0; i < seconds && !stop_; ++i, now = Next(now)) {
            std::vector<Bytes> blocks = Blocks(model_, now);
            blocks.front().insert(blocks.front().begin(), garbage.begin(), garbage.end());
            for (const Bytes &block : blocks) {
                Send(peer_.Shape(block));
                // Apart from the next block by more than the line gathers into one chunk.
                std::this_thread::sleep_for(std::chrono::milliseconds(periodMs / 2));
            }
            ++sent_;
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs - periodMs / 2));
        }
    });
}

void ClockSim::Send(const Answer &block)
{
    if (block.silent) return;
    Bytes all = block.garbage;
    all.insert(all.end(), block.bytes.begin(), block.bytes.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(block.delayMs));
    const size_t size = block.chunkSize ? block.chunkSize : all.size();
    for (size_t at = 0; at < all.size() && !stop_; at += size) {
        if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(block.gapMs));
        const size_t end = std::min(all.size(), at + size);
        peer_.Send(
            Bytes(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(end)));
    }
}

void ClockSim::Join()
{
    if (runner_.joinable()) runner_.join();
}

void ClockSim::Stop()
{
    stop_ = true;
    Join();
}

} // namespace kestsim
