// The value of one setting, map entry or table cell as text, with typed getters and setters
// on top of two operations that a holder implements. CStringAccess is one over a string held
// elsewhere.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

class KESTLIB_SHARED_TYPE IStringAccess {
public:
    virtual ~IStringAccess() = default;

    // 1 and the text, or 0 and the text untouched.
    virtual int GetStringData(CString &text) = 0;
    virtual int SetStringData(const CString &text) = 0;

    // Every getter returns its default when the read fails or the text holds no value.
    CString GetAsString(const char *def = "");
    // Writes the text. Derived classes bring it in with a using-declaration.
    IStringAccess &operator=(const char *text);

    // C "%d" rule.
    int32_t GetAsInteger(int32_t def);
    // format 0 or 'i': "%i"; 'X', 'x', 'u' as printf; any other writes nothing and answers 0.
    int SetAsInteger(int32_t value, int format = 0);
    bool GetAsBool(bool def);
    int SetAsBool(bool value, int format = 0);
    double GetAsFloat(double def);
    int SetAsFloat(double value, int format = 0);

    // The text (the default text when the read fails) loses one outer pair of <>, [] or {}
    // and is split at "," as a quoted comma list; the number of items.
    int GetAsStringArray(CStringArray &list, const char *def = "");
    // "{" + the quoted list (wrapped again when bracket is '<', '[' or '{') + "}".
    int SetAsStringArray(const CStringArray &list, int bracket = 0);
    int GetAsDWordArray(CDWordArray &list);
    int GetAsIntArray(CArray<int32_t, int32_t> &list);
    int GetAsFloatArray(CArray<double, double> &list);
    int SetAsDWordArray(const CDWordArray &list);
    int SetAsIntArray(const CArray<int32_t, int32_t> &list);
    int SetAsFloatArray(const CArray<double, double> &list);

    // A 24-bit RGB value (red in the low byte) from {r,g,b} (also <> or []) or "#RRGGBB".
    uint32_t GetAsColor(uint32_t def);
    // format 0, 'Z', 'z': {"r","g","b"}; 'H', 'h': "#RRGGBB"; any other writes nothing and
    // answers 0.
    int SetAsColor(uint32_t color, int format = 0);

    // Read, change, write back; nothing when the read fails.
    int TrimLeft(char c = ' ');
    int TrimRight(char c = ' ');
    int Trim(char c = ' ');
    int MakeUpper();
    int MakeLower();

private:
    template <typename Change> int Edit(Change change);
};

// String access over one string held elsewhere; with no string, reads and writes answer 0.
class KESTLIB_SHARED_TYPE CStringAccess : public IStringAccess {
public:
    explicit CStringAccess(CString *text) : m_pText(text) {}
    using IStringAccess::operator=;

    int GetStringData(CString &text) override;
    int SetStringData(const CString &text) override;

private:
    CString *m_pText;
};
