// The telnet input decoder over arbitrary blocks in a room of any size, the way the shell
// feeds it: every item is a character byte, an erasure or a command it knows.
#include "tests/fuzz/FuzzInput.h"

#include "devext/device/TelnetDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    telnet::CInputDecoder decoder(1 + in.Byte() % 32);
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        for (const telnet::Item &item : decoder.Feed(block.data(), block.size())) {
            switch (item.kind) {
            case telnet::Item::Char:
                FUZZ_CHECK(item.value > 0 && item.value < 256 && item.option == 0);
                break;
            case telnet::Item::Erase:
                FUZZ_CHECK(item.value == telnet::EC);
                break;
            case telnet::Item::Command:
                FUZZ_CHECK(item.value >= telnet::NOP && item.value <= telnet::DONT &&
                           item.value != telnet::EC && item.value != telnet::SB &&
                           item.value != 242 && item.value != 249);
                break;
            }
        }
    }
    return 0;
}
