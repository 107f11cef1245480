// The telnet input decoder over arbitrary bytes, the way the shell consumes them: every item
// takes bytes it was given, and the input is used up without a stall.
#include "tests/fuzz/FuzzInput.h"

#include "devext/device/TelnetDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int at = 0;
    const int count = static_cast<int>(size);
    while (at < count) {
        const telnet::Item item = telnet::Decode(data + at, count - at);
        if (item.kind == telnet::Item::NeedMore) break;
        if (item.kind == telnet::Item::Discard) {
            at = count;
            break;
        }
        FUZZ_CHECK(item.length >= 1 && item.length <= count - at);
        if (item.kind == telnet::Item::Char) FUZZ_CHECK(item.value > 0 && item.value < 256);
        at += item.length;
    }
    FUZZ_CHECK(at <= count);
    return 0;
}
