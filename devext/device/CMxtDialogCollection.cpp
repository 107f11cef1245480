#include "devext/device/CMxtDialogCollection.h"

#include "KestLib20/KestRtc.h"
#include "platform/ui/CPropertyPage.h"
#include "platform/ui/CPropertySheet.h"

namespace {

// Keeps the registrations whose dialog class is `filter` or lies below it.
void KeepKind(tagMxtDlgInfoArray &regs, const CRuntimeClass *filter)
{
    for (int i = regs.GetSize() - 1; i >= 0; --i)
        if (!regs[i]->m_pDialogClass || !regs[i]->m_pDialogClass->IsDerivedFrom(filter))
            regs.RemoveAt(i);
}

} // namespace

CMxtDialogCollection::CMxtDialogCollection(const char *caption) : m_strCaption(caption) {}

CMxtDialogCollection::~CMxtDialogCollection()
{
    Discard();
}

int CMxtDialogCollection::Collect(tagMxtDlgInfoArray &out, const char *deviceClass,
                                  const CRuntimeClass *filter, const char *dialogKey)
{
    out.RemoveAll();
    IKestNamedPtr *manager = nullptr;
    void **slot = nullptr;
    while (void **found = glGetNextNamedPtr(IMxtDialogMgr::kNamedPtrType, &manager, &slot)) {
        auto *registry = static_cast<IMxtDialogMgr *>(__atomic_load_n(found, __ATOMIC_ACQUIRE));
        if (registry) registry->Find(deviceClass, out);
    }
    if (filter) KeepKind(out, filter);
    if (dialogKey && *dialogKey)
        for (int i = out.GetSize() - 1; i >= 0; --i)
            if (out[i]->m_strDialogKey != dialogKey) out.RemoveAt(i);
    return out.GetSize();
}

int CMxtDialogCollection::CollectWithBases(tagMxtDlgInfoArray &out, const char *deviceClass)
{
    out.RemoveAll();
    if (!deviceClass) return 0;
    CString name(deviceClass);
    iRtc *rtc = iRtc::vFind(deviceClass, iRtc::FIND_CLASSNAME);
    for (;;) {
        tagMxtDlgInfoArray own;
        Collect(own, name);
        out.Append(own);
        rtc = rtc ? rtc->GetFatherRtc() : nullptr;
        if (!rtc) break;
        name = rtc->GetClassInfoA()->lpszClassName;
    }
    return out.GetSize();
}

int CMxtDialogCollection::Prepare(const char *deviceClass, const CRuntimeClass *filter)
{
    Discard();
    CollectWithBases(m_regs, deviceClass);
    if (filter) KeepKind(m_regs, filter);
    return m_regs.GetSize();
}

void CMxtDialogCollection::SetRegistrations(const tagMxtDlgInfoArray &regs)
{
    Discard();
    m_regs.Copy(regs);
}

int CMxtDialogCollection::CreatePages()
{
    if (m_bPagesCreated) return GetPageCount();
    KeepKind(m_regs, RUNTIME_CLASS(CPropertyPage));
    for (CMxtDialogReg *reg : m_regs) {
        CObject *object = reg->m_pDialogClass->CreateObject();
        if (auto *page = dynamic_cast<CPropertyPage *>(object))
            m_pages.push_back(page);
        else
            delete object;
    }
    m_bPagesCreated = true;
    return GetPageCount();
}

CPropertyPage *CMxtDialogCollection::GetPage(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

INT_PTR CMxtDialogCollection::Show()
{
    if (CreatePages() == 0) return 0;
    CPropertySheet sheet(m_strCaption);
    for (CPropertyPage *page : m_pages) sheet.AddPage(page);
    return sheet.DoModal();
}

void CMxtDialogCollection::Discard()
{
    for (CPropertyPage *page : m_pages) delete page;
    m_pages.clear();
    m_bPagesCreated = false;
}
