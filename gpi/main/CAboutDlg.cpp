#include "gpi/main/CAboutDlg.h"

#include "platform/ui/DialogTemplate.h"

namespace {

const CDlgTemplateReg s_template(
    {CAboutDlg::IDD,
     "关于 GPI",
     WS_POPUP | WS_CAPTION,
     {0, 0, 220, 70},
     {
         {-1, UiControl::Static, nullptr, "GPI 1.0 版", WS_CHILD | WS_VISIBLE, {50, 12, 160, 26}},
         {IDOK,
          UiControl::Button,
          nullptr,
          "确定",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
          {160, 40, 212, 60}},
     }});

} // namespace

CAboutDlg::CAboutDlg(CWnd *parent) : CDialog(IDD, parent) {}
