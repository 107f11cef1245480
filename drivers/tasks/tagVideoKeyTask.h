// One key task: put a key, logo, caption or clock insert of a keyer on or off air at a given
// time. Host programs fill it and hand it to the key task management unit; the keyers read it
// from the group of due tasks they are given.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include <cstdint>

// What a key task puts on air; any other value is a plain keyer task.
enum KeyTaskFunc : int32_t {
    KEYTASK_FUNC_LOGO = 256,
    KEYTASK_FUNC_TITLE = 257,
    KEYTASK_FUNC_TIME = 258,
};

enum KeyTaskStatus : int32_t {
    KEYTASK_BEGIN = 1,   // "stTaskBegin": added
    KEYTASK_PGMEND = 10, // "stTaskPgmEnd": handed to its keyer
};

// The submitter the operator's user interface writes; its tasks are never skipped or filtered.
inline constexpr const char *kKeyTaskSourceGUI = "GUI";

// A key number of this or more is taken from the key task configuration.
constexpr int32_t kKeyTaskConfigKey = 128;

// The fields keep their widths and order. The 64-bit start time is aligned on 8 bytes (offset
// 40, not 36), so that the record can be used safely in place: it is 112 bytes here.
struct KSOVRA20_API tagVideoKeyTask {
    int32_t TaskID = 0;
    name32_t DevID;        // keyer device id; filled in when empty
    int64_t StartTime = 0; // framework time, 100 ns units
    name32_t Source;       // the submitter
    int32_t nKey = 0;      // key number on the keyer
    int32_t nop = 0;       // nonzero on ("上"), 0 off ("下")
    int32_t Reserved1 = 0;
    int32_t Reserved2 = 0;
    int32_t functype = 0; // KeyTaskFunc or a plain keyer task
    int32_t Status = KEYTASK_BEGIN;
    int32_t Parameter = 0;

    bool IsFromGUI() const;
};
static_assert(sizeof(tagVideoKeyTask) == 112, "the key task record's 64-bit layout");
