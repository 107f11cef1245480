// What every fuzz target reads its input with: small choices taken from the front, then the
// rest cut into the blocks a line or socket would deliver, and a check that stops the run
// with a message when a property fails (libFuzzer keeps the input as a crash).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

class Input {
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_at >= m_size; }
    size_t Left() const { return m_size - m_at; }
    // The next byte; 0 past the end.
    uint8_t Byte() { return Empty() ? 0 : m_data[m_at++]; }
    // A choice below `count` (count > 0).
    int Choice(int count) { return Byte() % count; }
    // The next block: a length byte (1 .. max) and that many bytes, fewer at the end (none
    // when the input ends with the length byte).
    std::vector<uint8_t> Block(size_t max = 64)
    {
        const size_t want = Byte() % max + 1;
        return Take(want);
    }
    std::vector<uint8_t> Take(size_t n)
    {
        n = std::min(n, Left());
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + n);
        m_at += n;
        return bytes;
    }
    std::vector<uint8_t> Rest() { return Take(Left()); }
    // A text up to the next NUL (dropped) or the end.
    std::string Text()
    {
        std::string text;
        while (!Empty()) {
            const char c = static_cast<char>(m_data[m_at++]);
            if (c == 0) break;
            text += c;
        }
        return text;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Lines of a text, split at "\n" (a "\r" before it stays in the line).
inline std::vector<std::string> Lines(const std::vector<uint8_t> &bytes)
{
    std::vector<std::string> lines(1);
    for (uint8_t b : bytes) {
        if (b == '\n')
            lines.emplace_back();
        else
            lines.back() += static_cast<char>(b);
    }
    return lines;
}

// Well-formed GBK: every lead byte (0x81-0xFE) has its trail byte (0x40-0xFE but 0x7F). A
// lone lead byte takes the next byte of a line (a space, a quote, a "/") as its second, so
// such texts, which are not the system's, may not read back as they were written.
inline bool WellFormedGbk(const std::string &text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x81 || byte > 0xFE) continue;
        if (i + 1 == text.size()) return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail > 0xFE || trail == 0x7F) return false;
    }
    return true;
}

// Stops the run when a property does not hold.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

} // namespace fuzz
