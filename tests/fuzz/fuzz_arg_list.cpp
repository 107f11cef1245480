// Argument lists unpacked from arbitrary packet data into lists of every shape the system
// builds (raw values, texts, character arrays, strings, arrays, buffers, nested lists): the
// variables receive at most what they can hold, and whatever was unpacked packs again.
#include "tests/fuzz/FuzzInput.h"

#include "devext/device/CArgListA.h"

#include <cstring>

namespace {

// The variables of one list; items reference them.
struct Values {
    int32_t i32 = 0;
    int16_t i16 = 0;
    double d = 0;
    char text[24] = {};
    char chars[10] = {};
    CString string;
    CStringArray strings;
    CByteArray bytes;
    ArgWordArray words;
    CUIntArray uints;
    CDWordArray dwords;
    ArgInt32Array ints;
    ArgDoubleArray doubles;
    uint8_t block[40] = {};
    tagArgBuffer buffer{block, sizeof block};
    int32_t nested1 = 0;
    CString nested2;
    tagArgItem nestedItems[2] = {ArgRaw(nested1), ArgOf(nested2)};
    CArgListA nested{nestedItems};
};

tagArgItem Item(Values &v, int kind)
{
    switch (kind) {
    case 0:
        return ArgRaw(v.i32);
    case 1:
        return ArgRaw(v.i16);
    case 2:
        return ArgRaw(v.d);
    case 3:
        return ArgText(v.text, sizeof v.text);
    case 4:
        return ArgChars(v.chars);
    case 5:
        return ArgOf(v.string);
    case 6:
        return ArgOf(v.strings);
    case 7:
        return ArgOf(v.bytes);
    case 8:
        return ArgOf(v.words);
    case 9:
        return ArgOf(v.uints);
    case 10:
        return ArgOf(v.dwords);
    case 11:
        return ArgOf(v.ints);
    case 12:
        return ArgOf(v.doubles);
    case 13:
        return ArgOf(v.buffer);
    default:
        return ArgOf(v.nested);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int count = in.Choice(6) + 1;
    int kinds[6];
    for (int i = 0; i < count; ++i) kinds[i] = in.Choice(15);
    Values values;
    tagArgItem items[6];
    for (int i = 0; i < count; ++i) items[i] = Item(values, kinds[i]);
    const std::vector<uint8_t> bytes = in.Rest();

    CPacket packet(CPacketData::Create(0, nullptr, 0));
    packet->Write(bytes.data(), 0, static_cast<int>(bytes.size()));
    const CArgListA list(items, count);
    if (list.Unpack(packet) != 1) return 0;
    FUZZ_CHECK(std::memchr(values.text, 0, sizeof values.text) != nullptr);
    FUZZ_CHECK(values.buffer.length >= 0 && values.buffer.length <= int32_t(sizeof values.block));
    // What a list took in, it gives out again, and that reads back the same.
    CPacket repacked(CPacketData::Create(0, nullptr, 0));
    FUZZ_CHECK(list.Pack(repacked) == 1);
    Values second;
    tagArgItem again[6];
    for (int i = 0; i < count; ++i) again[i] = Item(second, kinds[i]);
    FUZZ_CHECK(CArgListA(again, count).Unpack(repacked) == 1);
    FUZZ_CHECK(second.i32 == values.i32 && second.string == values.string);
    FUZZ_CHECK(std::strcmp(second.text, values.text) == 0);
    FUZZ_CHECK(second.strings.GetSize() == values.strings.GetSize());
    FUZZ_CHECK(second.bytes.GetSize() == values.bytes.GetSize());
    return 0;
}
