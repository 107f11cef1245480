#include "drivers/tasks/CVideoBroTaskDialogPanel.h"

#include "drivers/tasks/CVideoBroTaskDialog.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"

#include "KestLib20/CFileTime.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/CListCtrl.h"
#include "platform/ui/DialogTemplate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

IMPLEMENT_DYNCREATE(CVideoBroTaskDialogPanel, CControlDlg)

namespace {

enum Column { COL_NUMBER, COL_CLIP, COL_TASK_ID, COL_DEV, COL_START, COL_DURATION, COL_STATUS };

const CDlgTemplateReg g_template({CVideoBroTaskDialogPanel::IDD,
                                  "BroTask设置",
                                  WS_POPUP | WS_CAPTION,
                                  {0, 0, 560, 300},
                                  {
                                      {CVideoBroTaskDialogPanel::IDC_TASK_LIST,
                                       UiControl::ListView,
                                       nullptr,
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT,
                                       {7, 7, 553, 265}},
                                      {CVideoBroTaskDialogPanel::IDC_ADD_TASK,
                                       UiControl::Button,
                                       nullptr,
                                       "增加",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {7, 275, 67, 293}},
                                  }});

const CMxtDialogReg g_registration(RUNTIME_CLASS(CVideoBroTaskDialogPanel), "BroTask_ControlPanel",
                                   "BroTask设置", "CVideoBroTaskMgr");

constexpr const char *kStatusNames[] = {
    "Begin",      "DevChkBegin", "DevChecking", "DevChkEnd", "ClipChkBegin", "ClipChecking",
    "ClipChkEnd", "BeginCue",    "Cuing",       "EndCue",    "BeginPlay",    "Playing",
    "EndPlay",    "EjectBegin",  "Ejecting",    "EjectEnd",  "Finished"};
constexpr int32_t kStatusCount = sizeof(kStatusNames) / sizeof(kStatusNames[0]);

// The status a cell shows: its name read back to the value, else the text as a number.
int32_t StatusFromText(const char *text)
{
    for (int32_t status = 1; status <= kStatusCount; ++status)
        if (std::strcmp(text, kStatusNames[status - 1]) == 0) return status;
    if (std::strcmp(text, BroTaskStatusName(BROTASK_ERRNOTIFY)) == 0) return BROTASK_ERRNOTIFY;
    return std::atoi(text);
}

// Holds a reference to the process's first variant-3 manager while the panel uses it.
class FirstMgr {
public:
    FirstMgr() : m_pMgr(CVideoBroTaskMgr3::GetMgr(0))
    {
        if (m_pMgr) m_pMgr->AddRef();
    }
    ~FirstMgr()
    {
        if (m_pMgr) m_pMgr->Release();
    }
    FirstMgr(const FirstMgr &) = delete;
    FirstMgr &operator=(const FirstMgr &) = delete;

    IVideoBroTaskMgr3 *operator->() const { return m_pMgr; }
    explicit operator bool() const { return m_pMgr != nullptr; }

private:
    IVideoBroTaskMgr3 *m_pMgr;
};

// The start as its local date-time text with the frame within the second.
CString StartText(int64_t start)
{
    const CFileTime time(start);
    plat::SYSTEMTIME local{};
    time.Get(local);
    char text[CFileTime::kDateTimeTextSize];
    CString cell;
    cell.Format("%s:%d", time.GetAsString(text), local.wMilliseconds / 40);
    return cell;
}

// The start back from its cell: the date before the first space, the time of day with the
// frame after it.
int64_t StartFromText(const CString &cell)
{
    const char *text = cell;
    const char *space = std::strchr(text, ' ');
    if (!space) return CFileTime(text, "").GetTime();
    const CString date(text, static_cast<int>(space - text));
    return CFileTime(date, space + 1).GetTime();
}

} // namespace

const char *BroTaskStatusName(int32_t status)
{
    if (status >= 1 && status <= kStatusCount) return kStatusNames[status - 1];
    return status == BROTASK_ERRNOTIFY ? "ErrNotify" : "";
}

CVideoBroTaskDialogPanel::CVideoBroTaskDialogPanel() : CControlDlg(IDD) {}

CListCtrl *CVideoBroTaskDialogPanel::List() const
{
    return dynamic_cast<CListCtrl *>(GetDlgItem(IDC_TASK_LIST));
}

BOOL CVideoBroTaskDialogPanel::OnInitDialog()
{
    CControlDlg::OnInitDialog();
    CListCtrl *list = List();
    if (!list) return TRUE;
    static constexpr struct {
        const char *heading;
        int width;
    } kColumns[] = {{"编号", 40}, {"ID", 80},   {"任务ID", 80}, {"设备ID", 80},
                    {"时间", 90}, {"长度", 90}, {"状态", 80}};
    int index = 0;
    for (const auto &column : kColumns)
        list->InsertColumn(index++, column.heading, LVCFMT_LEFT, column.width);
    // Full-row selection and grid lines, with the flat look the panel has always had.
    list->SetExtendedStyle(0x221);
    return TRUE;
}

void CVideoBroTaskDialogPanel::OnOK()
{
    RefreshList();
}

void CVideoBroTaskDialogPanel::RefreshList()
{
    FirstMgr mgr;
    CListCtrl *list = List();
    if (!mgr || !list) return;
    list->DeleteAllItems();
    tagVideoBroTask task;
    char duration[timecode_t::kTextSize];
    // Up to the first index the manager no longer holds: the list may shrink meanwhile.
    for (int32_t i = 0; i < mgr->GetTaskCount() && mgr->GetTaskAt(i, task); ++i) {
        CString number, id;
        number.Format("%03d", i + 1);
        id.Format("%d", task.TaskID);
        const int row = list->InsertItem(list->GetItemCount(), number);
        list->SetItemText(row, COL_CLIP, task.ID);
        list->SetItemText(row, COL_TASK_ID, id);
        list->SetItemText(row, COL_DEV, task.Dev);
        list->SetItemText(row, COL_START, StartText(task.Start));
        list->SetItemText(row, COL_DURATION, timecode_t(task.DUR).GetAsString(duration));
        list->SetItemText(row, COL_STATUS, BroTaskStatusName(task.Status));
    }
}

BOOL CVideoBroTaskDialogPanel::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_ADD_TASK && HIWORD(wParam) == BN_CLICKED) {
        AddTask();
        return TRUE;
    }
    return CControlDlg::OnCommand(wParam, lParam);
}

BOOL CVideoBroTaskDialogPanel::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    const auto *header = reinterpret_cast<const NMHDR *>(lParam);
    if (header && header->idFrom == IDC_TASK_LIST) {
        if (header->code == NM_DBLCLK) {
            ShowRow(reinterpret_cast<const NMITEMACTIVATE *>(lParam)->iItem);
            return TRUE;
        }
        if (header->code == LVN_KEYDOWN &&
            reinterpret_cast<const NMLVKEYDOWN *>(lParam)->wVKey == VK_DELETE) {
            DeleteSelected();
            return TRUE;
        }
    }
    return CControlDlg::OnNotify(wParam, lParam, result);
}

void CVideoBroTaskDialogPanel::AddTask()
{
    CVideoBroTaskDialog dialog(this);
    if (dialog.DoModal() != IDOK) return;
    // The manager is looked up after the dialog: it may have gone while the dialog was open.
    FirstMgr mgr;
    if (!mgr) return;
    mgr->AddTask(dialog.GetTask());
    RefreshList();
}

void CVideoBroTaskDialogPanel::ShowRow(int row)
{
    CListCtrl *list = List();
    if (!list || row < 0 || row >= list->GetItemCount()) return;
    tagVideoBroTask task;
    task.ID = list->GetItemText(row, COL_CLIP);
    task.TaskID = std::atoi(list->GetItemText(row, COL_TASK_ID));
    task.Dev = list->GetItemText(row, COL_DEV);
    task.Start = StartFromText(list->GetItemText(row, COL_START));
    timecode_t duration;
    duration.SetAsFrames(list->GetItemText(row, COL_DURATION));
    task.DUR = duration;
    task.Status = StatusFromText(list->GetItemText(row, COL_STATUS));
    CVideoBroTaskDialog dialog(this);
    dialog.SetTask(task, true);
    // What is edited here is only shown: the manager's task stays as it is.
    dialog.DoModal();
}

void CVideoBroTaskDialogPanel::DeleteSelected()
{
    CListCtrl *list = List();
    if (!list) return;
    if (MessageBox("确认删除?", nullptr, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    std::vector<int32_t> ids;
    POSITION pos = list->GetFirstSelectedItemPosition();
    while (pos)
        ids.push_back(std::atoi(list->GetItemText(list->GetNextSelectedItem(pos), COL_TASK_ID)));
    {
        FirstMgr mgr;
        if (mgr)
            for (int32_t id : ids) mgr->RemoveTask(id);
    }
    RefreshList();
}
