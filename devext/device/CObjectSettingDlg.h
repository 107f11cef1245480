// Setting pages of framework objects and devices, and the entry point that shows them: every
// page registered for an object's class and its base classes, in one modal property sheet.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/String.h"
#include "platform/ui/CPropertyPage.h"

// The base of every setting page. glDoSettingDialog fills in the object's setting path and
// instance name before the sheet opens; derived pages read them when they initialise.
class DEVEXT20_API CObjectSettingDlg : public CPropertyPage {
    DECLARE_DYNCREATE(CObjectSettingDlg)

    explicit CObjectSettingDlg(int templateId = 0);

    CString m_strSettingPath;
    CString m_strObjectName;
};

// Shows the setting pages of the object `name`. Without a setting, the setting is looked for
// under every folder of "/etc" (see glFindObjectInResource), else "/etc/tvx/" followed by the
// name. Without a class, the key "class" of the setting names it (mapped to the class name of
// its run-time class record when there is one). The sheet's result; 0 without a class or a
// page.
DEVEXT20_API int glDoSettingDialog(const char *caption, const char *name, const char *setting,
                                   const char *className);
// Keeps the registrations whose dialog is a setting page, makes the pages, gives each the
// setting path and the name, runs them in one property sheet titled `caption` and deletes
// them. The sheet's result, 0 without a page.
DEVEXT20_API int glDoSettingDialog(const char *caption, const char *name, const char *setting,
                                   tagMxtDlgInfoArray &registrations);
