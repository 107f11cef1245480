// The connection string of the database classes: "key=value" pairs separated by ";". Keys are
// trimmed and compared without regard to letter case; a value is trimmed unless it is quoted
// in '"' or '\'' (the quote doubled inside) or braced in "{...}" ("}}" inside), which lets it
// hold ";" and blanks. Parsing does no I/O: text in, pairs or a reason out.
#pragma once

#include "platform/db/DbApi.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::db {

struct ConnectionPair {
    std::string key;
    std::string value;
    bool operator==(const ConnectionPair &) const = default;
};

class PLATDB_API ConnectionString {
public:
    // The pairs in text order; nothing, with the reason in `error`, when the text cannot be
    // read (a piece without "=", an empty key, an unterminated quote or brace, text after a
    // closing quote).
    static std::optional<ConnectionString> Parse(std::string_view text, std::string *error);

    const std::vector<ConnectionPair> &Pairs() const { return m_pairs; }
    // The value of the last pair with that key, as a later pair overrides an earlier one.
    const std::string *Find(std::string_view key) const;

private:
    std::vector<ConnectionPair> m_pairs;
};

// A value written so that Parse reads it back unchanged: as it stands when it can, else in
// double quotes.
PLATDB_API std::string QuoteConnectionValue(std::string_view value);

} // namespace plat::db
