#include "platform/ui/CEdit.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

IMPLEMENT_DYNCREATE(CEdit, CWnd)

namespace {

constexpr int kDefaultLimit = 30000;

bool IsLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// Offsets where characters start, and the end: a GBK pair is one character.
std::vector<int> Boundaries(const CString &text)
{
    std::vector<int> at{0};
    const int n = text.GetLength();
    for (int i = 0; i < n;) {
        i += (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < n) ? 2 : 1;
        at.push_back(i);
    }
    return at;
}

int Step(const CString &text, int from, int direction)
{
    std::vector<int> at = Boundaries(text);
    auto it = std::lower_bound(at.begin(), at.end(), from);
    if (direction < 0) return it == at.begin() ? 0 : *(it - 1);
    if (it != at.end() && *it == from) ++it;
    return it == at.end() ? text.GetLength() : *it;
}

} // namespace

BOOL CEdit::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("Edit", "", style, rect, parent, id);
}

CString CEdit::Text() const
{
    CString text;
    GetWindowText(text);
    return text;
}

void CEdit::SetSel(int start, int end, BOOL)
{
    const int n = GetWindowTextLength();
    if (start < 0) {
        m_nAnchor = m_nCaret;
        return;
    }
    if (end < 0 || end > n) end = n;
    m_nAnchor = std::min(start, n);
    m_nCaret = end;
}

// Clamped to the text: another thread may have set a shorter one.
void CEdit::GetSel(int &start, int &end) const
{
    const int n = GetWindowTextLength();
    start = std::min(std::min(m_nAnchor, m_nCaret), n);
    end = std::min(std::max(m_nAnchor, m_nCaret), n);
}

void CEdit::ReplaceSel(const char *text, BOOL)
{
    int start, end;
    GetSel(start, end);
    Edit(start, end, text, false);
}

void CEdit::LimitText(int chars)
{
    m_nLimit = chars > 0 ? chars : kDefaultLimit;
}

int CEdit::GetLineCount() const
{
    if (!IsMultiLine()) return 1;
    CString text = Text();
    return 1 + static_cast<int>(
                   std::count(text.GetString(), text.GetString() + text.GetLength(), '\n'));
}

int CEdit::CharFromPos(CPoint point) const
{
    const CFont &font = GetFont() ? *GetFont() : CFont::SystemFont();
    CString text = Text();
    int lineStart = 0;
    int lineEnd = text.GetLength();
    int line = 0;
    if (IsMultiLine()) {
        int wanted = m_nFirstLine + std::max(0, point.y) / std::max(1, font.GetHeight());
        for (; line < wanted; ++line) {
            int next = text.Find('\n', lineStart);
            if (next < 0) break;
            lineStart = next + 1;
        }
        int next = text.Find('\n', lineStart);
        lineEnd = next < 0 ? text.GetLength() : next;
        if (lineEnd > lineStart && text[lineEnd - 1] == '\r') --lineEnd;
    }
    CString shown = text.Mid(lineStart, lineEnd - lineStart);
    CDC dc(nullptr, &font);
    CRect client;
    GetClientRect(&client);
    int offset = 0;
    const int width = dc.GetTextExtent(shown).cx;
    if (GetStyle() & ES_CENTER)
        offset = (client.Width() - width) / 2;
    else if (GetStyle() & ES_RIGHT)
        offset = client.Width() - width;
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int at : Boundaries(shown)) {
        int x = offset + dc.GetTextExtent(shown.Left(at)).cx;
        int distance = std::abs(point.x - x);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = at;
        }
    }
    return static_cast<int>(MAKELPARAM(lineStart + best, line));
}

void CEdit::Edit(int from, int to, const char *text, bool byUser)
{
    CString now = Text();
    CString changed = now.Left(from) + text + now.Mid(to);
    CWnd::DefWindowProc(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(changed.GetString()));
    m_nCaret = m_nAnchor = from + CString(text).GetLength();
    m_bModified = true;
    if (byUser) NotifyParent(EN_CHANGE);
}

void CEdit::Type(UINT ch)
{
    if (GetStyle() & ES_READONLY) return;
    int start, end;
    GetSel(start, end);
    const CString text = Text();
    if (ch == VK_BACK) {
        if (start == end && start > 0) start = Step(text, start, -1);
        if (start != end) Edit(start, end, "", true);
        return;
    }
    CString insert;
    if (ch == '\r') {
        if (!IsMultiLine() || !(GetStyle() & ES_WANTRETURN)) return;
        insert = "\r\n";
    } else if (ch < 0x20 || ch > 0xFF) {
        return;
    } else {
        insert = CString(static_cast<char>(ch));
    }
    if (text.GetLength() - (end - start) + insert.GetLength() > m_nLimit) return;
    Edit(start, end, insert, true);
}

void CEdit::Key(UINT key)
{
    int start, end;
    GetSel(start, end);
    const CString text = Text();
    switch (key) {
    case VK_LEFT:
        m_nCaret = start == end ? Step(text, m_nCaret, -1) : start;
        break;
    case VK_RIGHT:
        m_nCaret = start == end ? Step(text, m_nCaret, 1) : end;
        break;
    case VK_HOME:
        m_nCaret = 0;
        break;
    case VK_END:
        m_nCaret = text.GetLength();
        break;
    case VK_DELETE:
        if (GetStyle() & ES_READONLY) return;
        if (start == end) end = Step(text, end, 1);
        if (start != end) Edit(start, end, "", true);
        return;
    default:
        return;
    }
    m_nAnchor = m_nCaret;
}

void CEdit::ScrollCaret()
{
    if (!IsMultiLine()) return;
    CString text = Text();
    const int caretLine = static_cast<int>(std::count(
        text.GetString(), text.GetString() + std::min(m_nCaret, text.GetLength()), '\n'));
    CRect client;
    GetClientRect(&client);
    const CFont &font = GetFont() ? *GetFont() : CFont::SystemFont();
    const int visible = std::max(1, client.Height() / std::max(1, font.GetHeight()));
    if (caretLine < m_nFirstLine)
        m_nFirstLine = caretLine;
    else if (caretLine >= m_nFirstLine + visible)
        m_nFirstLine = caretLine - visible + 1;
}

LRESULT CEdit::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        CWnd::DefWindowProc(message, wParam, lParam);
        m_nAnchor = m_nCaret = 0;
        m_nFirstLine = 0;
        m_bModified = false;
        return TRUE;
    case WM_CHAR:
        Type(static_cast<UINT>(wParam));
        return 0;
    case WM_KEYDOWN:
        Key(static_cast<UINT>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus();
        m_nAnchor = m_nCaret = LOWORD(static_cast<uintptr_t>(
            CharFromPos(CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)))));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
               (IsMultiLine() && (GetStyle() & ES_WANTRETURN) ? DLGC_WANTALLKEYS : 0);
    case EM_SETSEL:
        SetSel(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case EM_SCROLLCARET:
        ScrollCaret();
        return TRUE;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
