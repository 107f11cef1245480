// Lists of type patterns such as "#OVRA_DEV;LOG_*", as the log files select message types.
#pragma once

#include "devext/Devext20Api.h"

// 1 when the text matches a piece of the list: an empty list, "*" and a list equal to the
// text match all. Pieces are split at `separator` (0 means ";"), trimmed of blanks, compared
// without regard to ASCII case; in a piece "?" is any one character at the start or end, and
// what lies between its first and last "*" must occur in the text between them.
DEVEXT20_API int MatchPatternList(const char *patterns, const char *text, char separator);
