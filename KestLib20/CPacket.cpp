#include "KestLib20/CPacket.h"

#include "platform/Sync.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

CPacketData *CPacketData::Create(int headSize, void *buffer, int size)
{
    return new CPacketData(headSize, buffer, size);
}

CPacketData::CPacketData(int headSize, void *buffer, int size) : m_nHeadSize(std::max(headSize, 0))
{
    if (buffer) {
        m_pBuffer = static_cast<uint8_t *>(buffer);
        m_nBufferSize = std::max(size, 0);
    } else {
        SetOwnBlock(BlockSizeFor(m_nHeadSize));
    }
}

CPacketData::CPacketData(const CPacketData &other) : m_nHeadSize(other.m_nHeadSize)
{
    SetOwnBlock(BlockSizeFor(m_nHeadSize));
    CopyFrom(other);
}

CPacketData::~CPacketData()
{
    free(m_pOwnBlock);
}

int32_t CPacketData::AddRef()
{
    return plat::InterlockedIncrement(&m_nRef);
}

int32_t CPacketData::Release()
{
    const int32_t left = plat::InterlockedDecrement(&m_nRef);
    if (left == 0) delete this;
    return left;
}

int CPacketData::BlockSizeFor(int bytes)
{
    if (bytes < 0 || bytes > INT_MAX - (kBlockStep - 1)) return -1;
    const int rounded = (bytes + kBlockStep - 1) / kBlockStep * kBlockStep;
    return std::max(rounded, kBlockStep);
}

bool CPacketData::SetOwnBlock(int bytes)
{
    if (bytes < 0) return false;
    const bool ownInUse = m_pBuffer == m_pOwnBlock;
    void *block = realloc(m_pOwnBlock, static_cast<size_t>(bytes));
    if (!block) return false;
    m_pOwnBlock = static_cast<uint8_t *>(block);
    // What the block gains is zeroed: a head, a gap before a write or a size set ahead of
    // the data would otherwise go out with whatever the allocation held.
    if (bytes > m_nOwnBlockSize)
        memset(m_pOwnBlock + m_nOwnBlockSize, 0, static_cast<size_t>(bytes - m_nOwnBlockSize));
    m_nOwnBlockSize = bytes;
    if (ownInUse) {
        m_pBuffer = m_pOwnBlock;
        m_nBufferSize = bytes;
        m_nDataSize = std::min(m_nDataSize, std::max(m_nBufferSize - m_nHeadSize, 0));
    }
    return true;
}

bool CPacketData::Reserve(int bytes)
{
    if (m_pBuffer != m_pOwnBlock) return false;
    if (bytes <= m_nOwnBlockSize) return true;
    return SetOwnBlock(BlockSizeFor(bytes));
}

int CPacketData::Resize(int dataSize)
{
    if (m_pBuffer != m_pOwnBlock || dataSize < 0) return 0;
    if (dataSize > INT_MAX - m_nHeadSize) return 0;
    const int bytes = BlockSizeFor(m_nHeadSize + dataSize);
    if (bytes != m_nOwnBlockSize && !SetOwnBlock(bytes)) return 0;
    return 1;
}

int CPacketData::SetBuffer(void *buffer, int size)
{
    if (!buffer || size < m_nHeadSize) return 0;
    m_pBuffer = static_cast<uint8_t *>(buffer);
    m_nBufferSize = size;
    SetDataSize(m_nDataSize);
    return 1;
}

void CPacketData::SetHeadSize(int headSize)
{
    m_nHeadSize = std::max(headSize, 0);
    // The data part must stay inside the buffer.
    SetDataSize(m_nDataSize);
}

void CPacketData::SetDataSize(int dataSize)
{
    m_nDataSize = std::clamp(dataSize, 0, std::max(m_nBufferSize - m_nHeadSize, 0));
}

uint8_t *CPacketData::GetData() const
{
    if (!m_pBuffer || m_nBufferSize < m_nHeadSize) return nullptr;
    return m_pBuffer + m_nHeadSize;
}

int CPacketData::CopyFrom(const void *bytes, int size)
{
    if (!bytes || size < 1 || size < m_nHeadSize) return 0;
    if (!Reserve(size)) {
        if (m_pBuffer == m_pOwnBlock) return 0; // the own block could not grow
        size = std::min(size, m_nBufferSize);
        if (size < 1 || size < m_nHeadSize) return 0;
    }
    memmove(m_pBuffer, bytes, static_cast<size_t>(size));
    m_nDataSize = size - m_nHeadSize;
    return size;
}

int CPacketData::CopyFrom(const CPacketData &other)
{
    if (&other == this) return m_nHeadSize + m_nDataSize;
    m_nHeadSize = other.m_nHeadSize;
    SetDataSize(m_nDataSize);
    return CopyFrom(other.m_pBuffer, other.m_nHeadSize + other.m_nDataSize);
}

int CPacketData::Write(const void *bytes, int offset, int size)
{
    if (!bytes || offset < 0 || size < 1) return 0;
    const int64_t end = int64_t{m_nHeadSize} + offset + size;
    if (end > INT_MAX) return 0;
    if (!Reserve(static_cast<int>(end))) {
        if (m_pBuffer == m_pOwnBlock) return 0;
        size = static_cast<int>(
            std::min<int64_t>(size, int64_t{m_nBufferSize} - m_nHeadSize - offset));
        if (size < 1) return 0;
    }
    memcpy(GetData() + offset, bytes, static_cast<size_t>(size));
    m_nDataSize = std::max(m_nDataSize, offset + size);
    return size;
}

int CPacketData::Read(void *out, int offset, int size) const
{
    if (!out || offset < 0 || size < 1) return 0;
    const int n = std::min(size, m_nDataSize - std::min(offset, m_nDataSize));
    if (n < 1) return 0;
    memcpy(out, GetData() + offset, static_cast<size_t>(n));
    return n;
}

bool CPacketData::ReadAsBlock(int &offset, void *out, int &size) const
{
    uint8_t field[4];
    if (size < 0 || Read(field, offset, 4) != 4) return false;
    const int32_t length =
        static_cast<int32_t>(uint32_t{field[0]} | uint32_t{field[1]} << 8 |
                             uint32_t{field[2]} << 16 | uint32_t{field[3]} << 24);
    if (length < 0 || length > kMaxBlock) return false;
    offset += 4;
    const int take = std::min(length, size);
    if (take > 0 && Read(out, offset, take) != take) return false;
    offset += length;
    size = take;
    return true;
}

CPacket::CPacket(CPacketData *data) : m_pData(data)
{
    if (m_pData) m_pData->AddRef();
}

CPacket::CPacket(const CPacket &other) : CPacket(other.m_pData) {}

CPacket &CPacket::operator=(const CPacket &other)
{
    if (other.m_pData) other.m_pData->AddRef();
    Empty();
    m_pData = other.m_pData;
    return *this;
}

CPacket &CPacket::operator=(CPacket &&other) noexcept
{
    if (this != &other) {
        Empty();
        m_pData = other.m_pData;
        other.m_pData = nullptr;
    }
    return *this;
}

CPacket::~CPacket()
{
    Empty();
}

CPacketData *CPacket::GetPacketData()
{
    if (!m_pData) {
        m_pData = CPacketData::Create(0, nullptr, 0);
        m_pData->AddRef();
    }
    return m_pData;
}

void CPacket::Empty()
{
    CPacketData *data = m_pData;
    m_pData = nullptr;
    if (data) data->Release();
}
