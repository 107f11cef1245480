#include "platform/Gbk.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace plat {
namespace {

unsigned char FoldLower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

template <typename Fold> void FoldCase(std::string &text, Fold fold)
{
    for (size_t i = 0; i < text.size();) {
        const size_t n = GbkCharLength(text, i);
        if (n == 1) text[i] = static_cast<char>(fold(static_cast<unsigned char>(text[i])));
        i += n;
    }
}

// One iconv descriptor per direction and thread: descriptors keep state and are not
// thread-safe, and opening one per call costs more than the conversion of a short text.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != kInvalid) iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Input that does not convert is skipped one unit (inUnit bytes) at a time, each unit
    // replaced by what `replace(unit)` gives, so bad input never stops the conversion.
    template <typename Replace>
    std::string Run(const char *in, size_t inLen, size_t inUnit, Replace replace)
    {
        std::string out;
        if (m_cd == kInvalid) { // no conversion modules installed: nothing converts
            for (size_t i = 0; i < inLen; i += inUnit) out += replace(in + i);
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *inp = const_cast<char *>(in);
        size_t inLeft = inLen;
        char buf[1024];
        while (inLeft > 0) {
            char *outp = buf;
            size_t outLeft = sizeof buf;
            const size_t r = iconv(m_cd, &inp, &inLeft, &outp, &outLeft);
            const int err = errno;
            out.append(buf, static_cast<size_t>(outp - buf));
            if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
            out += replace(inp);
            const size_t skip = std::min(inUnit, inLeft);
            inp += skip;
            inLeft -= skip;
        }
        return out;
    }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd;
};

constexpr const char *kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// A byte that is not GBK crosses into UTF-16 as a lone low surrogate U+DC00 + byte and comes
// back as that byte, so 8-bit text survives a round trip whatever it holds (for instance a
// UTF-8 value in the environment).
constexpr char16_t kEscapeBase = 0xDC00;

std::string EscapeByte(const char *unit)
{
    const char16_t escaped = kEscapeBase + static_cast<unsigned char>(*unit);
    return std::string(reinterpret_cast<const char *>(&escaped), 2);
}

std::string UnescapeUnit(const char *unit)
{
    char16_t c;
    std::memcpy(&c, unit, 2);
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF)
        return std::string(1, static_cast<char>(c - kEscapeBase));
    return "?";
}

std::string Question(const char *)
{
    return "?";
}

} // namespace

void GbkToUpper(std::string &text)
{
    FoldCase(text, [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; });
}

void GbkToLower(std::string &text)
{
    FoldCase(text, FoldLower);
}

int GbkCompareNoCase(std::string_view a, std::string_view b)
{
    // While the texts are equal so far, a trail byte sits at the same place in both.
    bool trail = false;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (!trail) {
            ca = FoldLower(ca);
            cb = FoldLower(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        trail = !trail && IsGbkLead(ca);
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

size_t GbkCutLength(const char *text, size_t maxBytes)
{
    size_t i = 0;
    while (i < maxBytes && text[i] != '\0') {
        const size_t n =
            IsGbkLead(static_cast<unsigned char>(text[i])) && text[i + 1] != '\0' ? 2 : 1;
        if (i + n > maxBytes) break;
        i += n;
    }
    return i;
}

std::u16string GbkToUtf16(std::string_view gbk)
{
    thread_local Converter conv(kUtf16, "GBK");
    const std::string bytes = conv.Run(gbk.data(), gbk.size(), 1, EscapeByte);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string Utf16ToGbk(std::u16string_view utf16)
{
    thread_local Converter conv("GBK", kUtf16);
    return conv.Run(reinterpret_cast<const char *>(utf16.data()), utf16.size() * 2, 2,
                    UnescapeUnit);
}

std::string GbkToUtf8(std::string_view gbk)
{
    thread_local Converter conv("UTF-8", "GBK");
    return conv.Run(gbk.data(), gbk.size(), 1, Question);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    thread_local Converter conv("GBK", "UTF-8");
    return conv.Run(utf8.data(), utf8.size(), 1, Question);
}

} // namespace plat
