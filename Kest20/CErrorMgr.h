// The process's list of current error conditions, keyed by the text of their source: a
// condition reported again replaces its entry. Every change is announced on the log channel
// "#ERR_MGR" after the manager's lock is released, so a subscriber may call back into it.
#pragma once

#include "Kest20/Kest20Api.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CFileTime.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

struct KEST20_API tagError {
    CString From; // the source, also the key
    CString Description;
    CString Param;
    int32_t Ignore = 0; // 1 when the user chose to ignore the error
    int32_t ErrorCode = 0;
    int32_t Level = 0;
    CFileTime FileTime; // stamped when the error is added
};

class KEST20_API CErrorMgr {
public:
    CErrorMgr() = default;
    CErrorMgr(const CErrorMgr &) = delete;
    CErrorMgr &operator=(const CErrorMgr &) = delete;

    // Announcements on "#ERR_MGR": the result of the log call.
    virtual int OnAdd();
    virtual int OnDelete();
    virtual int OnUpdate();
    virtual ~CErrorMgr() = default;

    // Stamps the error with the current time, then replaces the entry of the same source
    // (keeping its Ignore flag) or appends it: 1.
    int AddErr(tagError &error);
    // Replaces the entry of the same source by the error as it is: 1 (nothing when absent).
    int Modify(const tagError &error);
    // Removes the entries whose source begins with `from` (null: every entry); the count.
    int ClearErr(const char *from);
    // The same for entries stamped before `cutoff`; a cutoff of 0 is two seconds ago.
    int ClearInvalidErr(const char *from, CFileTime cutoff);
    // Removes the listed entries (indexes out of range are skipped): 1.
    int DeleteError(const CArray<int32_t> &indexes);
    // Sets Ignore on the listed entries (indexes out of range are skipped): 1.
    int IgnoreError(const CArray<int32_t> &indexes);
    // The indexes, or copies, of the entries whose source begins with `from` (null: every
    // entry); the count.
    int GetErr(const char *from, CArray<int32_t> &indexes);
    int GetErr(const char *from, CArray<tagError> &errors);
    // The index of the entry whose source equals `from`, or -1.
    int FindIndex(const char *from);
    int GetErrCount();
    // Copies entry `index` into `error`: 1, or 0 for an index out of range.
    int GetErrAt(int index, tagError &error);

    // A field by its name without case ("From", "Description", "Param", "Ignore",
    // "ErrorCode", "Level", "FileTime") as text: 1, or 0 (text unchanged) for another name.
    static int GetItemAsString(const tagError &error, const char16_t *name, CString &text);
    static int GetItemAsString(const tagError &error, const char *name, CString &text);

private:
    int IndexOf(const char *from) const;
    // Removes the entries of `from` that `doomed` picks, the last first; the count. Announces
    // a deletion when there was one.
    template <class Pick> int RemoveWhere(const char *from, Pick doomed);

    CDataLock m_lock;
    CArray<tagError> m_errors;
};

// The process's error manager, built on first use.
KEST20_API CErrorMgr *GetErrorMgr();
