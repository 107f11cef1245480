#include "drivers/sources/robot/CMoveTapesDlg.h"

#include "drivers/sources/robot/CTapeRobot.h"

#include "platform/ui/CListCtrl.h"
#include "platform/ui/DialogTemplate.h"

#include <cstdio>
#include <cstring>

namespace {

using Dlg = CMoveTapesDlg;
using namespace cartcell;

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kTab = kChild | WS_TABSTOP;
constexpr uint32_t kList = kTab | WS_BORDER | LVS_REPORT;
constexpr int32_t kMoveTimeoutMs = 10000;

const CDlgTemplateReg g_template(
    {Dlg::IDD,
     "移动磁带",
     WS_POPUP | WS_CAPTION,
     {0, 0, 300, 220},
     {
         {-1, UiControl::Static, nullptr, "带仓(&V)：", kChild, {7, 7, 120, 19}},
         {Dlg::IDC_STORE, UiControl::ListView, nullptr, "", kList, {7, 22, 120, 180}},
         {Dlg::IDC_TO_PICKUP, UiControl::Button, nullptr, " >>", kTab, {127, 70, 173, 88}},
         {Dlg::IDC_TO_STORE, UiControl::Button, nullptr, "<<", kTab, {127, 96, 173, 114}},
         {-1, UiControl::Static, nullptr, "取带仓(&P)：", kChild, {180, 7, 293, 19}},
         {Dlg::IDC_PICKUP,
          UiControl::ListView,
          nullptr,
          "",
          kList | LVS_SINGLESEL,
          {180, 22, 293, 180}},
         {IDOK, UiControl::Button, nullptr, "确定", kTab | BS_DEFPUSHBUTTON, {170, 192, 226, 210}},
         {Dlg::IDC_CLOSE, UiControl::Button, nullptr, "取消", kTab, {234, 192, 290, 210}},
     }});

} // namespace

CMoveTapesDlg::CMoveTapesDlg(std::vector<tagCartCell> records, CWnd *parent)
    : CDialog(IDD, parent), m_records(std::move(records))
{
}

CListCtrl *CMoveTapesDlg::List(int id) const
{
    return dynamic_cast<CListCtrl *>(GetDlgItem(id));
}

BOOL CMoveTapesDlg::OnInitDialog()
{
    LOGFONT face;
    face.lfHeight = 11;
    std::snprintf(face.lfFaceName, sizeof face.lfFaceName, "%s", "宋体");
    m_font.CreateFontIndirect(&face);
    SetFont(&m_font);
    for (int id : {IDC_STORE, IDC_PICKUP})
        if (CListCtrl *list = List(id)) list->InsertColumn(0, "", LVCFMT_LEFT, 100);
    m_store.clear();
    m_pickup.clear();
    for (size_t i = 0; i < m_records.size(); ++i)
        (m_records[i].nState == kPickUpState ? m_pickup : m_store).push_back(i);
    Fill();
    return CDialog::OnInitDialog();
}

void CMoveTapesDlg::Fill()
{
    for (auto [id, rows] : {std::pair{IDC_STORE, &m_store}, std::pair{IDC_PICKUP, &m_pickup}}) {
        CListCtrl *list = List(id);
        if (!list) continue;
        list->DeleteAllItems();
        for (size_t record : *rows)
            list->InsertItem(list->GetItemCount(), m_records[record].szLabel);
    }
}

void CMoveTapesDlg::ToPickUp()
{
    CListCtrl *store = List(IDC_STORE);
    if (!store) return;
    std::vector<size_t> kept;
    for (size_t row = 0; row < m_store.size(); ++row) {
        const size_t record = m_store[row];
        if (!store->GetItemState(static_cast<int>(row), LVIS_SELECTED)) {
            kept.push_back(record);
            continue;
        }
        m_records[record].nState = kPickUpState;
        m_pickup.push_back(record);
    }
    m_store = std::move(kept);
    Fill();
}

void CMoveTapesDlg::ToStore()
{
    CListCtrl *pickup = List(IDC_PICKUP);
    const int row = pickup ? pickup->GetNextItem(-1, LVNI_SELECTED) : -1;
    if (row < 0 || row >= static_cast<int>(m_pickup.size())) return;
    const size_t record = m_pickup[static_cast<size_t>(row)];
    if (m_records[record].nState == kPickUpState) m_records[record].nState = kStoreState;
    m_pickup.erase(m_pickup.begin() + row);
    m_store.push_back(record);
    Fill();
}

void CMoveTapesDlg::OnOK()
{
    m_chosen.clear();
    for (const tagCartCell &record : m_records)
        if (record.nState == kPickUpState) m_chosen.push_back(record);
    EndDialog(IDOK);
}

void CMoveTapesDlg::OnCancel()
{
    m_chosen.clear();
    EndDialog(IDCANCEL);
}

BOOL CMoveTapesDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDC_TO_PICKUP:
            ToPickUp();
            return TRUE;
        case IDC_TO_STORE:
            ToStore();
            return TRUE;
        case IDC_CLOSE:
            OnCancel();
            return TRUE;
        default:
            break;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}

BOOL CMoveTapesDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    const auto *header = reinterpret_cast<const NMHDR *>(lParam);
    if (header && header->code == NM_DBLCLK) {
        if (header->idFrom == IDC_STORE) {
            ToPickUp();
            return TRUE;
        }
        if (header->idFrom == IDC_PICKUP) {
            ToStore();
            return TRUE;
        }
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

namespace {

bool Labelled(const tagCartCell &cell)
{
    return cell.szLabel[0] != '\0';
}

bool Move(IVideoCartCtrl &robot, const tagCartCell &cell, int32_t target)
{
    tagCartCommand command;
    command.nCommand = CART_MOVE;
    command.nSource = cell.nCellID;
    command.nTarget = target;
    command.nTimeOut = kMoveTimeoutMs;
    std::snprintf(command.szClipID, sizeof command.szClipID, "%s", cell.szLabel);
    return robot.RunCommand(command) == 1;
}

} // namespace

int MoveTapes(IVideoCartCtrl &robot, CWnd *parent)
{
    std::vector<tagCartCell> records;
    for (int row = 0; row < CTapeRobot::kRows; ++row)
        for (int column = 0; column < CTapeRobot::kColumns; ++column) {
            tagCartCell cell;
            if (robot.GetCell(Make(kShelf, row << 5 | column), cell) && Labelled(cell))
                records.push_back(cell);
        }
    CMoveTapesDlg dialog(records, parent);
    if (dialog.DoModal() != IDOK) return 0;
    int moved = 0;
    for (const tagCartCell &record : records) {
        bool chosen = false;
        for (const tagCartCell &bound : dialog.GetChosen())
            chosen = chosen || bound.nCellID == record.nCellID;
        const bool atPort = record.nState == CMoveTapesDlg::kPickUpState;
        if (chosen != atPort)
            moved += Move(robot, record, Make(chosen ? kLoadPort : kShelf, kAnyFree)) ? 1 : 0;
    }
    return moved;
}
