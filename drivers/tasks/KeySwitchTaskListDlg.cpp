#include "drivers/tasks/KeySwitchTaskListDlg.h"

#include "platform/ui/CListCtrl.h"

#include <utility>

CKeySwitchTaskListDlg::CKeySwitchTaskListDlg(UINT templateId,
                                             std::vector<tagTaskListColumn> columns)
    : CDialog(templateId), m_columns(std::move(columns))
{
}

BOOL CKeySwitchTaskListDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    auto *list = dynamic_cast<CListCtrl *>(GetDlgItem(IDC_TASK_LIST));
    if (!list) return TRUE;
    list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (size_t i = 0; i < m_columns.size(); ++i)
        list->InsertColumn(static_cast<int>(i), m_columns[i].heading, LVCFMT_LEFT,
                           m_columns[i].width);
    FillRows(*list);
    return TRUE;
}

tagDlgTemplate TaskListTemplate(UINT id, const char *caption)
{
    return {id,
            caption,
            WS_POPUP | WS_CAPTION,
            {0, 0, 520, 300},
            {
                {IDC_TASK_LIST,
                 UiControl::ListView,
                 nullptr,
                 "",
                 WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                 {7, 7, 513, 293}},
            }};
}

void AddTaskListRow(CListCtrl &list, const std::vector<CString> &texts)
{
    if (texts.empty()) return;
    const int row = list.InsertItem(list.GetItemCount(), texts[0]);
    for (size_t i = 1; i < texts.size(); ++i) list.SetItemText(row, static_cast<int>(i), texts[i]);
}
