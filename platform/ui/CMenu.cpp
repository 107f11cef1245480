#include "platform/ui/CMenu.h"

BOOL CMenu::AppendMenu(UINT flags, UINT id, const char *text)
{
    if (flags & MF_SEPARATOR)
        m_items.push_back({true, 0, CString()});
    else
        m_items.push_back({false, id, text ? text : ""});
    return TRUE;
}

UINT CMenu::GetMenuItemID(int position) const
{
    if (position < 0 || position >= GetMenuItemCount()) return 0xFFFFFFFFu;
    return m_items[static_cast<size_t>(position)].id;
}

const CMenu::Item *CMenu::Find(UINT item, UINT flags) const
{
    if (flags & MF_BYPOSITION) return item < m_items.size() ? &m_items[item] : nullptr;
    for (const Item &entry : m_items)
        if (!entry.separator && entry.id == item) return &entry;
    return nullptr;
}

int CMenu::GetMenuString(UINT item, CString &text, UINT flags) const
{
    const Item *entry = Find(item, flags);
    text = entry ? entry->text : CString();
    return text.GetLength();
}

bool CMenu::HasCommand(UINT id) const
{
    return Find(id, MF_BYCOMMAND) != nullptr;
}
