#include "drivers/model/CMxtTimecodeCtrl.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/WndClass.h"

#include <cstdlib>

IMPLEMENT_DYNAMIC(CMxtTimecodeEdit, CEdit)
IMPLEMENT_DYNCREATE(CMxtTimecodeCtrl, CWnd)

namespace {

constexpr int kFieldCount = 4;
constexpr int32_t kHourMin = 0;
constexpr int32_t kNegativeHourMin = -9;
constexpr int32_t kMaxima[kFieldCount] = {23, 59, 59, 24};

CWnd *MakeTimecodeCtrl()
{
    return new CMxtTimecodeCtrl;
}

// The window class lives while the library is loaded.
struct WndClassRegistration {
    WndClassRegistration() : registered(CMxtTimecodeCtrl::RegisterWndClass()) {}
    ~WndClassRegistration()
    {
        if (registered) UnregisterClass(CMxtTimecodeCtrl::kWndClassName);
    }
    BOOL registered;
} g_wndClass;

} // namespace

void CMxtTimecodeEdit::Setup(CMxtTimecodeCtrl *owner, int index, int32_t minimum, int32_t maximum)
{
    m_pOwner = owner;
    m_nIndex = index;
    m_nMin = minimum;
    m_nMax = maximum;
}

int32_t CMxtTimecodeEdit::GetValue() const
{
    CString text;
    GetWindowText(text);
    int32_t value = 0;
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i] - '0');
    if (m_nIndex != 0 || text.Find('-') < 0) return value;
    return value == 0 ? kMinusZero : -value;
}

// Minus zero lies in a range that reaches below 0.
bool CMxtTimecodeEdit::InRange(int32_t value) const
{
    if (value == kMinusZero) return m_nMin < 0;
    return value >= m_nMin && value <= m_nMax;
}

void CMxtTimecodeEdit::SetValue(int32_t value)
{
    if (!InRange(value)) value = value > m_nMax ? m_nMin : m_nMax;
    CString text;
    text.Format("%.2d", value == kMinusZero ? 0 : std::abs(value));
    if (value < 0) text.SetAt(0, '-');
    SetWindowText(text);
}

bool CMxtTimecodeEdit::AcceptsMinus() const
{
    if (m_nIndex != 0 || !m_pOwner || !m_pOwner->m_bAllowNegative) return false;
    int start, end;
    GetSel(start, end);
    const int length = GetWindowTextLength();
    return length == 0 || (length == 1 && end == 0) || start != end;
}

void CMxtTimecodeEdit::OnChar(UINT ch, UINT repeat, UINT flags)
{
    const bool digit = ch >= '0' && ch <= '9';
    if (!digit && ch >= 0x20 && !(ch == '-' && AcceptsMinus())) return;
    CEdit::OnChar(ch, repeat, flags);
    const int32_t value = GetValue();
    if (!InRange(value)) SetValue(value);
    if (digit && GetWindowTextLength() == 2 && m_pOwner) m_pOwner->FocusField(m_nIndex + 1);
    Changed();
}

void CMxtTimecodeEdit::Step(int delta)
{
    const int32_t value = GetValue();
    if (m_nIndex == 0 && m_pOwner && m_pOwner->m_bAllowNegative) {
        if (value == kMinusZero) {
            SetValue(delta > 0 ? 0 : -1);
            return;
        }
        if (value == 0 && delta < 0) {
            SetValue(kMinusZero);
            return;
        }
    }
    SetValue(value + delta);
}

void CMxtTimecodeEdit::OnKeyDown(UINT key, UINT repeat, UINT flags)
{
    int start, end;
    GetSel(start, end);
    const bool selection = start != end;
    switch (key) {
    case VK_UP:
    case VK_DOWN:
        Step(key == VK_UP ? 1 : -1);
        Changed();
        return;
    case VK_LEFT:
        if (selection || GetCaretPos() == 0) {
            if (m_pOwner) m_pOwner->FocusField(m_nIndex - 1);
            return;
        }
        break;
    case VK_RIGHT:
        if (selection || GetCaretPos() == GetWindowTextLength()) {
            if (m_pOwner) m_pOwner->FocusField(m_nIndex + 1);
            return;
        }
        break;
    case VK_TAB:
        if (m_pOwner) m_pOwner->TabOut(GetKeyState(VK_SHIFT) < 0);
        return;
    case VK_RETURN:
        if (m_pOwner) m_pOwner->Enter();
        return;
    case VK_DELETE:
        CEdit::OnKeyDown(key, repeat, flags);
        Changed();
        return;
    default:
        break;
    }
    CEdit::OnKeyDown(key, repeat, flags);
}

void CMxtTimecodeEdit::OnSetFocus(CWnd *oldWnd)
{
    CEdit::OnSetFocus(oldWnd);
    SetSel(0, -1);
}

// The click's caret becomes a one-character selection: the character after it, or the last
// one when the caret is at the end.
void CMxtTimecodeEdit::OnLButtonDown(UINT flags, CPoint point)
{
    CEdit::OnLButtonDown(flags, point);
    const int length = GetWindowTextLength();
    if (length == 0) return;
    const int first = std::min(GetCaretPos(), length - 1);
    SetSel(first, first + 1);
}

UINT CMxtTimecodeEdit::OnGetDlgCode()
{
    return DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS;
}

void CMxtTimecodeEdit::Changed()
{
    if (m_changed) m_changed();
}

CMxtTimecodeCtrl::~CMxtTimecodeCtrl()
{
    DestroyWindow();
}

BOOL CMxtTimecodeCtrl::RegisterWndClass()
{
    tagWndClass cls;
    cls.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    cls.pfnCreate = &MakeTimecodeCtrl;
    cls.hCursor = IDC_IBEAM;
    cls.hbrBackground = COLOR_WINDOW + 1;
    cls.lpszClassName = kWndClassName;
    return AfxRegisterClass(&cls);
}

BOOL CMxtTimecodeCtrl::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create(kWndClassName, "", style, rect, parent, id);
}

int CMxtTimecodeCtrl::OnCreate(CREATESTRUCT *)
{
    ModifyStyleEx(0, WS_EX_CLIENTEDGE);
    m_bEnabled = IsWindowEnabled();
    for (int i = 0; i < kFieldCount; ++i) {
        CMxtTimecodeEdit &field = m_fields[i];
        const uint32_t style = WS_CHILD | WS_VISIBLE | ES_CENTER | (m_bEnabled ? 0u : WS_DISABLED);
        if (!field.Create(style, CRect(), this, static_cast<UINT>(i + 1))) return -1;
        field.LimitText(2);
        field.Setup(this, i, i == 0 && m_bAllowNegative ? kNegativeHourMin : 0, kMaxima[i]);
        field.SetChangeCallback(this, &CMxtTimecodeCtrl::OnFieldChange);
        field.SetFont(GetFont(), FALSE);
        field.SetValue(0);
    }
    Layout();
    return 0;
}

void CMxtTimecodeCtrl::Layout()
{
    CRect client;
    GetClientRect(&client);
    CDC dc(nullptr, GetFont());
    m_nColonWidth = dc.GetTextExtent(":").cx;
    const int fieldWidth = (client.Width() - 3 * m_nColonWidth) / kFieldCount;
    int x = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        m_rcFields[i] = CRect(x, 0, x + fieldWidth, client.Height());
        x += fieldWidth;
        if (i < kFieldCount - 1) {
            m_rcColons[i] = CRect(x, 0, x + m_nColonWidth, client.Height());
            x += m_nColonWidth;
        }
        if (m_fields[i].GetSafeHwnd()) m_fields[i].MoveWindow(m_rcFields[i]);
    }
    Invalidate();
}

void CMxtTimecodeCtrl::OnSize(UINT, int, int)
{
    Layout();
}

void CMxtTimecodeCtrl::OnPaint()
{
    CPaintDC dc(this);
    if (!m_bEnabled) {
        CRect client;
        GetClientRect(&client);
        dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
    }
    dc.SetTextColor(GetSysColor(m_bEnabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    dc.SetBkMode(TRANSPARENT);
    for (const CRect &colon : m_rcColons)
        dc.DrawText(":", colon, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void CMxtTimecodeCtrl::OnEnable(BOOL enable)
{
    m_bEnabled = enable ? 1 : 0;
    for (CMxtTimecodeEdit &field : m_fields) field.EnableWindow(enable);
    Invalidate();
}

void CMxtTimecodeCtrl::OnSetFocus(CWnd *)
{
    FocusField(0);
}

LRESULT CMxtTimecodeCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CWnd::WindowProc(message, wParam, lParam);
    if (message == WM_SETFONT) {
        for (CMxtTimecodeEdit &field : m_fields)
            if (field.GetSafeHwnd()) field.SetFont(GetFont(), FALSE);
        Layout();
    }
    return result;
}

void CMxtTimecodeCtrl::SetTimecode(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames,
                                   int32_t sign)
{
    m_fields[0].SetValue(hours == 0 && sign < 0 ? CMxtTimecodeEdit::kMinusZero : hours * sign);
    m_fields[1].SetValue(minutes);
    m_fields[2].SetValue(seconds);
    m_fields[3].SetValue(frames);
}

void CMxtTimecodeCtrl::SetTimecode(timecode_t value)
{
    int32_t hours, minutes, seconds, frames, sign;
    value.GetAsDetail(hours, minutes, seconds, frames, &sign);
    SetTimecode(hours, minutes, seconds, frames, sign);
}

timecode_t CMxtTimecodeCtrl::GetTimecode() const
{
    const int32_t hours = m_fields[0].GetValue();
    timecode_t value;
    value.SetAsDetail(hours == CMxtTimecodeEdit::kMinusZero ? 0 : std::abs(hours),
                      m_fields[1].GetValue(), m_fields[2].GetValue(), m_fields[3].GetValue(),
                      hours < 0 ? -1 : 1);
    return value;
}

void CMxtTimecodeCtrl::SetAllowNegative(int32_t allow)
{
    m_bAllowNegative = allow ? 1 : 0;
    m_fields[0].SetMinimum(m_bAllowNegative ? kNegativeHourMin : kHourMin);
}

BOOL CMxtTimecodeCtrl::HasFocus() const
{
    CWnd *focus = GetFocus();
    for (const CMxtTimecodeEdit &field : m_fields)
        if (focus == &field) return TRUE;
    return FALSE;
}

void CMxtTimecodeCtrl::OnFieldChange()
{
    NotifyParent(EN_CHANGE);
}

void CMxtTimecodeCtrl::FocusField(int index)
{
    CMxtTimecodeEdit &field = m_fields[(index % kFieldCount + kFieldCount) % kFieldCount];
    field.SetFocus();
    field.SetSel(0, -1);
}

void CMxtTimecodeCtrl::TabOut(bool previous)
{
    CWnd *parent = GetParent();
    CWnd *next = parent ? parent->GetNextDlgTabItem(this, previous) : nullptr;
    if (!next) return;
    if (auto *dialog = dynamic_cast<CDialog *>(parent))
        dialog->GotoDlgCtrl(next);
    else
        next->SetFocus();
}

void CMxtTimecodeCtrl::Enter()
{
    if (m_enter) m_enter();
}

void DDX_MxtTimecode(CDataExchange *dx, int id, timecode_t &value)
{
    auto *control = dynamic_cast<CMxtTimecodeCtrl *>(dx->PrepareCtrl(id));
    if (!control) dx->Fail();
    if (dx->m_bSaveAndValidate)
        value = control->GetTimecode();
    else if (!control->HasFocus() || control->GetTimecode().nFrames != value.nFrames)
        control->SetTimecode(value);
}
