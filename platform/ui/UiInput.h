// What a user does, for tests and scripted runs: typing, keys, clicks and picks arrive as the
// messages a display would send, and a scripted modal runner plays one script per modal run
// and answers message boxes as told.
//
//     ui::CScriptedRunner runner;
//     runner.Then([](CDialog &dlg) {
//         ui::Focus(dlg, 1001);
//         ui::TypeText("42");
//         ui::PressOK(dlg);
//     });
//     dialog.DoModal();      // IDOK, with the dialog's fields read back
#pragma once

#include "platform/String.h"
#include "platform/TimeConvert.h"
#include "platform/ui/ModalRunner.h"

#include <deque>
#include <functional>
#include <vector>

namespace ui {

// Each byte as WM_CHAR to the focused window.
PLATUI_API void TypeText(const char *text);
// The key to the focused window: first past PreTranslateMessage of it and its parents (so a
// dialog takes Tab, Return and Escape), then WM_KEYDOWN and, for Return, Tab, Backspace,
// Escape and Space, their character. `shift` holds Shift meanwhile.
PLATUI_API void PressKey(UINT key, bool shift = false);
// Puts the focus on the child `id` as Tab would.
PLATUI_API void Focus(CWnd &parent, int id);
// Clicks the button `id`.
PLATUI_API void Click(CWnd &parent, int id);
// A mouse click at a point of the window's client area, with the left Ctrl key held when
// `ctrl`.
PLATUI_API void ClickAt(CWnd &wnd, CPoint point, bool ctrl = false);
// Chooses the entry `id` of the window's system menu; false (and nothing is sent) when the
// menu has no such entry.
PLATUI_API bool ChooseSystemMenu(CWnd &wnd, UINT id);
// IDOK or IDCANCEL clicked on the dialog (whether or not it shows such a button).
PLATUI_API void PressOK(CWnd &dialog);
PLATUI_API void PressCancel(CWnd &dialog);
// Picks an item of the combo box or list box `id`.
PLATUI_API void Pick(CWnd &parent, int id, int item);
// Double-clicks an item of the list box `id`.
PLATUI_API void DoubleClickItem(CWnd &parent, int id, int item);
// Clicks a row of the list view `id` (with Ctrl when `addToSelection`).
PLATUI_API void ClickRow(CWnd &parent, int id, int row, bool addToSelection = false);
PLATUI_API void DoubleClickRow(CWnd &parent, int id, int row);
// Sets the date-time control `id` as a user would.
PLATUI_API void SetTime(CWnd &parent, int id, const plat::SYSTEMTIME &time);

// A message box as it was shown.
struct tagShownBox {
    CString text;
    CString caption;
    UINT type;
};

// Installs itself for its lifetime. Each modal run takes the next script (without one it
// behaves as the headless runner); a dialog that a script leaves running is cancelled. Each
// message box takes the next answer (without one, the headless answer).
class PLATUI_API CScriptedRunner : public CModalRunner {
public:
    using Script = std::function<void(CDialog &)>;

    CScriptedRunner();
    ~CScriptedRunner() override;
    CScriptedRunner(const CScriptedRunner &) = delete;
    CScriptedRunner &operator=(const CScriptedRunner &) = delete;

    void Then(Script script);
    void Answer(int button);

    INT_PTR RunModal(CDialog &dialog) override;
    int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) override;

    // The captions of the dialogs run, in order.
    const std::vector<CString> &Runs() const { return m_runs; }
    const std::vector<tagShownBox> &Boxes() const { return m_boxes; }
    size_t PendingScripts() const { return m_scripts.size(); }

private:
    CModalRunner *m_pPrevious;
    CHeadlessRunner m_headless;
    std::deque<Script> m_scripts;
    std::deque<int> m_answers;
    std::vector<CString> m_runs;
    std::vector<tagShownBox> m_boxes;
};

} // namespace ui
