// Device classes, setting pages and panels of the dialog tests, registered by this test
// program (which carries its own dialog registry, as every module that registers dialogs
// does):
//   CTestDevBase  <- CTestDevLine (registered name "Test.DevLine"), CTestDevPlain
//   "CTestDevLine":  CTestLinePage "Line_Setting_Dlg", CTestPanel "Test_Control_Dlg",
//                    CTestPopup "Popup_Dlg", CTestPlainPage "Plain_Page_Dlg"
//   "CTestDevBase":  CTestBasePage "Base_Setting_Dlg"
#pragma once

#include "devext/device/CControlDlg.h"
#include "devext/device/CObjectSettingDlg.h"

#include "Kest20/ClassA.h"

#include <atomic>

class CTestDevBase : public CKestnut {
    DECLARE_KEST_CLASS(CTestDevBase)
};

class CTestDevLine : public CTestDevBase {
    DECLARE_KEST_CLASS(CTestDevLine)
};

class CTestDevPlain : public CTestDevBase {
    DECLARE_KEST_CLASS(CTestDevPlain)
};

// A setting page that remembers what it was given when it opened and counts live pages.
class CTestSettingPage : public CObjectSettingDlg {
public:
    explicit CTestSettingPage(int templateId) : CObjectSettingDlg(templateId) { ++s_live; }
    ~CTestSettingPage() override { --s_live; }

    BOOL OnInitDialog() override
    {
        seenPath = m_strSettingPath;
        seenName = m_strObjectName;
        return CObjectSettingDlg::OnInitDialog();
    }

    CString seenPath;
    CString seenName;
    static inline std::atomic<int> s_live{0};
};

class CTestLinePage : public CTestSettingPage {
    DECLARE_DYNCREATE(CTestLinePage)
    CTestLinePage();
};

class CTestBasePage : public CTestSettingPage {
    DECLARE_DYNCREATE(CTestBasePage)
    CTestBasePage();
};

// A property page that is not a setting page.
class CTestPlainPage : public CPropertyPage {
    DECLARE_DYNCREATE(CTestPlainPage)
    CTestPlainPage();
};

// A control panel that answers its parameter's length.
class CTestPanel : public CControlDlg {
    DECLARE_DYNCREATE(CTestPanel)
    CTestPanel();
    int OnInitParam(const char *param) override;
    CString param;
};

// A registered dialog that is neither a page nor a panel.
class CTestPopup : public CDialog {
    DECLARE_DYNCREATE(CTestPopup)
    CTestPopup() : CDialog(0) {}
};

namespace dlgtest {

constexpr UINT IDD_TEST_PAGE = 7300;
constexpr UINT IDD_TEST_PANEL = 7301;
constexpr int IDC_PANEL_TEXT = 7302;

} // namespace dlgtest
