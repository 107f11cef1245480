#include "platform/ui/CStatic.h"

IMPLEMENT_DYNCREATE(CStatic, CWnd)

BOOL CStatic::Create(const char *text, uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("Static", text, style, rect, parent, id);
}

LRESULT CStatic::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETDLGCODE) return DLGC_STATIC;
    return CWnd::DefWindowProc(message, wParam, lParam);
}
