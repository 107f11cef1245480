// The pattern rule of the log: a pattern is a list of types separated by ";", blanks, ":" or
// "?", compared without case, and a list entry matches a type when it ends with it. An empty
// pattern, a pattern beginning with "*" and an empty type match everything. Both sides are
// prepared once (a pattern at registration, a type once per message), so that matching one
// message against many patterns is a search in a prepared text.
#pragma once

#include <string>

// A message type made ready to be matched.
class CLogTypeProbe {
public:
    CLogTypeProbe() = default;
    explicit CLogTypeProbe(const char *type) { Set(type); }
    // Takes a new type, keeping the buffers; the same type as before is kept as it is.
    void Set(const char *type);

private:
    friend class CLogTypePattern;
    std::string m_type;  // as given
    std::string m_probe; // the upper-cased type and ";"
    bool m_bEmpty = true;
};

class CLogTypePattern {
public:
    // Matches everything, as an empty pattern does.
    CLogTypePattern() = default;
    // Null counts as empty.
    explicit CLogTypePattern(const char *pattern);
    bool Matches(const CLogTypeProbe &type) const;

private:
    bool m_bAll = true;
    std::string m_list; // ";" + upper-cased pattern + ";", every separator turned into ";"
};
