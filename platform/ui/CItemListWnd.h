// What list boxes and combo boxes share: string items and one selected item.
// Searches compare without case and, from a start item, wrap around once. Setting the
// selection from code sends no notification.
#pragma once

#include "platform/ui/CWnd.h"

#include <vector>

class PLATUI_API CItemListWnd : public CWnd {
    DECLARE_DYNAMIC(CItemListWnd)

    // The new item's index; -1 (or past the end) appends.
    int AddString(const char *text);
    int InsertString(int index, const char *text);
    // The number of items left; -1 for a bad index.
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    int GetCurSel() const { return m_nSel; }
    // The index selected; -1 (with no selection) for -1 or a bad index.
    int SetCurSel(int index);
    // The first item after `start` (-1: from the top) starting with the prefix; -1 when none.
    int FindString(int start, const char *prefix) const;
    int FindStringExact(int start, const char *text) const;
    // Selects the first item starting with the prefix; its index or -1.
    int SelectString(int start, const char *prefix);

protected:
    CItemListWnd() = default;
    bool ItemText(int index, CString &text) const;
    // The selected item changed or went.
    virtual void OnSelectionChanged() {}

private:
    bool Valid(int index) const { return index >= 0 && index < GetCount(); }
    int Find(int start, const char *text, bool exact) const;

    std::vector<CString> m_items;
    int m_nSel = -1;
};
