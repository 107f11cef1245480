#include "devext/services/PatternList.h"

#include "platform/Gbk.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

std::string Upper(const char *text)
{
    std::string upper(text ? text : "");
    plat::GbkToUpper(upper);
    return upper;
}

// The piece's fixed part against the text at `at`, "?" matching any one character.
bool FixedMatches(std::string_view fixed, std::string_view text, size_t at)
{
    for (size_t i = 0; i < fixed.size(); ++i)
        if (fixed[i] != '?' && fixed[i] != text[at + i]) return false;
    return true;
}

bool PieceMatches(std::string_view piece, std::string_view text)
{
    const size_t first = piece.find('*');
    if (first == std::string_view::npos)
        return piece.size() == text.size() && FixedMatches(piece, text, 0);

    const size_t last = piece.rfind('*');
    const std::string_view prefix = piece.substr(0, first);
    const std::string_view suffix = piece.substr(last + 1);
    if (prefix.size() + suffix.size() > text.size()) return false;
    if (!FixedMatches(prefix, text, 0)) return false;
    if (!FixedMatches(suffix, text, text.size() - suffix.size())) return false;

    std::string_view middle = piece.substr(first, last - first + 1);
    while (!middle.empty() && middle.front() == '*') middle.remove_prefix(1);
    while (!middle.empty() && middle.back() == '*') middle.remove_suffix(1);
    const std::string_view between =
        text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    return middle.empty() || between.find(middle) != std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view piece)
{
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t'))
        piece.remove_prefix(1);
    while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) piece.remove_suffix(1);
    return piece;
}

} // namespace

int MatchPatternList(const char *patterns, const char *text, char separator)
{
    if (!patterns || !*patterns || std::strcmp(patterns, "*") == 0) return 1;
    if (text && std::strcmp(patterns, text) == 0) return 1;
    if (separator == 0) separator = ';';

    const std::string list = Upper(patterns);
    const std::string upperText = Upper(text);
    std::string_view rest(list);
    while (true) {
        const size_t cut = rest.find(separator);
        const std::string_view piece = TrimBlanks(rest.substr(0, cut));
        if (!piece.empty() && PieceMatches(piece, upperText)) return 1;
        if (cut == std::string_view::npos) return 0;
        rest.remove_prefix(cut + 1);
    }
}
