// The move-tapes dialog: the cassettes of a tape robot in two lists, the store and the
// pick-up port, between which the operator moves them; OK hands back the records bound for
// the pick-up port. MoveTapes runs it on a robot and moves the cassettes as chosen.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/robot/IVideoCartCtrl.h"
#include "platform/ui/CDialog.h"

#include <vector>

class CListCtrl;

class KSOVRA20_API CMoveTapesDlg : public CDialog {
public:
    static constexpr UINT IDD = 22139;
    static constexpr int IDC_STORE = 22031;
    static constexpr int IDC_TO_PICKUP = 22036;
    static constexpr int IDC_PICKUP = 22033;
    static constexpr int IDC_TO_STORE = 22037;
    static constexpr int IDC_CLOSE = 5018;
    static constexpr int32_t kPickUpState = cartcell::kLoadPort; // a record bound for the port
    static constexpr int32_t kStoreState = cartcell::kShelf;

    // The robot's cell records: those in state 3 start in the pick-up list, the others in
    // the store list, each shown by its label.
    explicit CMoveTapesDlg(std::vector<tagCartCell> records, CWnd *parent = nullptr);

    // After OK, the records in state 3; empty after a cancel.
    const std::vector<tagCartCell> &GetChosen() const { return m_chosen; }

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *result) override;

private:
    CListCtrl *List(int id) const;
    void Fill();
    // The selected store entries to the pick-up list.
    void ToPickUp();
    // The current pick-up entry back to the store list.
    void ToStore();

    std::vector<tagCartCell> m_records;
    std::vector<size_t> m_store;  // record index of each store row
    std::vector<size_t> m_pickup; // record index of each pick-up row
    std::vector<tagCartCell> m_chosen;
    CFont m_font;
};

// Offers the labelled cassettes of the robot's shelf in the move-tapes dialog and, after OK,
// moves each one chosen for the pick-up port there from the store, and each one taken out of
// the pick-up list back to a free store cell. The number of cassettes moved; 0 when cancelled.
KSOVRA20_API int MoveTapes(IVideoCartCtrl &robot, CWnd *parent = nullptr);
