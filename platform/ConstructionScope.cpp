#include "platform/ConstructionScope.h"

#include <utility>
#include <vector>

namespace plat {

namespace {

struct ScopeState {
    int depth = 0;
    std::vector<std::function<void()>> pending;
};

thread_local ScopeState t_scope;

} // namespace

ConstructionScope::ConstructionScope()
{
    ++t_scope.depth;
}

ConstructionScope::~ConstructionScope()
{
    if (--t_scope.depth > 0) return;
    std::vector<std::function<void()>> pending = std::move(t_scope.pending);
    t_scope.pending.clear();
    for (auto &publish : pending) publish();
}

bool ConstructionScope::Defer(std::function<void()> publish)
{
    if (t_scope.depth == 0) return false;
    t_scope.pending.push_back(std::move(publish));
    return true;
}

} // namespace plat
