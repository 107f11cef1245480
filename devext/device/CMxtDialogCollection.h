// Collection of registered setting dialogs (see CMxtDialogReg.h): the registrations that apply
// to a device class and its base classes, gathered from the registry of every loaded module,
// the dialog objects made from them, and the property sheet that shows them.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/UiTypes.h"

#include <vector>

class CPropertyPage;

class DEVEXT20_API CMxtDialogCollection {
public:
    explicit CMxtDialogCollection(const char *caption = nullptr);
    // Deletes the pages it made.
    ~CMxtDialogCollection();
    CMxtDialogCollection(const CMxtDialogCollection &) = delete;
    CMxtDialogCollection &operator=(const CMxtDialogCollection &) = delete;

    // Empties `out`, then appends what every registry holds for the device class (without
    // case); with a filter only dialogs of that class or below, with a non-empty key only
    // those of exactly that key. The count.
    static int Collect(tagMxtDlgInfoArray &out, const char *deviceClass,
                       const CRuntimeClass *filter = nullptr, const char *dialogKey = nullptr);
    // Empties `out`, then appends the registrations of the class, then of its base class, and
    // so on up the run-time class tree. The count.
    static int CollectWithBases(tagMxtDlgInfoArray &out, const char *deviceClass);

    // Discards the pages, collects for the class and its bases and keeps the filter's; the
    // count.
    int Prepare(const char *deviceClass, const CRuntimeClass *filter = nullptr);
    // Discards the pages and takes these registrations instead.
    void SetRegistrations(const tagMxtDlgInfoArray &regs);
    const tagMxtDlgInfoArray &GetRegistrations() const { return m_regs; }

    // Once per collection: one page for each registration whose dialog is a property page
    // (a registration whose dialog cannot be made is skipped). The number of pages.
    int CreatePages();
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage *GetPage(int index) const;
    // Makes the pages and runs them in one modal property sheet under the caption: its
    // result, or 0 (and no window) without pages.
    INT_PTR Show();
    void Discard();

private:
    CString m_strCaption;
    tagMxtDlgInfoArray m_regs;
    std::vector<CPropertyPage *> m_pages;
    bool m_bPagesCreated = false;
};
