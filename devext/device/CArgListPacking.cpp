// Packing and unpacking of argument lists. Unpacking reads what another process sent: every
// length and count is checked against the limit on receipt and against the data that is
// really there before anything is read or resized, and a variable is written only once its
// whole value has been read.
#include "devext/device/CArgListA.h"
#include "devext/device/CPacketStream.h"

#include <bit>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// The largest text length or element count a received list may announce.
constexpr uint32_t kMaxOnReceipt = 0xA0000;

// The unsigned integer of T's size, through which T is written little-endian.
template <class T>
using UIntOf =
    std::conditional_t<sizeof(T) == 1, uint8_t,
                       std::conditional_t<sizeof(T) == 2, uint16_t,
                                          std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;

template <class T> void PutLE(uint8_t *out, T value)
{
    const auto bits = std::bit_cast<UIntOf<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

template <class T> T GetLE(const uint8_t *in)
{
    UIntOf<T> bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        bits |= static_cast<UIntOf<T>>(static_cast<UIntOf<T>>(in[i]) << (8 * i));
    return std::bit_cast<T>(bits);
}

bool PutCount(CPacketStream &s, size_t count)
{
    uint8_t bytes[4];
    PutLE(bytes, static_cast<uint32_t>(count));
    return s.Write(bytes, 4) == 4;
}

bool PutBytes(CPacketStream &s, const void *data, size_t length)
{
    if (!PutCount(s, length)) return false;
    return length == 0 || s.Write(data, static_cast<int>(length)) == static_cast<int>(length);
}

// Reads exactly `length` bytes; when fewer remain nothing is read and the state is short.
bool Take(CPacketStream &s, void *out, uint32_t length)
{
    if (length > static_cast<uint32_t>(s.Remaining())) {
        s.SetShort();
        return false;
    }
    return length == 0 || s.Read(out, static_cast<int>(length)) == static_cast<int>(length);
}

bool Skip(CPacketStream &s, uint32_t length)
{
    if (length > static_cast<uint32_t>(s.Remaining())) {
        s.SetShort();
        return false;
    }
    s.Seek(static_cast<int>(length), CPacketStream::FROM_POSITION);
    return true;
}

bool GetCount(CPacketStream &s, uint32_t &count)
{
    uint8_t bytes[4];
    if (!Take(s, bytes, 4)) return false;
    count = GetLE<uint32_t>(bytes);
    return true;
}

// A received text length: within the limit (else the state is short) and within the data.
bool GetLength(CPacketStream &s, uint32_t &length)
{
    if (!GetCount(s, length)) return false;
    if (length > kMaxOnReceipt || length > static_cast<uint32_t>(s.Remaining())) {
        s.SetShort();
        return false;
    }
    return true;
}

// A received element count: within the limit (else the count error), and `unit` bytes at
// least for each element within the data (else the state is short).
bool GetElementCount(CPacketStream &s, uint32_t &count, uint32_t unit)
{
    if (!GetCount(s, count)) return false;
    if (count > kMaxOnReceipt) {
        s.SetError();
        return false;
    }
    if (uint64_t{count} * unit > static_cast<uint64_t>(s.Remaining())) {
        s.SetShort();
        return false;
    }
    return true;
}

// --- Values: Pack and Unpack of each kind ---------------------------------------------------

bool PackText(CPacketStream &s, const char *text)
{
    return PutBytes(s, text, text ? std::strlen(text) : 0);
}

// Into the caller's buffer of `capacity` bytes: a text with no room for its terminating zero
// is refused, never cut or written past the buffer.
bool UnpackText(CPacketStream &s, char *buffer, uint32_t capacity)
{
    uint32_t length;
    if (!GetLength(s, length)) return false;
    if (!buffer) return Skip(s, length);
    if (length >= capacity) {
        s.SetShort();
        return false;
    }
    if (!Take(s, buffer, length)) return false;
    buffer[length] = '\0';
    return true;
}

bool PackRaw(CPacketStream &s, const tagArgItem &item)
{
    if (item.nSize == 0) return true;
    if (item.pValue) return s.Write(item.pValue, item.nSize) == item.nSize;
    const std::vector<uint8_t> zeros(item.nSize);
    return s.Write(zeros.data(), item.nSize) == item.nSize;
}

bool UnpackRaw(CPacketStream &s, const tagArgItem &item)
{
    return item.pValue ? Take(s, item.pValue, item.nSize) : Skip(s, item.nSize);
}

bool Pack(CPacketStream &s, const CString &text)
{
    return PutBytes(s, text.GetString(), static_cast<size_t>(text.GetLength()));
}

bool Unpack(CPacketStream &s, CString &text)
{
    uint32_t length;
    if (!GetLength(s, length)) return false;
    std::string bytes(length, '\0');
    if (!Take(s, bytes.data(), length)) return false;
    text = CString(bytes.data(), static_cast<int>(length));
    return true;
}

bool Pack(CPacketStream &s, const CStringArray &list)
{
    if (!PutCount(s, static_cast<size_t>(list.GetSize()))) return false;
    for (const CString &text : list)
        if (!Pack(s, text)) return false;
    return true;
}

bool Unpack(CPacketStream &s, CStringArray &list)
{
    uint32_t count;
    if (!GetElementCount(s, count, 4)) return false;
    CStringArray read;
    read.SetSize(static_cast<int>(count));
    for (CString &text : read)
        if (!Unpack(s, text)) return false;
    list.Copy(read);
    return true;
}

// The arrays of numbers (bytes, words, 32-bit values, doubles).
template <class T> bool Pack(CPacketStream &s, const CArray<T, T> &list)
{
    std::vector<uint8_t> bytes(4 + sizeof(T) * static_cast<size_t>(list.GetSize()));
    PutLE(bytes.data(), static_cast<uint32_t>(list.GetSize()));
    uint8_t *at = bytes.data() + 4;
    for (const T &value : list) {
        PutLE(at, value);
        at += sizeof(T);
    }
    return s.Write(bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
}

template <class T> bool Unpack(CPacketStream &s, CArray<T, T> &list)
{
    uint32_t count;
    if (!GetElementCount(s, count, sizeof(T))) return false;
    std::vector<uint8_t> bytes(sizeof(T) * count);
    if (!Take(s, bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
    list.SetSize(static_cast<int>(count));
    for (uint32_t i = 0; i < count; ++i)
        list[static_cast<int>(i)] = GetLE<T>(&bytes[sizeof(T) * i]);
    return true;
}

bool Pack(CPacketStream &s, const CArgListA &list)
{
    return list.Pack(s) != 0;
}

bool Unpack(CPacketStream &s, const CArgListA &list)
{
    return list.Unpack(s) != 0;
}

bool Pack(CPacketStream &s, const tagArgBuffer &buffer)
{
    const size_t length = buffer.data && buffer.length > 0 ? static_cast<size_t>(buffer.length) : 0;
    return PutBytes(s, buffer.data, length);
}

// Only into a buffer whose capacity holds the whole block.
bool Unpack(CPacketStream &s, tagArgBuffer &buffer)
{
    uint32_t length;
    if (!GetLength(s, length)) return false;
    const uint32_t capacity =
        buffer.data && buffer.length > 0 ? static_cast<uint32_t>(buffer.length) : 0;
    if (length > capacity) {
        s.SetShort();
        return false;
    }
    if (!Take(s, buffer.data, length)) return false;
    buffer.length = static_cast<int32_t>(length);
    return true;
}

// --- Items -------------------------------------------------------------------------------

bool IsText(const tagArgItem &item)
{
    return !item.IsRaw() && item.GetDepth() == 1 && item.GetTypeId() == (ARG_TEXT & ARG_ID_MASK);
}

// Calls `visit` with the variable of a class-type item as a pointer of its type (null when
// the item has none); items of any other type are skipped.
template <class Visit> bool VisitClassValue(const tagArgItem &item, Visit visit)
{
    if (item.GetDepth() != 0) return true;
    void *v = item.pValue;
    switch (item.GetTypeId()) {
    case ARG_CSTRING:
        return visit(static_cast<CString *>(v));
    case ARG_STRING_ARRAY:
        return visit(static_cast<CStringArray *>(v));
    case ARG_BYTE_ARRAY:
        return visit(static_cast<CByteArray *>(v));
    case ARG_WORD_ARRAY:
        return visit(static_cast<ArgWordArray *>(v));
    case ARG_UINT_ARRAY:
        return visit(static_cast<CUIntArray *>(v));
    case ARG_DWORD_ARRAY:
        return visit(static_cast<CDWordArray *>(v));
    case ARG_INT32_ARRAY:
        return visit(static_cast<ArgInt32Array *>(v));
    case ARG_DOUBLE_ARRAY:
        return visit(static_cast<ArgDoubleArray *>(v));
    case ARG_LIST:
        return visit(static_cast<CArgListA *>(v));
    case ARG_BUFFER:
        return visit(static_cast<tagArgBuffer *>(v));
    default:
        return true;
    }
}

bool PackItem(CPacketStream &s, const tagArgItem &item)
{
    if (item.IsRaw()) return item.GetDepth() != 0 || PackRaw(s, item);
    if (IsText(item)) return PackText(s, static_cast<const char *>(item.pValue));
    // An item without a variable packs the empty value of its type.
    return VisitClassValue(item, [&s](auto *value) {
        using T = std::remove_pointer_t<decltype(value)>;
        static const T empty{};
        return Pack(s, value ? *value : empty);
    });
}

bool UnpackItem(CPacketStream &s, const tagArgItem &item)
{
    if (item.IsRaw()) return item.GetDepth() != 0 || UnpackRaw(s, item);
    if (IsText(item)) return UnpackText(s, static_cast<char *>(item.pValue), item.nSize);
    // An item without a variable is read into a scratch one that is dropped, so the items
    // after it stay in step; a buffer without a variable is read past.
    return VisitClassValue(item, [&s](auto *value) {
        using T = std::remove_pointer_t<decltype(value)>;
        if (value) return Unpack(s, *value);
        if constexpr (std::is_same_v<T, tagArgBuffer>) {
            uint32_t length;
            return GetLength(s, length) && Skip(s, length);
        } else {
            T scratch{};
            return Unpack(s, scratch);
        }
    });
}

} // namespace

int CArgListA::Pack(CPacketStream &stream) const
{
    for (int i = 0; i < m_nCount && stream.IsGood(); ++i)
        if (!PackItem(stream, m_pItems[i])) break;
    return stream.IsGood() ? 1 : 0;
}

int CArgListA::Unpack(CPacketStream &stream) const
{
    for (int i = 0; i < m_nCount && stream.IsGood(); ++i)
        if (!UnpackItem(stream, m_pItems[i])) break;
    return stream.IsGood() ? 1 : 0;
}

int CArgListA::Pack(CPacket &packet) const
{
    CPacketStream stream(packet);
    return Pack(stream);
}

int CArgListA::Unpack(CPacket &packet) const
{
    CPacketStream stream(packet);
    return Unpack(stream);
}
