#include "platform/ui/ModalRunner.h"
#include "platform/ui/CDialog.h"

#include <atomic>

namespace {

std::atomic<CModalRunner *> g_runner{nullptr};

} // namespace

INT_PTR CHeadlessRunner::RunModal(CDialog &dialog)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    if (!dialog.HasEnded()) dialog.EndDialog(IDCANCEL);
    return dialog.GetModalResult();
}

int CHeadlessRunner::RunMessageBox(CWnd *, const char *, const char *, UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

CModalRunner *AfxGetModalRunner()
{
    static CHeadlessRunner headless;
    CModalRunner *runner = g_runner.load();
    return runner ? runner : &headless;
}

CModalRunner *AfxSetModalRunner(CModalRunner *runner)
{
    return g_runner.exchange(runner);
}

int AfxMessageBox(const char *text, UINT type)
{
    return AfxGetModalRunner()->RunMessageBox(nullptr, text, nullptr, type);
}
