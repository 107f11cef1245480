// The status record that devices, the device manager and the task engine pass around: a code
// from 0 to 6 (or a driver's own) and a short GBK text, copied by value.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/String.h"

#include <cstdint>

enum DevStatusCode : int32_t {
    DEVSTATUS_NORMAL = 0,
    DEVSTATUS_NAME_CONFLICT = 1,
    DEVSTATUS_BAD_SETTING = 2,
    DEVSTATUS_COM_OPEN_FAILED = 3,
    DEVSTATUS_NET_FAILED = 4,
    DEVSTATUS_RUN_FAILED = 5,
    DEVSTATUS_UNKNOWN = 6,
};

struct DEVEXT20_API tagDevStatus {
    static constexpr int kTextSize = 28;

    int32_t nCode = 0;
    // A text that fills the whole field has no terminating zero: read it with GetText.
    char szText[kTextSize] = {};

    // Stores the code and `text`, or the code's default text when `text` is null (empty when
    // the code has none); a longer text is cut to the field on a character boundary. 1 when
    // the code differs from the previous one.
    int SetStatus(int32_t code, const char *text = nullptr);
    // The text, read within its field and never ending in half a character.
    CString GetText() const;

    // The default texts of codes 0-6 are in place from the first use on; with a text, it
    // becomes (a copy of) the default of `code`. Answers 1.
    static int SetDefaultDevStatus(int32_t code, const char *text);
    // The current default text of `code`; empty when it has none.
    static CString GetDefaultText(int32_t code);
    // The built-in text of codes 0-6, whatever defaults were set since; null for other codes.
    static const char *GetStockText(int32_t code);
};
static_assert(sizeof(tagDevStatus) == 32, "a status record is a code and 28 bytes of text");
