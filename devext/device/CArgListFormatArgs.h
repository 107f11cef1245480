// The arguments of a message template (FormatString) taken from an argument list, one item
// per conversion: "%C" and "%I"/"%X" read a raw integer item, "%S" a text, a character array
// or a CString. An item of another kind is used up and gives nothing.
#pragma once

#include "KestLib20/FormatString.h"
#include "devext/device/CArgListA.h"

#include <cstring>

class CArgListFormatArgs final : public IFormatArgs {
public:
    explicit CArgListFormatArgs(const CArgListA &args) : m_args(args) {}

    bool NextChar(char &c) override
    {
        int32_t value = 0;
        const tagArgItem *item = Next();
        if (!item || !item->GetAsInteger(value)) return false;
        c = static_cast<char>(value);
        return true;
    }

    bool NextInteger(int32_t &value) override
    {
        const tagArgItem *item = Next();
        return item && item->GetAsInteger(value);
    }

    bool NextText(CString &text) override
    {
        const tagArgItem *item = Next();
        if (!item) return false;
        if (const char *chars = item->GetAsString()) {
            // A character array need not hold a terminating zero: it ends with its size.
            const size_t length =
                item->nType == ARG_CHARS ? strnlen(chars, item->nSize) : std::strlen(chars);
            text = CString(chars, static_cast<int>(length));
            return true;
        }
        if (item->nType != ARG_CSTRING || !item->pValue) return false;
        text = *static_cast<const CString *>(item->pValue);
        return true;
    }

private:
    const tagArgItem *Next() { return m_nNext < m_args.GetCount() ? &m_args[m_nNext++] : nullptr; }

    const CArgListA &m_args;
    int m_nNext = 0;
};
