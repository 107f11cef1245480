// Drawing without a display: fonts with fixed metrics and a device context that records what
// is drawn (lines, rectangles, fills, texts) into its window's canvas, so that tests read back
// what a window painted. Metrics are those of a fixed-pitch font: each single-byte character
// is the font's character width, each GBK two-byte character twice that.
#pragma once

#include "platform/String.h"
#include "platform/ui/UiTypes.h"

#include <vector>

struct LOGFONT {
    int lfHeight = 16;
    int lfWidth = 0; // 0: half the height
    char lfFaceName[32] = {};
};

class PLATUI_API CFont {
public:
    CFont() = default;
    CFont(const CFont &) = delete;
    CFont &operator=(const CFont &) = delete;

    BOOL CreateFontIndirect(const LOGFONT *font);

    int GetHeight() const { return m_font.lfHeight < 0 ? -m_font.lfHeight : m_font.lfHeight; }
    int GetCharWidth() const { return m_font.lfWidth > 0 ? m_font.lfWidth : GetHeight() / 2; }

    // The font of a window that was given none: 16 high, 8 wide.
    static const CFont &SystemFont();

private:
    LOGFONT m_font;
};

// One thing drawn.
struct tagCanvasOp {
    enum Kind { LINE, RECTANGLE, FILL, TEXT };
    Kind kind;
    CRect rect;     // LINE: from (left, top) to (right, bottom); TEXT: the text's box
    CString text;   // TEXT only
    COLORREF color; // LINE, RECTANGLE: black; FILL: the fill; TEXT: the text colour
    UINT format;    // TEXT: DrawText's format (DT_LEFT for TextOut)
};

class PLATUI_API CDC {
public:
    // Draws into `canvas`, with `font` selected (the system font when null).
    CDC(std::vector<tagCanvasOp> *canvas, const CFont *font);
    CDC(const CDC &) = delete;
    CDC &operator=(const CDC &) = delete;

    // Returns the font selected before.
    const CFont *SelectObject(const CFont *font);
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    int SetBkMode(int mode);

    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y);
    BOOL Rectangle(const CRect &rect);
    void FillSolidRect(const CRect &rect, COLORREF color);
    BOOL TextOut(int x, int y, const char *text);
    int DrawText(const char *text, const CRect &rect, UINT format);

    CSize GetTextExtent(const char *text) const;

private:
    void Record(tagCanvasOp op);

    std::vector<tagCanvasOp> *m_canvas;
    const CFont *m_font;
    COLORREF m_textColor = RGB(0, 0, 0);
    int m_bkMode = OPAQUE;
    CPoint m_pos;
};

// The context of one paint of a window: draws into the window's canvas with its font.
class PLATUI_API CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd *wnd);
};
