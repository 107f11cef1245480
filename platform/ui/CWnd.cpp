#include "platform/ui/CWnd.h"
#include "platform/ui/CDataExchange.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/UiState.h"
#include "platform/ui/WndClass.h"

#include <algorithm>
#include <cstdlib>
#include <set>

IMPLEMENT_DYNCREATE(CWnd, CObject)

namespace {

// Process-wide window state. The focus is the user-interface thread's; the set of live
// windows answers IsWindow from any thread.
CWnd *g_focus = nullptr;
std::mutex g_liveLock;
std::set<const CWnd *> g_live;
std::atomic<uint32_t> g_shiftHeld{0};
std::atomic<uint32_t> g_ctrlHeld{0};

// The message being handled on this thread, for Default().
thread_local const MSG *t_current = nullptr;

} // namespace

namespace uistate {

void SetShiftHeld(bool held)
{
    g_shiftHeld = held ? 1 : 0;
}

void SetCtrlHeld(bool held)
{
    g_ctrlHeld = held ? 1 : 0;
}

} // namespace uistate

BOOL IsWindow(HWND wnd)
{
    std::lock_guard<std::mutex> lock(g_liveLock);
    return g_live.count(wnd) ? TRUE : FALSE;
}

int16_t GetKeyState(int key)
{
    const bool held =
        (key == static_cast<int>(VK_SHIFT) && g_shiftHeld.load()) ||
        ((key == static_cast<int>(VK_CONTROL) || key == static_cast<int>(VK_LCONTROL)) &&
         g_ctrlHeld.load());
    return held ? int16_t(-128) : int16_t(0);
}

CWnd::~CWnd()
{
    if (m_bAlive) {
        m_bAutoDelete = false; // being deleted already
        DestroyWindow();
    }
}

BOOL CWnd::Create(const char *className, const char *windowName, uint32_t style, const CRect &rect,
                  CWnd *parent, UINT id)
{
    return CreateEx(0, className, windowName, style, rect, parent, id);
}

BOOL CWnd::CreateEx(uint32_t exStyle, const char *className, const char *windowName, uint32_t style,
                    const CRect &rect, CWnd *parent, UINT id)
{
    if (m_bAlive || (parent && !parent->m_bAlive)) return FALSE;
    tagWndClass cls{};
    if (className && *className && !GetClassInfo(className, &cls)) return FALSE;
    m_strClass = className ? className : "";
    m_nBackground = cls.hbrBackground;
    m_strText = windowName ? windowName : "";
    m_dwStyle = style;
    m_dwExStyle = exStyle;
    m_rect = rect;
    m_nID = static_cast<int>(id);
    m_pParent = parent;
    m_owner = std::this_thread::get_id();
    m_bInvalid = true;
    if (parent) parent->m_children.push_back(this);
    {
        std::lock_guard<std::mutex> lock(g_liveLock);
        g_live.insert(this);
    }
    m_bAlive = true;

    CREATESTRUCT cs{className, windowName, style,        exStyle,
                    rect.left, rect.top,   rect.Width(), rect.Height()};
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow();
        return FALSE;
    }
    CRect client;
    GetClientRect(&client);
    SendMessage(WM_SIZE, 0, MAKELPARAM(client.Width(), client.Height()));
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_bAlive) return FALSE;
    DropFocusWithin();
    SendMessage(WM_DESTROY);
    std::vector<CWnd *> children = m_children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) (*it)->DestroyWindow();
    m_bAlive = false;
    {
        std::lock_guard<std::mutex> lock(g_liveLock);
        g_live.erase(this);
    }
    if (m_pParent) {
        auto &siblings = m_pParent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        m_pParent = nullptr;
    }
    m_children.clear();
    PostNcDestroy();
    return TRUE;
}

void CWnd::PostNcDestroy()
{
    if (m_bAutoDelete) delete this;
}

CWnd *CWnd::GetDlgItem(int id) const
{
    for (CWnd *child : m_children)
        if (child->m_nID == id) return child;
    return nullptr;
}

CWnd *CWnd::GetWindow(UINT relation) const
{
    if (relation == GW_CHILD) return m_children.empty() ? nullptr : m_children.front();
    if (!m_pParent) return nullptr;
    const auto &siblings = m_pParent->m_children;
    auto it = std::find(siblings.begin(), siblings.end(), this);
    if (it == siblings.end()) return nullptr;
    if (relation == GW_HWNDNEXT) return ++it == siblings.end() ? nullptr : *it;
    if (relation == GW_HWNDPREV) return it == siblings.begin() ? nullptr : *--it;
    return nullptr;
}

BOOL CWnd::IsChild(const CWnd *wnd) const
{
    for (const CWnd *up = wnd ? wnd->m_pParent : nullptr; up; up = up->m_pParent)
        if (up == this) return TRUE;
    return FALSE;
}

void CWnd::SetWindowText(const char *text)
{
    if (m_bAlive && std::this_thread::get_id() != m_owner) {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_strText = text;
        m_bInvalid = true;
        return;
    }
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void CWnd::GetWindowText(CString &text) const
{
    std::lock_guard<std::mutex> lock(m_textLock);
    text = m_strText;
}

int CWnd::GetWindowTextLength() const
{
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_strText.GetLength();
}

void CWnd::SetDlgItemText(int id, const char *text)
{
    if (CWnd *item = GetDlgItem(id)) item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString &text) const
{
    text.Empty();
    if (CWnd *item = GetDlgItem(id)) item->GetWindowText(text);
    return text.GetLength();
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned)
{
    CString text;
    if (isSigned)
        text.Format("%d", static_cast<int>(value));
    else
        text.Format("%u", value);
    SetDlgItemText(id, text);
}

UINT CWnd::GetDlgItemInt(int id, BOOL *translated, BOOL isSigned) const
{
    if (translated) *translated = FALSE;
    CString text;
    GetDlgItemText(id, text);
    text.Trim();
    const char *begin = text.GetString();
    if (!*begin || (!isSigned && *begin == '-')) return 0;
    char *end = nullptr;
    long long value = strtoll(begin, &end, 10);
    if (*end || value > (isSigned ? INT32_MAX : UINT32_MAX) || value < (isSigned ? INT32_MIN : 0))
        return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(value);
}

BOOL CWnd::ModifyStyle(uint32_t remove, uint32_t add)
{
    uint32_t style = (m_dwStyle & ~remove) | add;
    if (style == m_dwStyle) return FALSE;
    m_dwStyle = style;
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(uint32_t remove, uint32_t add)
{
    uint32_t style = (m_dwExStyle & ~remove) | add;
    if (style == m_dwExStyle) return FALSE;
    m_dwExStyle = style;
    return TRUE;
}

BOOL CWnd::ShowWindow(int command)
{
    BOOL wasVisible = (m_dwStyle & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
        DropFocusWithin();
        m_dwStyle &= ~WS_VISIBLE;
    } else {
        m_dwStyle |= WS_VISIBLE;
        m_bInvalid = true;
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    for (const CWnd *wnd = this; wnd; wnd = wnd->m_pParent)
        if (!(wnd->m_dwStyle & WS_VISIBLE)) return FALSE;
    return m_bAlive ? TRUE : FALSE;
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    BOOL wasDisabled = !IsWindowEnabled();
    if (wasDisabled == !enable) return wasDisabled;
    if (enable) {
        m_dwStyle &= ~WS_DISABLED;
    } else {
        DropFocusWithin();
        m_dwStyle |= WS_DISABLED;
    }
    m_bInvalid = true;
    SendMessage(WM_ENABLE, enable ? 1 : 0);
    return wasDisabled;
}

CWnd *CWnd::SetFocus()
{
    CWnd *old = g_focus;
    if (!m_bAlive || old == this) return old;
    g_focus = this;
    if (old && old->m_bAlive) old->SendMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(this));
    if (g_focus == this) SendMessage(WM_SETFOCUS, reinterpret_cast<WPARAM>(old));
    return old;
}

CWnd *CWnd::GetFocus()
{
    return g_focus;
}

void CWnd::DropFocusWithin()
{
    CWnd *focus = g_focus;
    if (focus && (focus == this || IsChild(focus))) {
        g_focus = nullptr;
        focus->SendMessage(WM_KILLFOCUS, 0);
    }
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    MoveWindow(CRect(x, y, x + width, y + height), repaint);
}

void CWnd::MoveWindow(const CRect &rect, BOOL repaint)
{
    m_rect = rect;
    if (repaint) m_bInvalid = true;
    CRect client;
    GetClientRect(&client);
    if (m_bAlive) SendMessage(WM_SIZE, 0, MAKELPARAM(client.Width(), client.Height()));
}

void CWnd::GetWindowRect(CRect *rect) const
{
    if (rect) *rect = m_rect;
}

void CWnd::GetClientRect(CRect *rect) const
{
    if (!rect) return;
    int edge = (m_dwExStyle & WS_EX_CLIENTEDGE) ? 2 : (m_dwStyle & WS_BORDER) ? 1 : 0;
    *rect = CRect(0, 0, std::max(0, m_rect.Width() - 2 * edge),
                  std::max(0, m_rect.Height() - 2 * edge));
}

void CWnd::SetFont(CFont *font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

void CWnd::Invalidate(BOOL)
{
    m_bInvalid = true;
}

void CWnd::UpdateWindow()
{
    if (m_bAlive && m_bInvalid) SendMessage(WM_PAINT);
}

void CWnd::Paint()
{
    m_canvas.clear();
    m_bInvalid = false;
    {
        CDC dc(&m_canvas, m_pFont);
        SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc));
    }
    OnPaint();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const MSG msg{this, message, wParam, lParam};
    const MSG *outer = t_current;
    t_current = &msg;
    LRESULT result = WindowProc(message, wParam, lParam);
    t_current = outer;
    return result;
}

BOOL CWnd::PreTranslateMessage(MSG *)
{
    return FALSE;
}

int CWnd::MessageBox(const char *text, const char *caption, UINT type)
{
    return AfxGetModalRunner()->RunMessageBox(this, text, caption, type);
}

void CWnd::CollectTabItems(std::vector<CWnd *> &items) const
{
    for (CWnd *child : m_children) {
        if (!(child->m_dwStyle & WS_VISIBLE) || !child->IsWindowEnabled()) continue;
        if (child->m_dwExStyle & WS_EX_CONTROLPARENT)
            child->CollectTabItems(items);
        else if (child->m_dwStyle & WS_TABSTOP)
            items.push_back(child);
    }
}

CWnd *CWnd::GetNextDlgTabItem(CWnd *control, BOOL previous) const
{
    std::vector<CWnd *> items;
    CollectTabItems(items);
    if (items.empty()) return nullptr;
    auto at = std::find_if(items.begin(), items.end(), [control](CWnd *item) {
        return control && (item == control || item->IsChild(control));
    });
    if (at == items.end()) return previous ? items.back() : items.front();
    const auto n = static_cast<long>(items.size());
    long index = (at - items.begin() + (previous ? n - 1 : 1)) % n;
    return items[static_cast<size_t>(index)];
}

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException &) {
        return FALSE;
    }
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange *) {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCT *>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), static_cast<int16_t>(LOWORD(lParam)),
               static_cast<int16_t>(HIWORD(lParam)));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(reinterpret_cast<CWnd *>(wParam));
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(reinterpret_cast<CWnd *>(wParam));
        return 0;
    case WM_ENABLE:
        OnEnable(static_cast<BOOL>(wParam));
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<CDC *>(wParam));
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CHAR:
        OnChar(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam),
                      CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(static_cast<UINT>(wParam),
                        CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_GETDLGCODE:
        return OnGetDlgCode();
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return 0;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam)) return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result)) return result;
        break;
    }
    default:
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT: {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_strText = reinterpret_cast<const char *>(lParam);
        m_bInvalid = true;
        return TRUE;
    }
    case WM_SETFONT:
        m_pFont = reinterpret_cast<CFont *>(wParam);
        if (lParam) m_bInvalid = true;
        return 0;
    case WM_ERASEBKGND: {
        if (!m_nBackground || !wParam) return FALSE;
        CRect client;
        GetClientRect(&client);
        reinterpret_cast<CDC *>(wParam)->FillSolidRect(client, GetSysColor(m_nBackground - 1));
        return TRUE;
    }
    default:
        return 0;
    }
}

CMenu *CWnd::GetSystemMenu(BOOL revert)
{
    if (!m_pSystemMenu || revert) {
        m_pSystemMenu = std::make_unique<CMenu>();
        m_pSystemMenu->AppendMenu(MF_STRING, SC_CLOSE, "关闭(&C)");
    }
    return revert ? nullptr : m_pSystemMenu.get();
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

LRESULT CWnd::Default()
{
    const MSG *msg = t_current;
    if (!msg || msg->hwnd != this) return 0;
    return DefWindowProc(msg->message, msg->wParam, msg->lParam);
}

int CWnd::OnCreate(CREATESTRUCT *)
{
    return 0;
}

void CWnd::OnDestroy() {}

void CWnd::OnSize(UINT, int, int) {}

void CWnd::OnSetFocus(CWnd *)
{
    Default();
}

void CWnd::OnKillFocus(CWnd *)
{
    Default();
}

void CWnd::OnEnable(BOOL) {}

void CWnd::OnPaint() {}

BOOL CWnd::OnEraseBkgnd(CDC *)
{
    return static_cast<BOOL>(Default());
}

void CWnd::OnKeyDown(UINT, UINT, UINT)
{
    Default();
}

void CWnd::OnChar(UINT, UINT, UINT)
{
    Default();
}

void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}

void CWnd::OnLButtonDblClk(UINT, CPoint)
{
    Default();
}

UINT CWnd::OnGetDlgCode()
{
    return static_cast<UINT>(Default());
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT *)
{
    return FALSE;
}

void CWnd::NotifyParent(UINT code)
{
    if (m_pParent)
        m_pParent->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(m_nID), code),
                               reinterpret_cast<LPARAM>(this));
}

LRESULT CWnd::NotifyParent(UINT code, NMHDR *record)
{
    if (!m_pParent || !record) return 0;
    record->hwndFrom = this;
    record->idFrom = static_cast<uintptr_t>(m_nID);
    record->code = code;
    return m_pParent->SendMessage(WM_NOTIFY, static_cast<WPARAM>(m_nID),
                                  reinterpret_cast<LPARAM>(record));
}

COLORREF GetSysColor(int index)
{
    switch (index) {
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
        return RGB(0, 0, 0);
    case COLOR_BTNFACE:
        return RGB(212, 208, 200);
    case COLOR_GRAYTEXT:
        return RGB(128, 128, 128);
    default:
        return RGB(0, 0, 0);
    }
}
