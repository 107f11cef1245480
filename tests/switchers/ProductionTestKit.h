// What the production switcher tests share: a line whose far end is a simulated production
// switcher, and byte waits that hold under load.
#pragma once

#include "tests/sim/ProductionSwitcherSim.h"
#include "tests/switchers/SwitcherTestKit.h"

namespace prodtest {

using kestsim::Bytes;
using SimModel = kestsim::ProductionSwitcherSim::Model;

struct SimLine {
    SimLine(plat::SerialPortKind kind, int port, SimModel model)
    {
        pty.Bind(kind, port);
        sim = std::make_unique<kestsim::ProductionSwitcherSim>(pty, model);
    }
    kestsim::ScriptedPeer &Peer() { return sim->Peer(); }
    // Waits until `bytes` have come, then whether they are exactly what came; clears them.
    bool Got(const Bytes &bytes)
    {
        const bool ok =
            Peer().WaitForBytes(bytes.size(), swtest::kSoonMs) && Peer().Received() == bytes;
        Peer().ClearReceived();
        return ok;
    }

    kestsim::PtyPair pty;
    std::unique_ptr<kestsim::ProductionSwitcherSim> sim;
};

inline kestsim::Faults Refusing()
{
    kestsim::Faults faults;
    faults.nak = true;
    return faults;
}

inline kestsim::Faults Silent()
{
    kestsim::Faults faults;
    faults.silent = true;
    return faults;
}

inline kestsim::Faults InPieces(size_t size)
{
    kestsim::Faults faults;
    faults.chunkSize = size;
    faults.gapMs = 20;
    return faults;
}

} // namespace prodtest
