// A setting page whose controls each edit one key of the device's setting: an edit field
// exchanges the key's text, a combo box its value as the selection (plus an offset). Opening
// the page reads the keys into the controls; OK writes them back where they were read. Any
// change a user makes in an edit field marks the page modified.
#pragma once

#include "devext/device/CObjectSettingDlg.h"
#include "drivers/KsOvra20Api.h"

#include <vector>

struct tagPageField {
    int id;
    const char *key;
    // Combo boxes only: the items, the value being the selection plus `offset`.
    std::vector<const char *> choices = {};
    int offset = 0;
    // When given, the combo stores the word of its selection instead of the number (the
    // key's reader takes words); a stored number still selects its item. Without a value,
    // or a selection, such a field shows and writes nothing.
    std::vector<const char *> words = {};

    bool IsCombo() const { return !choices.empty(); }
};

class KSOVRA20_API CSettingFieldsPage : public CObjectSettingDlg {
    DECLARE_DYNAMIC(CSettingFieldsPage)

    BOOL OnInitDialog() override;
    // Writes every field to the setting path.
    void OnOK() override;

protected:
    CSettingFieldsPage(int templateId, const std::vector<tagPageField> &fields);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    const std::vector<tagPageField> &m_fields;
};
