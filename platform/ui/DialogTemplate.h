// Dialog templates: a dialog's caption, style, size and controls as a C++ table, registered
// under the template id while the module that carries it is loaded. A control is made by its
// window class name (see WndClass.h); the standard kinds name their standard classes.
//
//     static const CDlgTemplateReg s_template({5000, "Page", WS_CHILD, {0, 0, 300, 200}, {
//         {5005, UiControl::Static, nullptr, "", WS_CHILD | WS_VISIBLE, {7, 7, 293, 27}},
//         {5032, UiControl::Custom, "CMxtTimecodeCtrl", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
//          {7, 30, 127, 50}},
//     }});
#pragma once

#include "platform/ui/UiTypes.h"

#include <vector>

enum class UiControl { Static, Edit, Button, ComboBox, ListBox, ListView, DateTime, Custom };

struct tagDlgItem {
    int id;
    UiControl kind;
    const char *className; // for UiControl::Custom; the standard kinds ignore it
    const char *text;
    uint32_t style;
    CRect rect;
    uint32_t exStyle = 0;

    // The window class the control is made of.
    const char *WndClassName() const;
};

struct tagDlgTemplate {
    UINT id;
    const char *caption;
    uint32_t style;
    CRect rect;
    std::vector<tagDlgItem> items;
};

// Registers its template for its own lifetime; a later registration of the same id hides an
// earlier one until it goes.
class PLATUI_API CDlgTemplateReg {
public:
    explicit CDlgTemplateReg(tagDlgTemplate dlgTemplate);
    ~CDlgTemplateReg();
    CDlgTemplateReg(const CDlgTemplateReg &) = delete;
    CDlgTemplateReg &operator=(const CDlgTemplateReg &) = delete;

    const tagDlgTemplate &Template() const { return m_template; }

private:
    tagDlgTemplate m_template;
};

// The template registered under `id`; null when none. Valid while its registration lives.
PLATUI_API const tagDlgTemplate *AfxFindDlgTemplate(UINT id);
