// Registers the standard control classes when the layer loads, so that dialog templates make
// them by name like any other window class.
#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CDateTimeCtrl.h"
#include "platform/ui/CEdit.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/CListCtrl.h"
#include "platform/ui/CStatic.h"
#include "platform/ui/WndClass.h"

namespace {

template <class Control> CWnd *Make()
{
    return new Control;
}

const bool g_registered = [] {
    const tagWndClass classes[] = {
        {0, &Make<CStatic>, IDC_ARROW, 0, "Static"},
        {0, &Make<CEdit>, IDC_IBEAM, COLOR_WINDOW + 1, "Edit"},
        {0, &Make<CButton>, IDC_ARROW, 0, "Button"},
        {0, &Make<CComboBox>, IDC_ARROW, 0, "ComboBox"},
        {0, &Make<CListBox>, IDC_ARROW, 0, "ListBox"},
        {0, &Make<CListCtrl>, IDC_ARROW, 0, "SysListView32"},
        {0, &Make<CDateTimeCtrl>, IDC_ARROW, 0, "SysDateTimePick32"},
    };
    bool all = true;
    for (const tagWndClass &cls : classes) all = AfxRegisterClass(&cls) && all;
    return all;
}();

} // namespace
