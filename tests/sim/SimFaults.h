// The one fault knob of a simulated device that answers through its ScriptedPeer: a simulator
// derives from SimFaults<itself> and has SetFaults, whatever its model.
#pragma once

#include "tests/sim/ScriptedPeer.h"

#include <utility>

namespace kestsim {

template <class Sim> class SimFaults {
public:
    // The faults of the answers from now on; `count` > 0 limits them to that many answers.
    // With hangUp set, the line is hung up at once.
    void SetFaults(Faults faults, int count = 0)
    {
        static_cast<Sim &>(*this).Peer().SetFaults(std::move(faults), count);
    }
};

// The faults tests ask for most, one kind at a time.
inline Faults Silent()
{
    Faults faults;
    faults.silent = true;
    return faults;
}
inline Faults Refusing()
{
    Faults faults;
    faults.nak = true;
    return faults;
}

} // namespace kestsim
