// A static text: a label that shows its window text and takes no input.
#pragma once

#include "platform/ui/CWnd.h"

class PLATUI_API CStatic : public CWnd {
    DECLARE_DYNCREATE(CStatic)

    CStatic() = default;
    BOOL Create(const char *text, uint32_t style, const CRect &rect, CWnd *parent, UINT id);

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
