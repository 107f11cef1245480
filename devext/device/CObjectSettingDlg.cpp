#include "devext/device/CObjectSettingDlg.h"
#include "devext/device/CMxtDialogCollection.h"

#include "Kest20/ClassA.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CResAccess.h"

IMPLEMENT_DYNCREATE(CObjectSettingDlg, CPropertyPage)

CObjectSettingDlg::CObjectSettingDlg(int templateId) : CPropertyPage(static_cast<UINT>(templateId))
{
}

int glDoSettingDialog(const char *caption, const char *name, const char *setting,
                      const char *className)
{
    CString path(setting);
    if (path.IsEmpty()) {
        CStringArray roots;
        if (!glFindObjectInResource(path, name, CClassA::GetClassID(), roots))
            path.Format("/etc/tvx/%s", name ? name : "");
    }
    CString cls(className);
    if (cls.IsEmpty()) {
        cls = CResAccess(path)["class"].GetAsString("");
        if (iRtc *rtc = cls.IsEmpty() ? nullptr : iRtc::vFindByNames(cls))
            cls = rtc->GetClassInfoA()->lpszClassName;
    }
    if (cls.IsEmpty()) return 0;
    tagMxtDlgInfoArray registrations;
    CMxtDialogCollection::CollectWithBases(registrations, cls);
    return glDoSettingDialog(caption, name, path, registrations);
}

int glDoSettingDialog(const char *caption, const char *name, const char *setting,
                      tagMxtDlgInfoArray &registrations)
{
    for (int i = registrations.GetSize() - 1; i >= 0; --i) {
        const CRuntimeClass *cls = registrations[i]->m_pDialogClass;
        if (!cls || !cls->IsDerivedFrom(RUNTIME_CLASS(CObjectSettingDlg)))
            registrations.RemoveAt(i);
    }
    CMxtDialogCollection pages(caption);
    pages.SetRegistrations(registrations);
    pages.CreatePages();
    for (int i = 0; i < pages.GetPageCount(); ++i) {
        auto *page = static_cast<CObjectSettingDlg *>(pages.GetPage(i));
        page->m_strSettingPath = setting;
        page->m_strObjectName = name;
    }
    return static_cast<int>(pages.Show());
}
