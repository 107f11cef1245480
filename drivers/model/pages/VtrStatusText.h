// The VTR control panel's status text: every status bit the panel shows as one item, two
// items to a line.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/vtr/VtrFrame.h"
#include "platform/String.h"

// "%-12s = %-6s" with "true" or "false" for Play .. Local, "%-12s = %-6d" with the masked bit
// for HeadErr, RefVideoErr and HeadError, "%-12s = %-6s" for CassetteOut; a comma follows the
// first item of each pair, CR LF the second.
KSOVRA20_API CString VtrStatusText(const tagVTRStatus &status);
