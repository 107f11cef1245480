// The framework's reference-counted byte buffer, split into a head part and a data part that
// follows it. A packet uses a block of its own (grown in steps of 64 bytes) or a buffer that
// the caller supplies (never grown or freed; writes are cut to its size). CPacket is the
// handle that packets travel in: copying it adds a reference, destroying it releases one.
//
// Packets come off the network: every offset and size is checked, and negative ones are
// refused.
#pragma once

#include "KestLib20/KestLibApi.h"

#include <cstdint>

class KESTLIB_SHARED_TYPE CPacketData {
public:
    static constexpr int kBlockStep = 64;
    // Largest block that ReadAsBlock accepts (0xA0000 bytes).
    static constexpr int32_t kMaxBlock = 655360;

    // With a null buffer the packet allocates a block of its own; otherwise it uses the
    // supplied buffer of `size` bytes. The reference count starts at 0.
    static CPacketData *Create(int headSize, void *buffer, int size);
    CPacketData(int headSize, void *buffer, int size);
    // Same head size, a block of its own holding a copy of the other's head and data.
    CPacketData(const CPacketData &other);
    CPacketData &operator=(const CPacketData &) = delete;
    ~CPacketData();

    int32_t AddRef();
    // Frees the packet when the count drops to 0; returns the count left.
    int32_t Release();

    // Sizes the own block for `dataSize` bytes of data; 0 while a supplied buffer is in use
    // or for a negative size.
    int Resize(int dataSize);
    // Uses a supplied buffer; 0 (nothing changes) for a null buffer or one smaller than the
    // head. The data size is cut to what the buffer holds.
    int SetBuffer(void *buffer, int size);
    // Negative values become 0.
    void SetHeadSize(int headSize);
    // Cut to the buffer size less the head size; never below 0.
    void SetDataSize(int dataSize);

    int GetHeadSize() const { return m_nHeadSize; }
    int GetDataSize() const { return m_nDataSize; }
    int GetBufferSize() const { return m_nBufferSize; }
    // The head part (the buffer's start); null without a buffer.
    uint8_t *GetHead() const { return m_pBuffer; }
    // The data part; null without a buffer or when the buffer is smaller than the head.
    uint8_t *GetData() const;

    // Copies a whole packet image (head included) to the buffer's start; the data size
    // becomes the bytes copied less the head size. 0 for null bytes or an image smaller than
    // the head (or than 1 byte); else the bytes copied.
    int CopyFrom(const void *bytes, int size);
    // Takes the other's head size, then its head and data bytes.
    int CopyFrom(const CPacketData &other);

    // Writes into the data part at `offset`; the own block grows, a supplied buffer cuts the
    // write. The bytes written (0 when nothing fits or for negative arguments).
    int Write(const void *bytes, int offset, int size);
    // Reads from the data part at `offset`, cut to the data there. The bytes read (0 when
    // nothing is there or for negative arguments).
    int Read(void *out, int offset, int size) const;
    // Reads a block behind a 32-bit little-endian length (0 to 655360) at `offset`. `size`
    // comes in as the capacity of `out` and goes out as the bytes taken (a longer block is
    // cut); `offset` moves past the whole block. False when the length or the block cannot
    // be read whole or the length is out of range.
    bool ReadAsBlock(int &offset, void *out, int &size) const;

private:
    // Makes the own block `bytes` long (0 when that fails), keeping what it holds.
    bool SetOwnBlock(int bytes);
    // Grows the own block to hold `bytes` bytes in all; false for a supplied buffer.
    bool Reserve(int bytes);
    static int BlockSizeFor(int bytes);

    uint8_t *m_pBuffer = nullptr;
    int32_t m_nBufferSize = 0;
    int32_t m_nHeadSize = 0;
    int32_t m_nDataSize = 0;
    uint8_t *m_pOwnBlock = nullptr;
    int32_t m_nOwnBlockSize = 0;
    volatile int32_t m_nRef = 0;
};

class KESTLIB_SHARED_TYPE CPacket {
public:
    CPacket() = default;
    // Adds a reference to `data` (may be null).
    explicit CPacket(CPacketData *data);
    CPacket(const CPacket &other);
    CPacket(CPacket &&other) noexcept : m_pData(other.m_pData) { other.m_pData = nullptr; }
    CPacket &operator=(const CPacket &other);
    CPacket &operator=(CPacket &&other) noexcept;
    ~CPacket();

    // The packet data, made empty (head size 0, a 64-byte block) when the handle has none.
    CPacketData *GetPacketData();
    // The packet data or null; makes nothing.
    CPacketData *Peek() const { return m_pData; }
    CPacketData *operator->() { return GetPacketData(); }
    bool IsEmpty() const { return m_pData == nullptr; }
    // Releases the handle's reference.
    void Empty();

private:
    CPacketData *m_pData = nullptr;
};
