// Typed lookup of a loaded library's entry points.
#pragma once

#include "platform/Process.h"

namespace plat {

// Sets `function` to the library's entry point `symbol` (null when it is missing).
template <class F> void FindProc(void *library, const char *symbol, F *function)
{
    *function = reinterpret_cast<F>(GetProcAddress(library, symbol));
}

} // namespace plat
