// The edit control: one line (or several with ES_MULTILINE) of text with a caret and a
// selection, a typing limit, and the keys a user edits with. Changes a user makes send
// EN_CHANGE to the parent; texts set from code do not.
#pragma once

#include "platform/ui/CWnd.h"

class PLATUI_API CEdit : public CWnd {
    DECLARE_DYNCREATE(CEdit)

    CEdit() = default;
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    // `start` is the anchor and `end` the caret; -1 as end means the end of the text, -1 as
    // start removes the selection and leaves the caret where it is.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    // The selection, start <= end; both the caret when nothing is selected.
    void GetSel(int &start, int &end) const;
    int GetCaretPos() const { return m_nCaret; }
    // Replaces the selection (no typing limit applies) and puts the caret after it.
    void ReplaceSel(const char *text, BOOL canUndo = FALSE);
    // Characters a user may type; 0 restores the default (30000).
    void LimitText(int chars = 0);
    int GetLimitText() const { return m_nLimit; }
    BOOL GetModify() const { return m_bModified; }
    int GetLineCount() const;
    int GetFirstVisibleLine() const { return m_nFirstLine; }
    // The character nearest the point (low word) and its line (high word).
    int CharFromPos(CPoint point) const;

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CString Text() const;
    bool IsMultiLine() const { return (GetStyle() & ES_MULTILINE) != 0; }
    // Replaces [from, to) and leaves the caret after the new text; a user's change notifies
    // the parent.
    void Edit(int from, int to, const char *text, bool byUser);
    void Type(UINT ch);
    void Key(UINT key);
    void ScrollCaret();

    int m_nAnchor = 0;
    int m_nCaret = 0;
    int m_nLimit = 30000;
    bool m_bModified = false;
    int m_nFirstLine = 0;
};
