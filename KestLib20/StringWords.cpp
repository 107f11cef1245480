#include "KestLib20/StringWords.h"

#include "KestLib20/StringAnalysis.h"
#include "KestLib20/string_traits.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool InClass(std::string_view text, size_t i, size_t n, int32_t charClass)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    const uint32_t code = n == 2 ? lead << 8 | static_cast<unsigned char>(text[i + 1]) : lead;
    return CharInClass(code, charClass);
}

// Position of the first character at or after `from` whose membership of the class is
// `member`; the text's size when there is none.
size_t FindClass(std::string_view text, size_t from, int32_t charClass, bool member)
{
    for (size_t i = from; i < text.size(); i += plat::GbkCharLength(text, i))
        if (InClass(text, i, plat::GbkCharLength(text, i), charClass) == member) return i;
    return text.size();
}

// Copies `word` into dst of dstSize characters, cut on a character boundary.
void CopyCut(std::string_view word, char *dst, int dstSize)
{
    if (!dst || dstSize < 1) return;
    const std::string w(word);
    const size_t n = plat::GbkCutLength(w.c_str(), static_cast<size_t>(dstSize - 1));
    std::memcpy(dst, w.data(), n);
    dst[n] = 0;
}

bool CopyWhole(const std::string &text, char *dst, int dstSize)
{
    if (!dst || dstSize < 1 || text.size() + 1 > static_cast<size_t>(dstSize)) return false;
    std::memcpy(dst, text.c_str(), text.size() + 1);
    return true;
}

std::string FormatWords(std::string_view src)
{
    std::string out;
    for (size_t i = 0; i < src.size();) {
        const size_t start = src.find_first_not_of(' ', i);
        if (start == src.npos) break;
        const size_t end = std::min(src.find(' ', start), src.size());
        std::string word(src.substr(start, end - start));
        FormatWord(word.data());
        if (!out.empty()) out += ' ';
        out += word;
        i = end;
    }
    return out;
}

} // namespace

int GetFirstWord(const char *src, char *dst, int dstSize, int32_t charClass)
{
    if (!src) return 0;
    const std::string_view text(src);
    const size_t end = FindClass(text, 0, charClass, true);
    CopyCut(text.substr(0, end), dst, dstSize);
    return static_cast<int>(end);
}

int GetFirstWord(CString &s, CString &word, int32_t charClass, bool remove)
{
    const std::string_view text(s.GetString(), static_cast<size_t>(s.GetLength()));
    const size_t start = FindClass(text, 0, charClass, false);
    const size_t end = FindClass(text, start, charClass, true);
    word = CString(text.substr(start, end - start));
    if (remove) s = s.Mid(static_cast<int>(end));
    return word.GetLength();
}

int GetLastWord(const char *src, char *dst, int dstSize, int32_t charClass)
{
    if (!src) {
        CopyCut({}, dst, dstSize);
        return 1;
    }
    const std::string_view text(src);
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i += plat::GbkCharLength(text, i)) {
        const size_t n = plat::GbkCharLength(text, i);
        if (InClass(text, i, n, charClass)) start = i + n;
    }
    CopyCut(text.substr(start), dst, dstSize);
    return 1;
}

int GetFirstNum(CString &s, int32_t &number, bool remove)
{
    int digits = 0;
    int64_t value = 0;
    while (digits < s.GetLength() && s[digits] >= '0' && s[digits] <= '9') {
        value = std::min<int64_t>(value * 10 + (s[digits] - '0'), INT32_MAX);
        ++digits;
    }
    if (digits == 0) return 0;
    number = static_cast<int32_t>(value);
    if (remove) s = s.Mid(digits);
    return digits;
}

int GetFirstLast(CString &, CString &, CString &, int32_t)
{
    return 1;
}

int FormatWord(char *word)
{
    if (!word || !*word) return 0;
    std::string w(word);
    if (w.back() == '#')
        plat::GbkToUpper(w);
    else
        plat::GbkToLower(w);
    if (w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
    std::memcpy(word, w.data(), w.size());
    return 1;
}

int FormatSentence(const char *src, char *dst, int dstSize)
{
    return CopyWhole(FormatWords(src ? src : ""), dst, dstSize) ? 1 : 0;
}

int FormatSentence(CString &s)
{
    s = CString(FormatWords(std::string_view(s.GetString(), static_cast<size_t>(s.GetLength()))));
    return 1;
}

int StringDispart(const char *text, CStringArray &list, int32_t charClass)
{
    list.RemoveAll();
    if (!text) return 0;
    const std::string_view s(text);
    for (size_t i = FindClass(s, 0, charClass, false); i < s.size();) {
        const size_t end = FindClass(s, i, charClass, true);
        list.Add(CString(s.substr(i, end - i)));
        i = FindClass(s, end, charClass, false);
    }
    return list.GetSize();
}

int StringExtract(const char *text, CStringArray &list)
{
    return StringAnalysis_Array(text, ' ', list);
}

void PackString(CString &s, char c)
{
    string_traits<char>::Pack(s.GetBuffer(s.GetLength()), c);
    s.ReleaseBuffer();
    s.TrimRight();
}

void SetStringSize(CString &s, int n, char fill)
{
    if (n < 0) return;
    if (s.GetLength() > n)
        s = s.Left(static_cast<int>(plat::GbkCutLength(s, static_cast<size_t>(n))));
    if (s.GetLength() < n) s += CString(fill, n - s.GetLength());
}
