// Exchange overhead: a VDCP status request and its reply through the port object's request
// loop, the simulator answering at once, against the same request written and its reply read
// bare through the same pseudo-terminal pair in the same run.
//
//     bench_exchange [exchanges=500]
#include "tests/bench/BenchKit.h"
#include "tests/sim/VdcpSim.h"

#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"

#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kPort = 62;

// Reads one reply (a frame, or a single acknowledgement byte) from `fd`; false on a wait of
// more than a second.
bool ReadReply(int fd)
{
    kestsim::Bytes got;
    size_t want = 1;
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return false;
        uint8_t buf[64];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0) return false;
        got.insert(got.end(), buf, buf + n);
        if (got[0] == 0x02 && got.size() >= 2) want = got[1] + 3u;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;

    kestsim::PtyPair pty;
    pty.Bind(plat::SerialPortKind::SIO, kPort);
    kestsim::VdcpSim sim(pty);

    std::vector<double> loop, bare;
    kestsim::VdcpSim::Command request{};
    {
        CSerialIO_VDCP_SHARED port;
        port.SetReplyWait(1000);
        port.SetPortNumber(kPort);
        if (!port.GetActivePort()) {
            std::fprintf(stderr, "the port did not open\n");
            return 1;
        }
        for (int i = 0; i < count; ++i) {
            int32_t status1 = 0;
            const int64_t start = bench::SteadyNs();
            if (!port.GetStatus(&status1, nullptr, nullptr, 0)) {
                std::fprintf(stderr, "a status request failed\n");
                return 1;
            }
            loop.push_back(bench::ToMs(bench::SteadyNs() - start));
        }
        request = sim.Commands().back();
        port.Close();
    }

    // The same request, bare, on the slave side that the pair keeps open.
    const kestsim::Bytes frame = kestsim::VdcpSim::Frame(request.cmd1, request.cmd2, request.data);
    for (int i = 0; i < count; ++i) {
        const int64_t start = bench::SteadyNs();
        if (write(pty.SlaveFd(), frame.data(), frame.size()) !=
                static_cast<ssize_t>(frame.size()) ||
            !ReadReply(pty.SlaveFd())) {
            std::fprintf(stderr, "the bare echo failed\n");
            return 1;
        }
        bare.push_back(bench::ToMs(bench::SteadyNs() - start));
    }

    bench::Row("VDCP status exchange p50, ms", bench::Percentile(loop, 0.5),
               bench::Percentile(bare, 0.5), "ms");
    bench::Row("VDCP status exchange p99, ms", bench::Percentile(loop, 0.99),
               bench::Percentile(bare, 0.99), "ms");
    return 0;
}
