#include "platform/ui/CDateTimeCtrl.h"
#include "platform/ui/UiState.h"

IMPLEMENT_DYNCREATE(CDateTimeCtrl, CWnd)

namespace {

constexpr const char *kDefaultFormat = "yyyy-MM-dd";

// A run of one format letter: its value, and whether the run is long enough to pad to two.
bool FormatRun(const plat::SYSTEMTIME &t, char letter, int count, CString &out)
{
    int value = 0;
    switch (letter) {
    case 'y':
        if (count >= 3) {
            out.AppendFormat("%04d", t.wYear);
            return true;
        }
        value = t.wYear % 100;
        count = 2;
        break;
    case 'M':
        value = t.wMonth;
        break;
    case 'd':
        value = t.wDay;
        break;
    case 'H':
        value = t.wHour;
        break;
    case 'h':
        value = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
        break;
    case 'm':
        value = t.wMinute;
        break;
    case 's':
        value = t.wSecond;
        break;
    case 't':
        out += t.wHour < 12 ? (count > 1 ? "AM" : "A") : (count > 1 ? "PM" : "P");
        return true;
    default:
        return false;
    }
    out.AppendFormat(count > 1 ? "%02d" : "%d", value);
    return true;
}

} // namespace

CDateTimeCtrl::CDateTimeCtrl() : m_time{2000, 1, 6, 1, 0, 0, 0, 0}, m_strFormat(kDefaultFormat) {}

BOOL CDateTimeCtrl::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("SysDateTimePick32", "", style, rect, parent, id);
}

BOOL CDateTimeCtrl::SetTime(const plat::SYSTEMTIME *time)
{
    int64_t fileTime = 0;
    if (!time || !plat::SystemTimeToFileTime(*time, &fileTime)) return FALSE;
    plat::FileTimeToSystemTime(fileTime, &m_time); // fills in the day of the week
    Show();
    return TRUE;
}

int CDateTimeCtrl::GetTime(plat::SYSTEMTIME *time) const
{
    if (time) *time = m_time;
    return GDT_VALID;
}

BOOL CDateTimeCtrl::SetFormat(const char *format)
{
    m_strFormat = format ? format : kDefaultFormat;
    Show();
    return TRUE;
}

CString CDateTimeCtrl::FormatTime(const plat::SYSTEMTIME &time, const char *format)
{
    CString out;
    for (const char *p = format ? format : ""; *p;) {
        if (*p == '\'') {
            const char *end = p + 1;
            while (*end && *end != '\'') ++end;
            out += CString(p + 1, static_cast<int>(end - p - 1));
            p = *end ? end + 1 : end;
            continue;
        }
        int count = 1;
        while (p[count] == *p) ++count;
        if (!FormatRun(time, *p, count, out)) out += CString(p, count);
        p += count;
    }
    return out;
}

int CDateTimeCtrl::OnCreate(CREATESTRUCT *)
{
    Show();
    return 0;
}

void CDateTimeCtrl::Show()
{
    CString text = FormatTime(m_time, m_strFormat);
    CWnd::DefWindowProc(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString()));
}

LRESULT CDateTimeCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case UIM_SET_TIME: {
        if (!IsWindowEnabled() || !SetTime(reinterpret_cast<const plat::SYSTEMTIME *>(lParam)))
            return 0;
        NMHDR change;
        NotifyParent(DTN_DATETIMECHANGE, &change);
        return 1;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
