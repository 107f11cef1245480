// Argument lists: ordered, typed references to a caller's own variables. A call between
// processes packs the referenced values, in list order, into the data part of a packet, and
// the receiver unpacks them into the variables its own list references. Both sides build
// lists of the same shape: the bytes say nothing about the types that follow. Lists and items
// own neither each other nor the variables; they are built on the stack next to those:
//
//     int32_t port = 0;
//     CString name;
//     tagArgItem items[] = {ArgRaw(port), ArgOf(name)};
//     CArgListA args(items);
#pragma once

#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

class CArgListA;
class CPacketStream;

// The type word of an item: bits 0-11 the type id, bits 12-13 the pointer depth, bits 14-15
// 01 for a raw value of the item's size (any other pattern: one of the class types).
enum ArgTypeWord : uint16_t {
    ARG_ID_MASK = 0x0FFF,
    ARG_DEPTH_MASK = 0x3000,
    ARG_DEPTH_SHIFT = 12,
    ARG_KIND_MASK = 0xC000,
    ARG_RAW = 0x4000,

    ARG_TEXT = 0x1002,  // a char pointer to a zero-terminated text
    ARG_CHARS = 0x4010, // a character array in place, packed raw
    ARG_CSTRING = 131,
    ARG_STRING_ARRAY = 144,
    ARG_BYTE_ARRAY = 145,
    ARG_WORD_ARRAY = 146,
    ARG_UINT_ARRAY = 147,
    ARG_DWORD_ARRAY = 148,
    ARG_INT32_ARRAY = 149,
    ARG_DOUBLE_ARRAY = 150,
    ARG_LIST = 193,
    ARG_BUFFER = 196,
};

// The array kinds that have no class-library name of their own.
using ArgWordArray = CArray<uint16_t, uint16_t>;
using ArgInt32Array = CArray<int32_t, int32_t>;
using ArgDoubleArray = CArray<double, double>;

// A byte buffer: packs `length` bytes; unpacking takes a block only when `length` (the
// capacity) is at least its size, and sets `length` to the bytes read.
struct tagArgBuffer {
    void *data = nullptr;
    int32_t length = 0;
};

struct DEVEXT20_API tagArgItem {
    void *pValue = nullptr;
    uint16_t nType = 0;
    uint16_t nSize = 0; // bytes of a raw value; the capacity of a text's buffer

    int GetTypeId() const { return nType & ARG_ID_MASK; }
    int GetDepth() const { return (nType & ARG_DEPTH_MASK) >> ARG_DEPTH_SHIFT; }
    bool IsRaw() const { return (nType & ARG_KIND_MASK) == ARG_RAW; }

    // The accessors below work on raw items of depth 0 with a value and answer 0 otherwise.
    // Size 1 and 2 are sign-extended, 4 and above give the first 4 bytes, 3 gives 0.
    int GetAsInteger(int32_t &value) const;
    // Size 1 and 2 store the low byte or word, 8 the value sign-extended to 64 bits, 4 and
    // above otherwise 4 bytes; size 3 gives 0.
    int SetInteger(int32_t value);
    // Size 4 is a float, 8 and above the first 8 bytes; other sizes give 0.
    int GetAsDouble(double &value) const;
    int SetDouble(double value);
    // Copy the smaller of `length` and the size; the bytes copied (0 for a length below 1 or
    // a null buffer).
    int SetBytes(const void *source, int length);
    int GetBytes(void *target, int length) const;

    // The characters of a text (id 2, depth 1) or of a character array (id 16, raw, depth 0);
    // otherwise null.
    char *GetAsString() const;
    // The item one pointer level down: the pointer becomes the value it points at (null when
    // it is null) and the depth drops by one; id, raw bit and size stay. Depth 0 gives an
    // item without a value.
    tagArgItem Dereference() const;
};

class DEVEXT20_API CArgListA {
public:
    CArgListA() = default;
    CArgListA(tagArgItem *items, int count) : m_nCount(items ? count : 0), m_pItems(items) {}
    template <size_t N> CArgListA(tagArgItem (&items)[N]) : CArgListA(items, static_cast<int>(N)) {}

    int GetCount() const { return m_nCount; }
    tagArgItem &operator[](int index) const { return m_pItems[index]; }

    // The process-wide list without values, for replies that carry none.
    static const CArgListA &Empty();

    // Packs the values, in order, into the packet's data part from its start; 1 when every
    // byte was written.
    int Pack(CPacket &packet) const;
    // Unpacks the packet's data part from its start into the variables; 1 when every item was
    // read. Counts and lengths are checked before use: a text or a count beyond 0xA0000, or
    // one that the data cannot hold, is refused and unpacking stops there.
    int Unpack(CPacket &packet) const;
    // The same at the stream's position; the stream's state tells what went wrong.
    int Pack(CPacketStream &stream) const;
    int Unpack(CPacketStream &stream) const;

private:
    int m_nCount = 0;
    tagArgItem *m_pItems = nullptr;
};

// Items for the values a list references.
template <class T> tagArgItem ArgRaw(T &value, uint16_t id = 0)
{
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= 0xFFFF);
    return {const_cast<std::remove_const_t<T> *>(&value), static_cast<uint16_t>(ARG_RAW | id),
            static_cast<uint16_t>(sizeof(T))};
}
// A text to receive into `buffer` of `capacity` bytes (the terminating zero included).
inline tagArgItem ArgText(char *buffer, uint16_t capacity)
{
    return {buffer, ARG_TEXT, capacity};
}
// A text to send; it has no room to receive into.
inline tagArgItem ArgText(const char *text)
{
    return {const_cast<char *>(text), ARG_TEXT, 0};
}
template <size_t N> tagArgItem ArgChars(char (&chars)[N])
{
    static_assert(N <= 0xFFFF);
    return {chars, ARG_CHARS, static_cast<uint16_t>(N)};
}

// The type id of each class type an item can reference; 0 for any other type.
template <class T> constexpr uint16_t ArgClassId()
{
    using std::is_same_v;
    if constexpr (is_same_v<T, CString>) return ARG_CSTRING;
    if constexpr (is_same_v<T, CStringArray>) return ARG_STRING_ARRAY;
    if constexpr (is_same_v<T, CByteArray>) return ARG_BYTE_ARRAY;
    if constexpr (is_same_v<T, ArgWordArray>) return ARG_WORD_ARRAY;
    if constexpr (is_same_v<T, CUIntArray>) return ARG_UINT_ARRAY;
    if constexpr (is_same_v<T, CDWordArray>) return ARG_DWORD_ARRAY;
    if constexpr (is_same_v<T, ArgInt32Array>) return ARG_INT32_ARRAY;
    if constexpr (is_same_v<T, ArgDoubleArray>) return ARG_DOUBLE_ARRAY;
    if constexpr (is_same_v<T, CArgListA>) return ARG_LIST;
    if constexpr (is_same_v<T, tagArgBuffer>) return ARG_BUFFER;
    return 0;
}

// A value of one of the class types. A nested list is only read through, so it may be const.
template <class T> tagArgItem ArgOf(T &value)
{
    using Plain = std::remove_const_t<T>;
    static_assert(ArgClassId<Plain>() != 0, "not a type an argument list carries");
    static_assert(!std::is_const_v<T> || std::is_same_v<Plain, CArgListA>);
    return {const_cast<Plain *>(&value), ArgClassId<Plain>(), 0};
}
