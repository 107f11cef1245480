// The move-tapes dialog: the store and pick-up lists it starts with, moving entries both ways
// with the buttons and by double clicks, what OK and Cancel hand back, and MoveTapes carrying
// the chosen cassettes to the pick-up port of a simulated robot and back.
#include "drivers/sources/robot/CMoveTapesDlg.h"
#include "tests/robot/RobotTestKit.h"

#include "platform/ui/CListCtrl.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

using namespace cartcell;
using Dlg = CMoveTapesDlg;

namespace {

tagCartCell Record(int32_t id, const char *label, int32_t state)
{
    tagCartCell cell;
    cell.nCellID = id;
    cell.nState = state;
    std::snprintf(cell.szLabel, sizeof cell.szLabel, "%s", label);
    return cell;
}

std::vector<std::string> Rows(CDialog &dlg, int id)
{
    auto *list = dynamic_cast<CListCtrl *>(dlg.GetDlgItem(id));
    std::vector<std::string> rows;
    for (int i = 0; list && i < list->GetItemCount(); ++i)
        rows.emplace_back(list->GetItemText(i, 0));
    return rows;
}

std::vector<std::string> Labels(const std::vector<tagCartCell> &cells)
{
    std::vector<std::string> labels;
    for (const tagCartCell &cell : cells) labels.emplace_back(cell.szLabel);
    return labels;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(MoveTapesDialog, EntriesMoveBothWaysAndOkHandsBackThoseForThePort)
{
    const std::vector<tagCartCell> records = {Record(Make(kShelf, 0), "NEWS0001", kShelf),
                                              Record(Make(kShelf, 38), "AD000042", kShelf),
                                              Record(Make(kLoadPort, 1), "PORT0001", kLoadPort),
                                              Record(Make(kShelf, 40), "LAST0001", kShelf)};
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CString caption;
        dlg.GetWindowText(caption);
        EXPECT_EQ(caption, "移动磁带");
        EXPECT_EQ(Rows(dlg, Dlg::IDC_STORE), (Strings{"NEWS0001", "AD000042", "LAST0001"}));
        EXPECT_EQ(Rows(dlg, Dlg::IDC_PICKUP), Strings{"PORT0001"});
        // Two store entries selected go over together.
        ui::ClickRow(dlg, Dlg::IDC_STORE, 0);
        ui::ClickRow(dlg, Dlg::IDC_STORE, 2, true);
        ui::Click(dlg, Dlg::IDC_TO_PICKUP);
        EXPECT_EQ(Rows(dlg, Dlg::IDC_STORE), Strings{"AD000042"});
        EXPECT_EQ(Rows(dlg, Dlg::IDC_PICKUP), (Strings{"PORT0001", "NEWS0001", "LAST0001"}));
        // The current pick-up entry goes back, also one that started there.
        ui::ClickRow(dlg, Dlg::IDC_PICKUP, 0);
        ui::Click(dlg, Dlg::IDC_TO_STORE);
        ui::DoubleClickRow(dlg, Dlg::IDC_PICKUP, 1);
        EXPECT_EQ(Rows(dlg, Dlg::IDC_STORE), (Strings{"AD000042", "PORT0001", "LAST0001"}));
        EXPECT_EQ(Rows(dlg, Dlg::IDC_PICKUP), Strings{"NEWS0001"});
        ui::DoubleClickRow(dlg, Dlg::IDC_STORE, 0);
        EXPECT_EQ(Rows(dlg, Dlg::IDC_PICKUP), (Strings{"NEWS0001", "AD000042"}));
        // "<<" with nothing current moves nothing.
        ui::Click(dlg, Dlg::IDC_TO_STORE);
        ui::Click(dlg, Dlg::IDC_TO_STORE);
        ui::Click(dlg, IDOK);
    });
    Dlg dialog(records);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(Labels(dialog.GetChosen()), (Strings{"NEWS0001", "AD000042"}));
    for (const tagCartCell &cell : dialog.GetChosen()) EXPECT_EQ(cell.nState, kLoadPort);

    runner.Then([](CDialog &dlg) {
        ui::ClickRow(dlg, Dlg::IDC_STORE, 0);
        ui::Click(dlg, Dlg::IDC_TO_PICKUP);
        ui::Click(dlg, Dlg::IDC_CLOSE);
    });
    Dlg cancelled(records);
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_TRUE(cancelled.GetChosen().empty());
}

class MoveTapesOnRobot : public robottest::RobotLineTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        robottest::StockShelf(sim);
        ASSERT_EQ(robot->Serial().DevOpen(), 1);
        ASSERT_EQ(robot->Initialize(), 1);
    }
    void TearDown() override { robot->Shutdown(); }

    std::shared_ptr<CTapeRobot> robot =
        std::make_shared<CTapeRobot>(std::make_unique<robottest::CQuickRobotLine>());
    ui::CScriptedRunner runner;
};

TEST_F(MoveTapesOnRobot, ChosenCassettesGoToThePortAndBack)
{
    runner.Then([](CDialog &dlg) {
        EXPECT_EQ(Rows(dlg, Dlg::IDC_STORE), (Strings{"NEWS0001", "AD000042"}));
        EXPECT_TRUE(Rows(dlg, Dlg::IDC_PICKUP).empty());
        ui::ClickRow(dlg, Dlg::IDC_STORE, 1);
        ui::Click(dlg, Dlg::IDC_TO_PICKUP);
        ui::Click(dlg, IDOK);
    });
    EXPECT_EQ(MoveTapes(*robot), 1);
    EXPECT_EQ(sim.Shelf("B07"), "");
    EXPECT_EQ(sim.Shelf("A06"), "AD000042") << "the first free pick-up slot";
    EXPECT_EQ(sim.Shelf("A01"), "NEWS0001");

    // Back from the port to the first free store cell; a cancel moves nothing.
    runner.Then([](CDialog &dlg) { ui::Click(dlg, Dlg::IDC_CLOSE); });
    EXPECT_EQ(MoveTapes(*robot), 0);
    runner.Then([](CDialog &dlg) {
        EXPECT_EQ(Rows(dlg, Dlg::IDC_PICKUP), Strings{"AD000042"});
        ui::DoubleClickRow(dlg, Dlg::IDC_PICKUP, 0);
        ui::Click(dlg, IDOK);
    });
    EXPECT_EQ(MoveTapes(*robot), 1);
    EXPECT_EQ(sim.Shelf("A06"), "");
    EXPECT_EQ(sim.Shelf("B01"), "AD000042");
}
