// The gpi program's About box (dialog 100), opened from the main dialog's system menu.
#pragma once

#include "platform/ui/CDialog.h"

class CAboutDlg : public CDialog {
public:
    enum { IDD = 100 };
    // The About entry of the system menu; commands 16 to 31 open the box.
    static constexpr UINT IDM_ABOUTBOX = 0x0010;
    static constexpr const char *kMenuText = "关于 GPI(&A)...";

    explicit CAboutDlg(CWnd *parent = nullptr);

    // Whether a system command is one of the About box's.
    static bool IsAboutCommand(UINT id) { return (id & 0xFFF0) == IDM_ABOUTBOX; }
};
