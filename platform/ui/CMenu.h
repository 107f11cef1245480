// A menu: an ordered list of entries, each a command id with its text, or a separator. A
// window's system menu (CWnd::GetSystemMenu) is one; choosing its entry `id` sends the
// window WM_SYSCOMMAND with that id.
#pragma once

#include "platform/String.h"
#include "platform/ui/UiTypes.h"

#include <vector>

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

class PLATUI_API CMenu {
public:
    CMenu() = default;
    CMenu(const CMenu &) = delete;
    CMenu &operator=(const CMenu &) = delete;

    // Appends a separator (MF_SEPARATOR; id and text unused) or an entry.
    BOOL AppendMenu(UINT flags, UINT id = 0, const char *text = nullptr);
    int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
    // The command id at `position`: 0 for a separator, 0xFFFFFFFF for a bad position.
    UINT GetMenuItemID(int position) const;
    // The text of the entry found by command id (MF_BYCOMMAND) or position (MF_BYPOSITION);
    // its length, 0 when there is no such entry.
    int GetMenuString(UINT item, CString &text, UINT flags) const;
    // Whether an entry (not a separator) has the command id.
    bool HasCommand(UINT id) const;
    void RemoveAll() { m_items.clear(); }

private:
    struct Item {
        bool separator;
        UINT id;
        CString text;
    };
    const Item *Find(UINT item, UINT flags) const;

    std::vector<Item> m_items;
};
