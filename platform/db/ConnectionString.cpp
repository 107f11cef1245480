#include "platform/db/ConnectionString.h"

#include <strings.h>

namespace plat::db {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Reads a value enclosed by `open`...`close` from text[pos] (the opening character); the
// closing character doubled stands for itself. Braced values keep their braces.
bool ReadEnclosed(std::string_view text, size_t &pos, char close, bool keep, std::string &value)
{
    if (keep) value += text[pos];
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] != close) {
            value += text[pos];
            continue;
        }
        if (pos + 1 < text.size() && text[pos + 1] == close) {
            value += close;
            if (keep) value += close;
            ++pos;
            continue;
        }
        if (keep) value += close;
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::optional<ConnectionString> ConnectionString::Parse(std::string_view text, std::string *error)
{
    auto fail = [error](std::string reason) -> std::optional<ConnectionString> {
        if (error) *error = std::move(reason);
        return std::nullopt;
    };
    ConnectionString result;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of(";=", pos);
        if (end == std::string_view::npos || text[end] == ';') {
            const std::string_view piece = Trim(text.substr(
                pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
            if (!piece.empty()) return fail("no '=' in \"" + std::string(piece) + "\"");
            pos = end == std::string_view::npos ? text.size() : end + 1;
            continue;
        }
        const std::string_view key = Trim(text.substr(pos, end - pos));
        if (key.empty()) return fail("a value without a key at offset " + std::to_string(end));
        pos = end + 1;
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        std::string value;
        if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'' || text[pos] == '{')) {
            const char open = text[pos];
            const char close = open == '{' ? '}' : open;
            if (!ReadEnclosed(text, pos, close, open == '{', value))
                return fail("unterminated value of \"" + std::string(key) + "\"");
            while (pos < text.size() && IsBlank(text[pos])) ++pos;
            if (pos < text.size() && text[pos] != ';')
                return fail("text after the value of \"" + std::string(key) + "\"");
        } else {
            const size_t stop = text.find(';', pos);
            value = Trim(text.substr(pos, stop == std::string_view::npos ? stop : stop - pos));
            pos = stop == std::string_view::npos ? text.size() : stop;
        }
        if (pos < text.size()) ++pos; // the ';'
        result.m_pairs.push_back({std::string(key), std::move(value)});
    }
    return result;
}

const std::string *ConnectionString::Find(std::string_view key) const
{
    for (auto it = m_pairs.rbegin(); it != m_pairs.rend(); ++it)
        if (it->key.size() == key.size() &&
            strncasecmp(it->key.data(), key.data(), key.size()) == 0)
            return &it->value;
    return nullptr;
}

std::string QuoteConnectionValue(std::string_view value)
{
    const bool plain = value.find_first_of(";\"") == std::string_view::npos &&
                       Trim(value).size() == value.size() &&
                       (value.empty() || (value.front() != '\'' && value.front() != '{'));
    if (plain) return std::string(value);
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

} // namespace plat::db
