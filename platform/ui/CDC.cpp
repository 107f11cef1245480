#include "platform/ui/CDC.h"
#include "platform/ui/CWnd.h"

BOOL CFont::CreateFontIndirect(const LOGFONT *font)
{
    if (!font || font->lfHeight == 0) return FALSE;
    m_font = *font;
    m_font.lfFaceName[sizeof(m_font.lfFaceName) - 1] = '\0';
    return TRUE;
}

const CFont &CFont::SystemFont()
{
    static const CFont system;
    return system;
}

CDC::CDC(std::vector<tagCanvasOp> *canvas, const CFont *font)
    : m_canvas(canvas), m_font(font ? font : &CFont::SystemFont())
{
}

const CFont *CDC::SelectObject(const CFont *font)
{
    const CFont *old = m_font;
    m_font = font ? font : &CFont::SystemFont();
    return old;
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    COLORREF old = m_textColor;
    m_textColor = color;
    return old;
}

int CDC::SetBkMode(int mode)
{
    int old = m_bkMode;
    m_bkMode = mode;
    return old;
}

CPoint CDC::MoveTo(int x, int y)
{
    CPoint old = m_pos;
    m_pos = CPoint(x, y);
    return old;
}

BOOL CDC::LineTo(int x, int y)
{
    Record({tagCanvasOp::LINE, CRect(m_pos.x, m_pos.y, x, y), {}, RGB(0, 0, 0), 0});
    m_pos = CPoint(x, y);
    return TRUE;
}

BOOL CDC::Rectangle(const CRect &rect)
{
    Record({tagCanvasOp::RECTANGLE, rect, {}, RGB(0, 0, 0), 0});
    return TRUE;
}

void CDC::FillSolidRect(const CRect &rect, COLORREF color)
{
    Record({tagCanvasOp::FILL, rect, {}, color, 0});
}

BOOL CDC::TextOut(int x, int y, const char *text)
{
    CSize size = GetTextExtent(text);
    Record({tagCanvasOp::TEXT, CRect(x, y, x + size.cx, y + size.cy), text, m_textColor, DT_LEFT});
    return TRUE;
}

int CDC::DrawText(const char *text, const CRect &rect, UINT format)
{
    Record({tagCanvasOp::TEXT, rect, text, m_textColor, format});
    return m_font->GetHeight();
}

CSize CDC::GetTextExtent(const char *text) const
{
    int units = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : ""); *p;
         ++p, ++units) {
        if (*p >= 0x81 && *p <= 0xFE && p[1]) {
            ++p;
            ++units;
        }
    }
    return CSize(units * m_font->GetCharWidth(), m_font->GetHeight());
}

void CDC::Record(tagCanvasOp op)
{
    if (m_canvas) m_canvas->push_back(std::move(op));
}

CPaintDC::CPaintDC(CWnd *wnd) : CDC(wnd ? &wnd->m_canvas : nullptr, wnd ? wnd->GetFont() : nullptr)
{
}
