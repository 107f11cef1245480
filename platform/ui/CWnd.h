// The window: an id, a text, a style, a place among its parent's children, visibility, enabled
// state and focus, messages dispatched to virtual handlers, and a canvas that records its
// last paint. No display is involved; what a user does arrives through the input functions
// of UiInput.h as the same messages a display would send.
//
// Windows belong to the thread that made them. From other threads only the window text
// (Get/SetWindowText and the DlgItem text calls) and GetSafeHwnd / IsWindow are safe; a text
// set from another thread is stored without running the window's handlers.
#pragma once

#include "platform/String.h"
#include "platform/ui/CDC.h"
#include "platform/ui/CMenu.h"
#include "platform/ui/CObject.h"
#include "platform/ui/UiTypes.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CDataExchange;

struct CREATESTRUCT {
    const char *lpszClass;
    const char *lpszName;
    uint32_t style;
    uint32_t dwExStyle;
    int x, y, cx, cy;
};

class PLATUI_API CWnd : public CObject {
    DECLARE_DYNCREATE(CWnd)

    CWnd() = default;
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;
    // Destroys a window still there (the handlers of derived classes no longer run then).
    ~CWnd() override;

    // Makes the window, a child of `parent` when given. A named class must be registered
    // (see WndClass.h); its style and background go with the window. Sends WM_CREATE (a
    // handler answering -1 fails the creation) and WM_SIZE.
    BOOL Create(const char *className, const char *windowName, uint32_t style, const CRect &rect,
                CWnd *parent, UINT id);
    BOOL CreateEx(uint32_t exStyle, const char *className, const char *windowName, uint32_t style,
                  const CRect &rect, CWnd *parent, UINT id);
    // Sends WM_DESTROY, destroys the children, then PostNcDestroy (which deletes windows made
    // from dialog templates).
    virtual BOOL DestroyWindow();
    HWND GetSafeHwnd() const { return m_bAlive.load() ? const_cast<CWnd *>(this) : nullptr; }

    int GetDlgCtrlID() const { return m_nID; }
    CWnd *GetParent() const { return m_pParent; }
    // The child with that id; null when none.
    CWnd *GetDlgItem(int id) const;
    // GW_CHILD: the first child; GW_HWNDNEXT / GW_HWNDPREV: the sibling after / before.
    CWnd *GetWindow(UINT relation) const;
    // True when `wnd` lies anywhere below this window.
    BOOL IsChild(const CWnd *wnd) const;
    const CString &GetWndClassName() const { return m_strClass; }

    void SetWindowText(const char *text);
    void GetWindowText(CString &text) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, const char *text);
    int GetDlgItemText(int id, CString &text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    // The child's text as a decimal number; 0 with *translated FALSE when it is none.
    UINT GetDlgItemInt(int id, BOOL *translated = nullptr, BOOL isSigned = TRUE) const;

    uint32_t GetStyle() const { return m_dwStyle; }
    uint32_t GetExStyle() const { return m_dwExStyle; }
    BOOL ModifyStyle(uint32_t remove, uint32_t add);
    BOOL ModifyStyleEx(uint32_t remove, uint32_t add);

    // SW_SHOW or SW_HIDE; whether the window was visible before.
    BOOL ShowWindow(int command);
    // Visible itself and every parent visible.
    BOOL IsWindowVisible() const;
    // Sends WM_ENABLE on a change; a disabled window loses the focus. Whether it was disabled.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const { return (m_dwStyle & WS_DISABLED) == 0; }

    // Sends WM_KILLFOCUS to the window that had it, then WM_SETFOCUS here; the window that had
    // the focus.
    CWnd *SetFocus();
    static CWnd *GetFocus();

    // Places are in the parent's client coordinates (there is no screen).
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(const CRect &rect, BOOL repaint = TRUE);
    void GetWindowRect(CRect *rect) const;
    // The window's size less its border (1) or client edge (2) on each side.
    void GetClientRect(CRect *rect) const;

    void SetFont(CFont *font, BOOL redraw = TRUE);
    // Null until a font is set (drawing then uses the system font).
    CFont *GetFont() const { return m_pFont; }

    void Invalidate(BOOL erase = TRUE);
    // Paints now when the window is invalid: the canvas is cleared, the background erased
    // (WM_ERASEBKGND) and OnPaint called.
    void UpdateWindow();
    const std::vector<tagCanvasOp> &GetCanvas() const { return m_canvas; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Keyboard messages pass here first, from the focus up through its parents; TRUE when
    // the window took the message itself.
    virtual BOOL PreTranslateMessage(MSG *msg);

    // The window's system menu, made with its one standard entry (SC_CLOSE) on first use.
    // With `revert` the menu goes back to that entry and null is returned.
    CMenu *GetSystemMenu(BOOL revert);

    // Shown through the modal runner; the button pressed.
    int MessageBox(const char *text, const char *caption = nullptr, UINT type = MB_OK);

    // The next (or previous) visible, enabled tab stop after `control` among this window's
    // descendants, entering children marked WS_EX_CONTROLPARENT; wraps around. Without a
    // control: the first (or last). Null when there is none.
    CWnd *GetNextDlgTabItem(CWnd *control, BOOL previous = FALSE) const;

    // Runs DoDataExchange; FALSE when a field failed its check.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own behaviour for a message no handler took.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // DefWindowProc of the message being handled on this thread.
    LRESULT Default();
    virtual void DoDataExchange(CDataExchange *dx);

    virtual int OnCreate(CREATESTRUCT *cs);
    virtual void OnDestroy();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnSetFocus(CWnd *oldWnd);
    virtual void OnKillFocus(CWnd *newWnd);
    virtual void OnEnable(BOOL enable);
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC *dc);
    virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual UINT OnGetDlgCode();
    // WM_SYSCOMMAND: a system menu entry chosen; the base does the default (Default()).
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    // WM_COMMAND from a child or a menu-less accelerator: TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // WM_NOTIFY from a child (lParam an NMHDR *): TRUE when handled, with the answer.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *result);
    // Last call for a destroyed window; windows made from templates delete themselves here.
    virtual void PostNcDestroy();

    // WM_COMMAND with this window's id and `code` to the parent.
    void NotifyParent(UINT code);
    // WM_NOTIFY to the parent, with the header filled in; the parent's answer.
    LRESULT NotifyParent(UINT code, NMHDR *record);

    // Set for windows whose object the layer made (dialog templates, window classes).
    bool m_bAutoDelete = false;

private:
    friend class CPaintDC;
    friend class CDialog;

    void Paint();
    void DropFocusWithin();
    void CollectTabItems(std::vector<CWnd *> &items) const;

    std::atomic<bool> m_bAlive{false};
    int m_nID = 0;
    CString m_strClass;
    mutable std::mutex m_textLock;
    CString m_strText;
    uint32_t m_dwStyle = 0;
    uint32_t m_dwExStyle = 0;
    int m_nBackground = 0; // the class's system colour index + 1, 0 for none
    CRect m_rect;
    CWnd *m_pParent = nullptr;
    std::vector<CWnd *> m_children;
    CFont *m_pFont = nullptr;
    std::atomic<bool> m_bInvalid{false};
    std::thread::id m_owner;
    std::vector<tagCanvasOp> m_canvas;
    std::unique_ptr<CMenu> m_pSystemMenu;
};

// True while `wnd` is a window that exists; safe from any thread.
PLATUI_API BOOL IsWindow(HWND wnd);
// The layer's keyboard state: negative while the key is held (set by the input functions).
PLATUI_API int16_t GetKeyState(int key);
