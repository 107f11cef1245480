// The task list dialogs of the key and switcher task units: a list view (control 5037, full-row
// selection and grid lines) filled, when the dialog opens, with the tasks of the first
// registered management unit. Host programs hold one by its handle and run it modally.
#pragma once

#include "platform/ui/CDialog.h"
#include "platform/ui/DialogTemplate.h"

#include <cstdint>
#include <vector>

class CListCtrl;

class IVideoTaskListDialog {
public:
    // Reference counting: the dialog object goes with its last reference.
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;
    // Runs the dialog; its result.
    virtual INT_PTR DoModal() = 0;

protected:
    ~IVideoTaskListDialog() = default;
};

constexpr int IDC_TASK_LIST = 5037;

struct tagTaskListColumn {
    const char *heading;
    int width;
};

class CKeySwitchTaskListDlg : public CDialog {
public:
    CKeySwitchTaskListDlg(UINT templateId, std::vector<tagTaskListColumn> columns);
    BOOL OnInitDialog() override;

protected:
    // Adds one row per task.
    virtual void FillRows(CListCtrl &list) = 0;

private:
    std::vector<tagTaskListColumn> m_columns;
};

// The template of a task list dialog: `caption` over the list view.
tagDlgTemplate TaskListTemplate(UINT id, const char *caption);

// Adds a row of texts at the end of the list.
void AddTaskListRow(CListCtrl &list, const std::vector<CString> &texts);

// The dialog object behind a handle: owns its dialog and runs it on DoModal.
template <class Dlg> class CVideoTaskListDialog_Impl final : public IVideoTaskListDialog {
public:
    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }
    INT_PTR DoModal() override { return Dlg().DoModal(); }

private:
    uint32_t m_nRef = 1;
};
