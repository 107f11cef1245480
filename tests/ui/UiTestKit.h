// What the window-layer tests share: a top-level window that records the commands and
// notifications its children send, and helpers to make controls under it.
#pragma once

#include "platform/ui/CWnd.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace uitest {

struct Notice {
    int id;
    UINT code;
    bool operator==(const Notice &) const = default;
};

class CRecorder : public CWnd {
public:
    CRecorder()
    {
        Create(nullptr, "host", WS_POPUP | WS_VISIBLE, CRect(0, 0, 400, 300), nullptr, 0);
    }

    std::vector<Notice> notices;
    std::vector<NMHDR> notifies;
    std::vector<UINT> listKeys;
    int lastItem = -2;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        notices.push_back({static_cast<int>(LOWORD(wParam)), HIWORD(wParam)});
        return TRUE;
    }
    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT *) override
    {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lParam);
        notifies.push_back(*hdr);
        if (hdr->code == NM_CLICK || hdr->code == NM_DBLCLK)
            lastItem = reinterpret_cast<const NMITEMACTIVATE *>(lParam)->iItem;
        if (hdr->code == LVN_KEYDOWN)
            listKeys.push_back(reinterpret_cast<const NMLVKEYDOWN *>(lParam)->wVKey);
        return TRUE;
    }
};

// A control of type T made under `parent` and owned by the test.
template <class T>
std::unique_ptr<T> Make(CWnd &parent, const char *wndClass, int id, uint32_t style = 0,
                        const char *text = "", CRect rect = CRect(0, 0, 100, 20))
{
    auto control = std::make_unique<T>();
    EXPECT_TRUE(control->CWnd::Create(wndClass, text, WS_CHILD | WS_VISIBLE | style, rect, &parent,
                                      static_cast<UINT>(id)));
    return control;
}

inline CString TextOf(const CWnd &wnd)
{
    CString text;
    wnd.GetWindowText(text);
    return text;
}

} // namespace uitest
