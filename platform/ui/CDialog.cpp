#include "platform/ui/CDialog.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/WndClass.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

CDialog::CDialog(UINT templateId, CWnd *parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    DestroyWindow();
}

INT_PTR CDialog::DoModal()
{
    if (GetSafeHwnd()) return -1;
    m_bModal = true;
    m_bEnded = false;
    m_nModalResult = -1;
    if (!CreateModalWindow()) {
        DestroyWindow();
        m_bModal = false;
        return -1;
    }
    INT_PTR result = AfxGetModalRunner()->RunModal(*this);
    DestroyWindow();
    m_bModal = false;
    return result;
}

BOOL CDialog::CreateModalWindow()
{
    return CreateFromTemplate(nullptr, false);
}

BOOL CDialog::Create(UINT templateId, CWnd *parent)
{
    if (GetSafeHwnd()) return FALSE;
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    m_bEnded = false;
    const tagDlgTemplate *found = AfxFindDlgTemplate(templateId);
    return found && CreateFromTemplate(found->style & WS_CHILD ? parent : nullptr,
                                       (found->style & WS_CHILD) != 0);
}

BOOL CDialog::CreateFromTemplate(CWnd *parent, bool child)
{
    const tagDlgTemplate *found = AfxFindDlgTemplate(m_nIDTemplate);
    if (!found) return FALSE;
    const tagDlgTemplate &dlg = *found;
    uint32_t style = (dlg.style & ~(WS_CHILD | WS_POPUP)) | (child ? WS_CHILD : WS_POPUP);
    if (!CreateEx(WS_EX_CONTROLPARENT, nullptr, dlg.caption, style, dlg.rect, parent, 0))
        return FALSE;
    for (const tagDlgItem &item : dlg.items) {
        CWnd *control = AfxCreateWndObject(item.WndClassName());
        if (!control || !control->CreateEx(item.exStyle, item.WndClassName(), item.text, item.style,
                                           item.rect, this, item.id)) {
            delete control;
            DestroyWindow();
            return FALSE;
        }
        AdoptControl(control);
    }
    InitDialog();
    return TRUE;
}

void CDialog::InitDialog()
{
    if (SendMessage(WM_INITDIALOG))
        if (CWnd *first = GetNextDlgTabItem(nullptr)) GotoDlgCtrl(first);
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    m_bEnded = true;
    if (!m_bModal) ShowWindow(SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::GotoDlgCtrl(CWnd *control)
{
    if (!control) return;
    control->SetFocus();
    if (IsWindow(control) && (control->SendMessage(WM_GETDLGCODE) & DLGC_HASSETSEL))
        control->SendMessage(EM_SETSEL, 0, -1);
}

CDialog *CDialog::OuterDialog()
{
    CDialog *outer = this;
    while (outer->GetStyle() & WS_CHILD) {
        auto *up = dynamic_cast<CDialog *>(outer->GetParent());
        if (!up) break;
        outer = up;
    }
    return outer;
}

BOOL CDialog::PreTranslateMessage(MSG *msg)
{
    if (msg->message != WM_KEYDOWN || !msg->hwnd) return FALSE;
    CWnd *focus = msg->hwnd;
    const UINT code = static_cast<UINT>(
        focus->SendMessage(WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)));
    if (code & DLGC_WANTALLKEYS) return FALSE;
    switch (msg->wParam) {
    case VK_TAB:
        if (code & DLGC_WANTTAB) return FALSE;
        GotoDlgCtrl(GetNextDlgTabItem(focus, GetKeyState(VK_SHIFT) < 0));
        return TRUE;
    case VK_RETURN:
        if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))
            focus->SendMessage(BM_CLICK);
        else
            OuterDialog()->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        return TRUE;
    case VK_ESCAPE:
        OuterDialog()->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}
