#include "platform/ui/UiInput.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/UiState.h"

namespace ui {

namespace {

CWnd *Child(CWnd &parent, int id)
{
    return parent.GetDlgItem(id);
}

UINT CharOfKey(UINT key)
{
    switch (key) {
    case VK_RETURN:
        return '\r';
    case VK_TAB:
        return '\t';
    case VK_BACK:
        return '\b';
    case VK_ESCAPE:
        return 0x1B;
    case VK_SPACE:
        return ' ';
    default:
        return 0;
    }
}

} // namespace

void TypeText(const char *text)
{
    for (const char *p = text ? text : ""; *p; ++p)
        if (CWnd *focus = CWnd::GetFocus())
            focus->SendMessage(WM_CHAR, static_cast<unsigned char>(*p), 1);
}

void PressKey(UINT key, bool shift)
{
    CWnd *focus = CWnd::GetFocus();
    if (!focus) return;
    uistate::SetShiftHeld(shift);
    MSG msg{focus, WM_KEYDOWN, key, 1};
    bool taken = false;
    for (CWnd *wnd = focus; wnd && !taken; wnd = wnd->GetParent())
        taken = wnd->PreTranslateMessage(&msg) != FALSE;
    if (!taken) {
        focus->SendMessage(WM_KEYDOWN, key, 1);
        if (UINT ch = CharOfKey(key); ch && IsWindow(focus)) focus->SendMessage(WM_CHAR, ch, 1);
    }
    uistate::SetShiftHeld(false);
}

void Focus(CWnd &parent, int id)
{
    CWnd *control = Child(parent, id);
    if (!control) return;
    control->SetFocus();
    if (IsWindow(control) && (control->SendMessage(WM_GETDLGCODE) & DLGC_HASSETSEL))
        control->SendMessage(EM_SETSEL, 0, -1);
}

void Click(CWnd &parent, int id)
{
    if (CWnd *control = Child(parent, id)) control->SendMessage(BM_CLICK);
}

void ClickAt(CWnd &wnd, CPoint point, bool ctrl)
{
    uistate::SetCtrlHeld(ctrl);
    wnd.SendMessage(WM_LBUTTONDOWN, ctrl ? MK_CONTROL : 0, MAKELPARAM(point.x, point.y));
    uistate::SetCtrlHeld(false);
}

bool ChooseSystemMenu(CWnd &wnd, UINT id)
{
    if (!wnd.GetSystemMenu(FALSE)->HasCommand(id)) return false;
    wnd.SendMessage(WM_SYSCOMMAND, id);
    return true;
}

void PressOK(CWnd &dialog)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
}

void PressCancel(CWnd &dialog)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

void Pick(CWnd &parent, int id, int item)
{
    if (CWnd *control = Child(parent, id))
        control->SendMessage(UIM_PICK, static_cast<WPARAM>(item));
}

void DoubleClickItem(CWnd &parent, int id, int item)
{
    if (CWnd *control = Child(parent, id))
        control->SendMessage(UIM_PICK_DBLCLK, static_cast<WPARAM>(item));
}

void ClickRow(CWnd &parent, int id, int row, bool addToSelection)
{
    if (CWnd *control = Child(parent, id))
        control->SendMessage(UIM_CLICK_ROW, static_cast<WPARAM>(row), addToSelection ? 1 : 0);
}

void DoubleClickRow(CWnd &parent, int id, int row)
{
    if (CWnd *control = Child(parent, id))
        control->SendMessage(UIM_DBLCLK_ROW, static_cast<WPARAM>(row));
}

void SetTime(CWnd &parent, int id, const plat::SYSTEMTIME &time)
{
    if (CWnd *control = Child(parent, id))
        control->SendMessage(UIM_SET_TIME, 0, reinterpret_cast<LPARAM>(&time));
}

CScriptedRunner::CScriptedRunner() : m_pPrevious(AfxSetModalRunner(this)) {}

CScriptedRunner::~CScriptedRunner()
{
    AfxSetModalRunner(m_pPrevious);
}

void CScriptedRunner::Then(Script script)
{
    m_scripts.push_back(std::move(script));
}

void CScriptedRunner::Answer(int button)
{
    m_answers.push_back(button);
}

INT_PTR CScriptedRunner::RunModal(CDialog &dialog)
{
    CString caption;
    dialog.GetWindowText(caption);
    m_runs.push_back(caption);
    if (m_scripts.empty()) return m_headless.RunModal(dialog);
    Script script = std::move(m_scripts.front());
    m_scripts.pop_front();
    script(dialog);
    if (!dialog.HasEnded()) return m_headless.RunModal(dialog);
    return dialog.GetModalResult();
}

int CScriptedRunner::RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type)
{
    m_boxes.push_back({text, caption, type});
    if (m_answers.empty()) return m_headless.RunMessageBox(owner, text, caption, type);
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace ui
