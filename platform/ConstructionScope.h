// Objects made on a thread inside a construction scope are published only when the outermost
// scope of that thread closes, that is once the whole object is made: lists that other
// threads enumerate note them as pending until then. One scope state per thread of the
// process (here in the platform library, so every module shares it).
#pragma once

#include "platform/PlatformApi.h"

#include <functional>

namespace plat {

class PLAT_API ConstructionScope {
public:
    ConstructionScope();
    // At the outermost scope, runs every publication noted on this thread, in order.
    ~ConstructionScope();
    ConstructionScope(const ConstructionScope &) = delete;
    ConstructionScope &operator=(const ConstructionScope &) = delete;

    // With a scope open on this thread, keeps `publish` for its end and returns true; else
    // returns false (the object is made already as far as anyone knows) and keeps nothing.
    static bool Defer(std::function<void()> publish);
};

} // namespace plat
