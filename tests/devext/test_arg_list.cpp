// Argument lists: the packed bytes of every value type, round trips, the checks that refuse
// what a peer may send (truncated data, lengths and counts beyond the limit on receipt or
// beyond the data), the item accessors, the packet stream and the FormatString adapter.
#include "devext/device/CArgListA.h"
#include "devext/device/CArgListFormatArgs.h"
#include "devext/device/CPacketStream.h"
#include "devext/device/NetHead.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes DataOf(CPacket &packet)
{
    CPacketData *data = packet.GetPacketData();
    return Bytes(data->GetData(), data->GetData() + data->GetDataSize());
}

// A packet with a network head whose data part holds `bytes`, as one arrives.
CPacket Received(const Bytes &bytes)
{
    CPacket packet = glNewNetPacket();
    if (!bytes.empty()) packet->Write(bytes.data(), 0, static_cast<int>(bytes.size()));
    return packet;
}

Bytes U32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Text(const std::string &s)
{
    return Cat({U32(static_cast<uint32_t>(s.size())), Bytes(s.begin(), s.end())});
}

// One variable of every packed kind, with the list that references them.
struct AllKinds {
    int32_t i32 = 0;
    uint16_t u16 = 0;
    char text[8] = {};
    const char *nullText = nullptr;
    char chars[4] = {};
    CString str;
    CStringArray strings;
    CByteArray bytes;
    ArgWordArray words;
    CUIntArray uints;
    CDWordArray dwords;
    ArgInt32Array ints;
    ArgDoubleArray doubles;
    uint8_t innerByte = 0;
    CString innerStr;
    tagArgItem innerItems[2] = {ArgRaw(innerByte), ArgOf(innerStr)};
    CArgListA inner{innerItems};
    uint8_t block[8] = {};
    tagArgBuffer buffer{block, sizeof block};
    int32_t ignored = 0x11111111;

    tagArgItem items[18] = {
        ArgRaw(i32),
        ArgRaw(u16),
        ArgText(text, sizeof text),
        ArgText(nullText),
        ArgChars(chars),
        ArgOf(str),
        ArgOf(strings),
        ArgOf(bytes),
        ArgOf(words),
        ArgOf(uints),
        ArgOf(dwords),
        ArgOf(ints),
        ArgOf(doubles),
        ArgOf(inner),
        ArgOf(buffer),
        // Combinations that are skipped on both sides: a raw value with a pointer depth, a
        // class value with a pointer depth, an id outside the table.
        {&ignored, 0x5004, 4},
        {&ignored, 0x1083, 0},
        {&ignored, 0x0099, 4},
    };
    CArgListA list{items};

    void Fill()
    {
        i32 = 0x01020304;
        u16 = 0xBEEF;
        std::strcpy(text, "hi");
        std::memcpy(chars, "ab\0\0", 4);
        str = "abc";
        strings.Add("a");
        strings.Add("bc");
        bytes.Add(1);
        bytes.Add(2);
        words.Add(0x0102);
        uints.Add(0x01020304u);
        dwords.Add(0xA0B0C0D0u);
        ints.Add(-2);
        doubles.Add(1.0);
        innerByte = 7;
        innerStr = "x";
        std::memcpy(block, "xyz", 3);
        buffer.length = 3;
    }
};

const Bytes kAllKindsPacked = Cat({
    {0x04, 0x03, 0x02, 0x01},                      // int32
    {0xEF, 0xBE},                                  // uint16
    Text("hi"),                                    // text
    U32(0),                                        // null text
    {'a', 'b', 0, 0},                              // character array
    Text("abc"),                                   // CString
    Cat({U32(2), Text("a"), Text("bc")}),          // CStringArray
    Cat({U32(2), {1, 2}}),                         // CByteArray
    Cat({U32(1), {0x02, 0x01}}),                   // words
    Cat({U32(1), {0x04, 0x03, 0x02, 0x01}}),       // CUIntArray
    Cat({U32(1), {0xD0, 0xC0, 0xB0, 0xA0}}),       // CDWordArray
    Cat({U32(1), {0xFE, 0xFF, 0xFF, 0xFF}}),       // int32 array
    Cat({U32(1), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}}), // doubles
    Cat({{7}, Text("x")}),                         // nested list
    Text("xyz"),                                   // buffer
});

} // namespace

TEST(ArgListPacking, EveryKindPacksByteExactAndComesBackWhole)
{
    AllKinds sent;
    sent.Fill();
    CPacket packet = glNewNetPacket();
    ASSERT_EQ(sent.list.Pack(packet), 1);
    EXPECT_EQ(DataOf(packet), kAllKindsPacked);
    EXPECT_EQ(packet->GetHeadSize(), tagNetHead::kSize) << "the head part is left alone";

    AllKinds got;
    CPacket arrived = Received(kAllKindsPacked);
    ASSERT_EQ(got.list.Unpack(arrived), 1);
    EXPECT_EQ(got.i32, sent.i32);
    EXPECT_EQ(got.u16, sent.u16);
    EXPECT_STREQ(got.text, "hi");
    EXPECT_EQ(std::memcmp(got.chars, "ab\0\0", 4), 0);
    EXPECT_EQ(got.str, "abc");
    ASSERT_EQ(got.strings.GetSize(), 2);
    EXPECT_EQ(got.strings[1], "bc");
    ASSERT_EQ(got.bytes.GetSize(), 2);
    EXPECT_EQ(got.bytes[1], 2);
    EXPECT_EQ(got.words[0], 0x0102);
    EXPECT_EQ(got.uints[0], 0x01020304u);
    EXPECT_EQ(got.dwords[0], 0xA0B0C0D0u);
    EXPECT_EQ(got.ints[0], -2);
    EXPECT_EQ(got.doubles[0], 1.0);
    EXPECT_EQ(got.innerByte, 7);
    EXPECT_EQ(got.innerStr, "x");
    EXPECT_EQ(got.buffer.length, 3);
    EXPECT_EQ(std::memcmp(got.block, "xyz", 3), 0);
    EXPECT_EQ(got.ignored, 0x11111111) << "skipped items are not read";
}

TEST(ArgListPacking, EmptyListsAndNullValues)
{
    CPacket packet = glNewNetPacket();
    EXPECT_EQ(CArgListA::Empty().Pack(packet), 1);
    EXPECT_EQ(packet->GetDataSize(), 0);

    // An item without a variable packs the empty value of its kind and is read past on
    // receipt, so the items after it stay in step.
    tagArgItem sent[] = {{nullptr, ARG_RAW, 2}, {nullptr, ARG_CSTRING, 0}, ArgText(nullptr)};
    ASSERT_EQ(CArgListA(sent).Pack(packet), 1);
    EXPECT_EQ(DataOf(packet), Cat({{0, 0}, U32(0), U32(0)}));

    CPacket arrived = Received(Cat({{9, 9}, Text("skip"), Text("me")}));
    char text[4] = {};
    tagArgItem got[] = {{nullptr, ARG_RAW, 2}, {nullptr, ARG_CSTRING, 0}, ArgText(text, 4)};
    EXPECT_EQ(CArgListA(got).Unpack(arrived), 1);
    EXPECT_STREQ(text, "me");
}

TEST(ArgListReceipt, EveryTruncationIsRefusedWithoutReadingPastTheData)
{
    for (size_t cut = 0; cut < kAllKindsPacked.size(); ++cut) {
        AllKinds got;
        CPacket arrived =
            Received(Bytes(kAllKindsPacked.begin(), kAllKindsPacked.begin() + long(cut)));
        CPacketStream stream(arrived);
        EXPECT_EQ(got.list.Unpack(stream), 0) << cut;
        EXPECT_EQ(stream.GetState(), CPacketStream::STATE_SHORT) << cut;
        EXPECT_LE(stream.GetPosition(), static_cast<int>(cut)) << cut;
    }
}

TEST(ArgListReceipt, TextLengthsBeyondTheLimitOrTheDataAreRefused)
{
    // The limit itself is accepted.
    const std::string longest(0xA0000, 'q');
    CString got = "old";
    tagArgItem item[] = {ArgOf(got)};
    CPacket arrived = Received(Text(longest));
    EXPECT_EQ(CArgListA(item).Unpack(arrived), 1);
    EXPECT_EQ(got.GetLength(), 0xA0000);

    // One more is refused, and nothing is read, even though the data holds the characters.
    got = "old";
    arrived = Received(Text(longest + "q"));
    CPacketStream over(arrived);
    EXPECT_EQ(CArgListA(item).Unpack(over), 0);
    EXPECT_EQ(over.GetState(), CPacketStream::STATE_SHORT);
    EXPECT_EQ(over.GetPosition(), 4);
    EXPECT_EQ(got, "old");

    // A length that the data cannot hold.
    arrived = Received(Cat({U32(100), {'a', 'b', 'c'}}));
    EXPECT_EQ(CArgListA(item).Unpack(arrived), 0);
    EXPECT_EQ(got, "old");
}

TEST(ArgListReceipt, TextsNeverOverrunTheReceivingBuffer)
{
    char buffer[5];
    std::memset(buffer, '#', sizeof buffer);
    tagArgItem item[] = {ArgText(buffer, 4)};
    CPacket fits = Received(Text("abc"));
    EXPECT_EQ(CArgListA(item).Unpack(fits), 1);
    EXPECT_STREQ(buffer, "abc");

    std::memset(buffer, '#', sizeof buffer);
    CPacket tooLong = Received(Text("abcd"));
    EXPECT_EQ(CArgListA(item).Unpack(tooLong), 0) << "no room for the terminating zero";
    EXPECT_EQ(std::string(buffer, sizeof buffer), "#####");

    // A text meant for sending has no room at all.
    tagArgItem sendOnly[] = {ArgText("const")};
    CPacket empty = Received(Text(""));
    EXPECT_EQ(CArgListA(sendOnly).Unpack(empty), 0);
}

TEST(ArgListReceipt, ArrayCountsBeyondTheLimitOrTheDataAreRefused)
{
    CDWordArray values;
    values.Add(42);
    int32_t after = 5;
    tagArgItem items[] = {ArgOf(values), ArgRaw(after)};

    // 0xA0001 is a count error; the array and the item after it stay as they were.
    CPacket over = Received(Cat({U32(0xA0001), Bytes(64, 0)}));
    CPacketStream overStream(over);
    EXPECT_EQ(CArgListA(items).Unpack(overStream), 0);
    EXPECT_EQ(overStream.GetState(), CPacketStream::STATE_COUNT);
    ASSERT_EQ(values.GetSize(), 1);
    EXPECT_EQ(values[0], 42u);
    EXPECT_EQ(after, 5);

    // A count within the limit that the data cannot hold is refused before any resizing.
    CPacket lying = Received(Cat({U32(0xA0000), U32(7), U32(9)}));
    CPacketStream lyingStream(lying);
    EXPECT_EQ(CArgListA(items).Unpack(lyingStream), 0);
    EXPECT_EQ(lyingStream.GetState(), CPacketStream::STATE_SHORT);
    EXPECT_EQ(values.GetSize(), 1);

    // Strings: the count says three, two follow.
    CStringArray names;
    names.Add("keep");
    tagArgItem nameItem[] = {ArgOf(names)};
    CPacket shortList = Received(Cat({U32(3), Text("a"), Text("b")}));
    EXPECT_EQ(CArgListA(nameItem).Unpack(shortList), 0);
    ASSERT_EQ(names.GetSize(), 1);
    EXPECT_EQ(names[0], "keep");
}

TEST(ArgListReceipt, BuffersTakeOnlyWhatTheirCapacityHolds)
{
    uint8_t block[4] = {};
    tagArgBuffer buffer{block, 2};
    tagArgItem item[] = {ArgOf(buffer)};
    CPacket three = Received(Text("xyz"));
    EXPECT_EQ(CArgListA(item).Unpack(three), 0);
    EXPECT_EQ(buffer.length, 2);
    EXPECT_EQ(block[0], 0);

    buffer.length = 4;
    CPacket again = Received(Text("xyz"));
    EXPECT_EQ(CArgListA(item).Unpack(again), 1);
    EXPECT_EQ(buffer.length, 3);
    EXPECT_EQ(std::memcmp(block, "xyz", 3), 0);
}

TEST(ArgItems, IntegerAccessorsFollowTheItemSize)
{
    int8_t i8 = -3;
    int16_t i16 = -2;
    uint8_t three[3] = {1, 2, 3};
    int64_t i64 = (int64_t{5} << 32) | 0xFFFFFFFE;
    int32_t value = 0;
    EXPECT_EQ(ArgRaw(i8).GetAsInteger(value), 1);
    EXPECT_EQ(value, -3);
    tagArgItem word = ArgRaw(i16);
    EXPECT_EQ(word.GetAsInteger(value), 1);
    EXPECT_EQ(value, -2) << "size 2 is sign-extended";
    EXPECT_EQ(ArgRaw(three).GetAsInteger(value), 0);
    EXPECT_EQ(ArgRaw(i64).GetAsInteger(value), 1);
    EXPECT_EQ(value, -2) << "size 8 gives its low half";

    tagArgItem wide = ArgRaw(i64);
    EXPECT_EQ(wide.SetInteger(-7), 1);
    EXPECT_EQ(i64, -7) << "size 8 stores the value sign-extended";
    EXPECT_EQ(word.SetInteger(0x12345), 1);
    EXPECT_EQ(i16, 0x2345);
    tagArgItem odd = ArgRaw(three);
    EXPECT_EQ(odd.SetInteger(1), 0);

    // Only raw values of depth 0 that have a variable.
    int32_t target = 9;
    EXPECT_EQ((tagArgItem{&target, 0x5004, 4}.GetAsInteger(value)), 0);
    EXPECT_EQ((tagArgItem{&target, ARG_CSTRING, 4}.GetAsInteger(value)), 0);
    EXPECT_EQ((tagArgItem{nullptr, ARG_RAW, 4}.GetAsInteger(value)), 0);
}

TEST(ArgItems, DoublesBytesTextsAndDereference)
{
    float f = 0;
    double d = 0;
    double got = 0;
    tagArgItem fi = ArgRaw(f);
    tagArgItem di = ArgRaw(d);
    EXPECT_EQ(fi.SetDouble(1.5), 1);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(fi.GetAsDouble(got), 1);
    EXPECT_EQ(got, 1.5);
    EXPECT_EQ(di.SetDouble(-2.25), 1);
    EXPECT_EQ(d, -2.25);
    int16_t s = 0;
    EXPECT_EQ(ArgRaw(s).GetAsDouble(got), 0);

    uint8_t three[3] = {};
    tagArgItem bytes = ArgRaw(three);
    EXPECT_EQ(bytes.SetBytes("abcdef", 6), 3);
    EXPECT_EQ(std::memcmp(three, "abc", 3), 0);
    char out[2] = {};
    EXPECT_EQ(bytes.GetBytes(out, 2), 2);
    EXPECT_EQ(bytes.GetBytes(out, 0), 0);
    EXPECT_EQ(bytes.SetBytes(nullptr, 3), 0);

    char chars[4] = "xy";
    char text[] = "txt";
    CString str;
    EXPECT_EQ(ArgChars(chars).GetAsString(), chars);
    EXPECT_EQ(ArgText(text, 4).GetAsString(), text);
    EXPECT_EQ(ArgOf(str).GetAsString(), nullptr);

    int32_t value = 77;
    int32_t *pointer = &value;
    int32_t **pointerToPointer = &pointer;
    tagArgItem deep{&pointerToPointer, 0x6000, 4};
    tagArgItem one = deep.Dereference();
    EXPECT_EQ(one.nType, 0x5000);
    EXPECT_EQ(one.pValue, &pointer);
    tagArgItem flat = one.Dereference();
    EXPECT_EQ(flat.nType, ARG_RAW);
    EXPECT_EQ(flat.nSize, 4);
    int32_t read = 0;
    EXPECT_EQ(flat.GetAsInteger(read), 1);
    EXPECT_EQ(read, 77);
    int32_t *none = nullptr;
    EXPECT_EQ((tagArgItem{&none, 0x5000, 4}.Dereference().pValue), nullptr);
}

TEST(PacketStream, ReadsWritesAndSeeksStayWithinTheData)
{
    uint8_t image[tagNetHead::kSize + 4] = {};
    CPacket fixed(CPacketData::Create(tagNetHead::kSize, image, sizeof image));
    CPacketStream out(fixed);
    EXPECT_EQ(out.Write("abcdef", 6), 4) << "a supplied buffer is never grown";
    EXPECT_EQ(out.GetState(), CPacketStream::STATE_SHORT);
    EXPECT_EQ(out.GetPosition(), 4);

    CPacketStream in(fixed);
    char buf[8] = {};
    EXPECT_EQ(in.Seek(1, CPacketStream::FROM_START), 1);
    EXPECT_EQ(in.Seek(1, CPacketStream::FROM_POSITION), 2);
    EXPECT_EQ(in.Seek(3, CPacketStream::FROM_END), 1);
    EXPECT_EQ(in.Seek(-5, CPacketStream::FROM_POSITION), 0);
    EXPECT_EQ(in.Seek(99, CPacketStream::FROM_START), 4);
    in.Seek(2, CPacketStream::FROM_START);
    EXPECT_EQ(in.Read(buf, 5), 2);
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(in.GetState(), CPacketStream::STATE_SHORT);
    EXPECT_EQ(in.GetPosition(), 4);
    in.SetError();
    EXPECT_EQ(in.GetState(), CPacketStream::STATE_COUNT);
}

TEST(ArgListFormat, TemplatesReadTheirArgumentsFromAList)
{
    char letter = 'Z';
    int32_t number = -5;
    CString name = "VTR1";
    uint16_t hex = 0xFF;
    char chars[4] = {'a', 'b', 'c', 'd'}; // no terminating zero: ends with its size
    tagArgItem items[] = {ArgRaw(letter),  ArgRaw(number), ArgOf(name),   ArgRaw(hex),
                          ArgChars(chars), ArgOf(name),    ArgRaw(number)};
    CArgListA list(items);
    CArgListFormatArgs args(list);
    CString out;
    // "%I" meets the CString: the item is used up and gives nothing.
    EXPECT_EQ(FormatString("%C %I %S %X %S [%I] %I %I", &args, out), 1);
    EXPECT_EQ(out, "Z -5 VTR1 FF abcd [] -5 ");
}
