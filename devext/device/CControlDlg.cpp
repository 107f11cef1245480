#include "devext/device/CControlDlg.h"

IMPLEMENT_DYNCREATE(CControlDlg, CDialog)

CControlDlg::CControlDlg(int templateId, CWnd *parent)
    : CDialog(static_cast<UINT>(templateId), parent)
{
}

int CControlDlg::OnInitParam(const char *)
{
    return 0;
}

int CControlDlg::CreateEx(CWnd *)
{
    return 0;
}
