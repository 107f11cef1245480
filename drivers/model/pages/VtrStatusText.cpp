#include "drivers/model/pages/VtrStatusText.h"

namespace {

enum class Shown { Flag, Count };

// The STATUS SENSE bits the panel names, in its order. The 9-pin status gives byte 1 the
// transport (play to standby), byte 2 the tape motion (cue-up to shuttle), byte 0 the local
// switch, the error bits and the cassette.
struct StatusItem {
    const char *name;
    int byte, bit;
    Shown shown;
};
constexpr StatusItem kItems[] = {
    {"Play", 1, 0, Shown::Flag},         {"Rec", 1, 1, Shown::Flag},
    {"FFwd", 1, 2, Shown::Flag},         {"Rew", 1, 3, Shown::Flag},
    {"Eject", 1, 4, Shown::Flag},        {"Stop", 1, 5, Shown::Flag},
    {"TensionRel", 1, 6, Shown::Flag},   {"StandbyOn", 1, 7, Shown::Flag},
    {"Cueup", 2, 0, Shown::Flag},        {"Still", 2, 1, Shown::Flag},
    {"Direction", 2, 2, Shown::Flag},    {"Var", 2, 3, Shown::Flag},
    {"Jog", 2, 4, Shown::Flag},          {"Shuttle", 2, 5, Shown::Flag},
    {"Preroll", 4, 0, Shown::Flag},      {"EOT", 8, 4, Shown::Flag},
    {"Local", 0, 0, Shown::Flag},        {"HeadErr", 0, 2, Shown::Count},
    {"RefVideoErr", 0, 3, Shown::Count}, {"HeadError", 0, 4, Shown::Count},
    {"CassetteOut", 0, 5, Shown::Flag},
};

} // namespace

CString VtrStatusText(const tagVTRStatus &status)
{
    CString text;
    int index = 0;
    for (const StatusItem &item : kItems) {
        const int32_t value = status.Test(item.byte, item.bit);
        CString shown;
        if (item.shown == Shown::Count)
            shown.Format("%-12s = %-6d", item.name, value);
        else
            shown.Format("%-12s = %-6s", item.name, value ? "true" : "false");
        text += shown + (index++ % 2 == 0 ? "," : "\r\n");
    }
    return text;
}
