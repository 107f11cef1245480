#include "platform/ui/DialogTemplate.h"

#include <algorithm>
#include <mutex>

namespace {

struct Templates {
    std::mutex lock;
    std::vector<const CDlgTemplateReg *> regs; // in registration order
};

Templates &TheTemplates()
{
    static Templates templates;
    return templates;
}

} // namespace

const char *tagDlgItem::WndClassName() const
{
    switch (kind) {
    case UiControl::Static:
        return "Static";
    case UiControl::Edit:
        return "Edit";
    case UiControl::Button:
        return "Button";
    case UiControl::ComboBox:
        return "ComboBox";
    case UiControl::ListBox:
        return "ListBox";
    case UiControl::ListView:
        return "SysListView32";
    case UiControl::DateTime:
        return "SysDateTimePick32";
    case UiControl::Custom:
        break;
    }
    return className ? className : "";
}

CDlgTemplateReg::CDlgTemplateReg(tagDlgTemplate dlgTemplate) : m_template(std::move(dlgTemplate))
{
    Templates &templates = TheTemplates();
    std::lock_guard<std::mutex> lock(templates.lock);
    templates.regs.push_back(this);
}

CDlgTemplateReg::~CDlgTemplateReg()
{
    Templates &templates = TheTemplates();
    std::lock_guard<std::mutex> lock(templates.lock);
    templates.regs.erase(std::remove(templates.regs.begin(), templates.regs.end(), this),
                         templates.regs.end());
}

const tagDlgTemplate *AfxFindDlgTemplate(UINT id)
{
    Templates &templates = TheTemplates();
    std::lock_guard<std::mutex> lock(templates.lock);
    for (auto it = templates.regs.rbegin(); it != templates.regs.rend(); ++it)
        if ((*it)->Template().id == id) return &(*it)->Template();
    return nullptr;
}
