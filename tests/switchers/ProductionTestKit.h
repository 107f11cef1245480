// What the production switcher tests share: a line whose far end is a simulated production
// switcher, and byte waits that hold under load.
#pragma once

#include "tests/kit/SimLine.h"
#include "tests/sim/ProductionSwitcherSim.h"
#include "tests/switchers/SwitcherTestKit.h"

namespace prodtest {

using kestsim::Bytes;
using SimModel = kestsim::ProductionSwitcherSim::Model;

using SimLine = kit::SimLine<kestsim::ProductionSwitcherSim>;

using kestsim::Refusing;
using kestsim::Silent;

inline kestsim::Faults InPieces(size_t size)
{
    kestsim::Faults faults;
    faults.chunkSize = size;
    faults.gapMs = 20;
    return faults;
}

} // namespace prodtest
