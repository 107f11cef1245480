// A serial port of a chosen kind and number bound to a fresh pseudo-terminal, with a simulated
// device (or a plain kestsim::ScriptedPeer) on the master side, for the line's life. The
// device starts with the line and stops before the terminal goes.
#pragma once

#include "tests/sim/PtyPair.h"
#include "tests/sim/ScriptedPeer.h"

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

namespace kit {

template <class Device> class SimLine {
public:
    // `args` follow the terminal in the device's constructor.
    template <class... Args>
    SimLine(plat::SerialPortKind kind, int port, Args &&...args)
        : sim_(Bound(pty_, kind, port), std::forward<Args>(args)...)
    {
    }
    SimLine(const SimLine &) = delete;
    SimLine &operator=(const SimLine &) = delete;

    kestsim::PtyPair &Pty() { return pty_; }
    Device &Sim() { return sim_; }
    kestsim::ScriptedPeer &Peer()
    {
        if constexpr (std::is_same_v<Device, kestsim::ScriptedPeer>)
            return sim_;
        else
            return sim_.Peer();
    }

    // Waits in real time until `bytes` have come, then whether they are exactly what came;
    // clears them.
    bool Got(const kestsim::Bytes &bytes, uint32_t ms = kSoonMs)
    {
        const bool ok = Holds(bytes, ms);
        Peer().ClearReceived();
        return ok;
    }
    bool Got(std::string_view text, uint32_t ms = kSoonMs)
    {
        return Got(kestsim::ToBytes(text), ms);
    }
    // The same, keeping what came.
    bool Holds(const kestsim::Bytes &bytes, uint32_t ms = kSoonMs)
    {
        return Peer().WaitForBytes(bytes.size(), ms) && Peer().Received() == bytes;
    }

    static constexpr uint32_t kSoonMs = 5000;

private:
    static kestsim::PtyPair &Bound(kestsim::PtyPair &pty, plat::SerialPortKind kind, int port)
    {
        pty.Bind(kind, port);
        return pty;
    }

    kestsim::PtyPair pty_;
    Device sim_; // after the terminal: its threads stop before the terminal closes
};

} // namespace kit
