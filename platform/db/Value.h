// A value read from a database: null, a 64-bit integer, a real or a text (UTF-8, as the
// databases hold it), with the conversions an automation variant makes: each gives nothing
// for null or for a value that does not convert.
#pragma once

#include "platform/db/DbApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace plat::db {

class PLATDB_API Value {
public:
    enum class Kind { Null, Integer, Real, Text };

    Value() = default;
    static Value Integer(int64_t value) { return Value(Kind::Integer, value, 0, {}); }
    static Value Real(double value) { return Value(Kind::Real, 0, value, {}); }
    static Value Text(std::string utf8) { return Value(Kind::Text, 0, 0, std::move(utf8)); }

    Kind GetKind() const { return m_kind; }
    bool IsNull() const { return GetKind() == Kind::Null; }

    // A real rounds half to even; a text must hold one number and nothing else.
    std::optional<int32_t> ToInt32() const;
    std::optional<double> ToDouble() const;
    // An integer in decimal, a real with up to 15 significant digits.
    std::optional<std::string> ToText() const;
    // An automation date (days since 1899-12-30, the time of day as the fraction): a number
    // as it stands, a text of the form "yyyy-mm-dd[ hh:mm[:ss[.fff]]]" ('/' or 'T' accepted).
    std::optional<double> ToDate() const;

    bool operator==(const Value &) const = default;

private:
    Value(Kind kind, int64_t integer, double real, std::string text)
        : m_kind(kind), m_integer(integer), m_real(real), m_text(std::move(text))
    {
    }

    // Only the field of the kind is meaningful; the others stay zero or empty.
    Kind m_kind = Kind::Null;
    int64_t m_integer = 0;
    double m_real = 0;
    std::string m_text;
};

// A calendar date and time of day, as an automation date breaks down.
struct DateParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    bool operator==(const DateParts &) const = default;
};

// To the nearest second. Dates before 1899-12-30 count days backwards and the time of day
// forwards, as automation dates do. Only the years 1601 to 9999 convert: an earlier date
// breaks down as 1899-12-30, and parts out of range give nothing.
PLATDB_API DateParts FromAutomationDate(double date);
PLATDB_API std::optional<double> ToAutomationDate(const DateParts &parts);

} // namespace plat::db
