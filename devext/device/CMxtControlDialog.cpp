#include "devext/device/CMxtControlDialog.h"
#include "devext/device/CMxtDialogCollection.h"

CMxtControlDialog::~CMxtControlDialog()
{
    CloseDialog();
}

int CMxtControlDialog::OpenDialog(const char *className, const char *key)
{
    CloseDialog();
    tagMxtDlgInfoArray found;
    if (!CMxtDialogCollection::Collect(found, className, RUNTIME_CLASS(CControlDlg), key)) return 0;
    CObject *object = found[0]->m_pDialogClass->CreateObject();
    m_pDialog = dynamic_cast<CControlDlg *>(object);
    if (!m_pDialog) delete object;
    return m_pDialog ? 1 : 0;
}

int CMxtControlDialog::InitParam(const char *param)
{
    return m_pDialog ? m_pDialog->OnInitParam(param) : 0;
}

INT_PTR CMxtControlDialog::DoModal()
{
    return m_pDialog ? m_pDialog->DoModal() : 0;
}

int CMxtControlDialog::CloseDialog()
{
    delete m_pDialog;
    m_pDialog = nullptr;
    return 1;
}
