#include "platform/ui/CItemListWnd.h"

IMPLEMENT_DYNAMIC(CItemListWnd, CWnd)

int CItemListWnd::AddString(const char *text)
{
    return InsertString(-1, text);
}

int CItemListWnd::InsertString(int index, const char *text)
{
    if (index < 0 || index > GetCount()) index = GetCount();
    m_items.insert(m_items.begin() + index, CString(text));
    if (m_nSel >= index) ++m_nSel;
    return index;
}

int CItemListWnd::DeleteString(UINT index)
{
    const int at = static_cast<int>(index);
    if (!Valid(at)) return -1;
    m_items.erase(m_items.begin() + at);
    if (m_nSel == at) {
        m_nSel = -1;
        OnSelectionChanged();
    } else if (m_nSel > at) {
        --m_nSel;
    }
    return GetCount();
}

void CItemListWnd::ResetContent()
{
    m_items.clear();
    m_nSel = -1;
    OnSelectionChanged();
}

int CItemListWnd::SetCurSel(int index)
{
    m_nSel = Valid(index) ? index : -1;
    OnSelectionChanged();
    return m_nSel;
}

int CItemListWnd::FindString(int start, const char *prefix) const
{
    return Find(start, prefix, false);
}

int CItemListWnd::FindStringExact(int start, const char *text) const
{
    return Find(start, text, true);
}

int CItemListWnd::SelectString(int start, const char *prefix)
{
    int found = Find(start, prefix, false);
    return found < 0 ? -1 : SetCurSel(found);
}

bool CItemListWnd::ItemText(int index, CString &text) const
{
    if (!Valid(index)) return false;
    text = m_items[static_cast<size_t>(index)];
    return true;
}

int CItemListWnd::Find(int start, const char *text, bool exact) const
{
    const int n = GetCount();
    const CString wanted(text);
    const int first = Valid(start) ? start + 1 : 0;
    for (int k = 0; k < n; ++k) {
        const int i = (first + k) % n;
        const CString &item = m_items[static_cast<size_t>(i)];
        const CString compared = exact ? item : item.Left(wanted.GetLength());
        if (compared.CompareNoCase(wanted) == 0) return i;
    }
    return -1;
}
