#include "devext/services/CMD5.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

constexpr uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr size_t kBlock = 64;
constexpr size_t kFileBlock = 1024;

uint32_t RotateLeft(uint32_t x, uint32_t n)
{
    return (x << n) | (x >> (32 - n));
}

} // namespace

struct CMD5::Context {
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    uint64_t length = 0; // bytes fed
    uint8_t buffer[kBlock] = {};

    void Transform(const uint8_t *block)
    {
        uint32_t m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = uint32_t{block[i * 4]} | uint32_t{block[i * 4 + 1]} << 8 |
                   uint32_t{block[i * 4 + 2]} << 16 | uint32_t{block[i * 4 + 3]} << 24;
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (uint32_t i = 0; i < 64; ++i) {
            uint32_t f;
            uint32_t g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const uint32_t next = d;
            d = c;
            c = b;
            b = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
            a = next;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }

    void Update(const uint8_t *data, size_t count)
    {
        size_t used = static_cast<size_t>(length % kBlock);
        length += count;
        while (count > 0) {
            const size_t take = std::min(count, kBlock - used);
            std::memcpy(buffer + used, data, take);
            used += take;
            data += take;
            count -= take;
            if (used == kBlock) {
                Transform(buffer);
                used = 0;
            }
        }
    }

    CString Final()
    {
        const uint64_t bits = length * 8;
        static const uint8_t kPad[kBlock] = {0x80};
        const size_t used = static_cast<size_t>(length % kBlock);
        Update(kPad, used < 56 ? 56 - used : 120 - used);
        uint8_t tail[8];
        for (int i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (8 * i));
        Update(tail, 8);
        char text[33];
        for (int i = 0; i < 16; ++i)
            std::snprintf(text + 2 * i, 3, "%02x", (state[i / 4] >> (8 * (i % 4))) & 0xFF);
        return CString(text);
    }
};

CMD5::CMD5() = default;
CMD5::~CMD5() = default;

void CMD5::Update(const void *data, size_t length)
{
    if (!m_pContext) m_pContext = std::make_unique<Context>();
    m_pContext->Update(static_cast<const uint8_t *>(data), length);
}

CString CMD5::Final()
{
    if (!m_pContext) m_pContext = std::make_unique<Context>();
    CString digest = m_pContext->Final();
    m_pContext.reset();
    return digest;
}

CString CMD5::Digest(const void *data, size_t length)
{
    CMD5 md5;
    md5.Update(data, length);
    return md5.Final();
}

CString CMD5::Digest(CStdioFile &file)
{
    CMD5 md5;
    uint8_t block[kFileBlock];
    for (uint32_t got = file.Read(block, sizeof block); got >= 1;
         got = file.Read(block, sizeof block))
        md5.Update(block, got);
    // The digest of the bytes before a read error is not the file's.
    if (file.Failed())
        throw std::system_error(EIO, std::generic_category(), file.GetFilePath().GetString());
    return md5.Final();
}

CString CMD5::DigestFile(const char *path)
{
    CStdioFile file;
    if (!path || !file.Open(path, CStdioFile::modeRead | CStdioFile::shareDenyWrite |
                                      CStdioFile::typeBinary))
        throw std::system_error(errno ? errno : ENOENT, std::generic_category(), path ? path : "");
    return Digest(file);
}
