// A network time server on 127.0.0.1 at a port of its own: it answers each client request
// with a server reply (version 4, mode 4) whose originate timestamp is the request's transmit
// timestamp and whose receive and transmit timestamps are the process's system time plus a
// set offset. It can stay silent.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace kestsim {

class SntpSim {
public:
    SntpSim();
    ~SntpSim();
    SntpSim(const SntpSim &) = delete;
    SntpSim &operator=(const SntpSim &) = delete;

    bool Valid() const { return fd_ >= 0; }
    uint16_t Port() const { return port_; }
    // How far the server's time runs ahead of the process's system time (100 ns units).
    void SetOffset(int64_t offset) { offset_ = offset; }
    void SetSilent(bool silent) { silent_ = silent; }
    void SetStratum(int stratum) { stratum_ = stratum; }
    int Requests() const { return requests_.load(); }

private:
    void Serve();

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<int64_t> offset_{0};
    std::atomic<bool> silent_{false};
    std::atomic<int> stratum_{2};
    std::atomic<int> requests_{0};
    std::thread server_;
};

} // namespace kestsim
