// State of the layer that its input functions set and its windows read; not exported.
#pragma once

namespace uistate {

// Whether Shift counts as held (GetKeyState) while a key is delivered.
void SetShiftHeld(bool held);
// Whether the (left) Ctrl key counts as held while a click is delivered.
void SetCtrlHeld(bool held);

} // namespace uistate

#include "platform/ui/UiTypes.h"

// The layer's own messages for what a user does to list controls; the input functions send
// them, the controls answer as a user's act (selection plus the parent's notification).
constexpr UINT UIM_PICK = 0x0401;        // wParam: item; combo and list box selection
constexpr UINT UIM_PICK_DBLCLK = 0x0402; // wParam: item; list box double click
constexpr UINT UIM_CLICK_ROW = 0x0403;   // wParam: row; lParam: 1 adds to the selection
constexpr UINT UIM_DBLCLK_ROW = 0x0404;  // wParam: row; list view double click
constexpr UINT UIM_SET_TIME = 0x0405;    // lParam: const plat::SYSTEMTIME *
