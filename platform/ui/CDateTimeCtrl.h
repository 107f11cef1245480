// The date-time picker: one broken-down time shown through a display format ("yyyy-MM-dd
// HH:mm:ss" and the like: y, M, d, H, h, m, s, t runs; text in single quotes as it is). A
// user's change sends DTN_DATETIMECHANGE to the parent; setting the time from code does not.
#pragma once

#include "platform/TimeConvert.h"
#include "platform/ui/CWnd.h"

constexpr int GDT_VALID = 0;

class PLATUI_API CDateTimeCtrl : public CWnd {
    DECLARE_DYNCREATE(CDateTimeCtrl)

    CDateTimeCtrl();
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    // FALSE (nothing changed) for a time whose fields are out of range.
    BOOL SetTime(const plat::SYSTEMTIME *time);
    int GetTime(plat::SYSTEMTIME *time) const;
    // Null restores the default format "yyyy-MM-dd".
    BOOL SetFormat(const char *format);

    // The time as `format` shows it.
    static CString FormatTime(const plat::SYSTEMTIME &time, const char *format);

protected:
    int OnCreate(CREATESTRUCT *cs) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Show();

    plat::SYSTEMTIME m_time;
    CString m_strFormat;
};
