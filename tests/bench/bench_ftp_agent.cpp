// The clip list of an FTP-agent clip store: every call reloads it (one log-on and one listing
// through the agent, however many clips the site holds), timed per load against one bare
// LIST of the same directory through the same server on a connection already logged on, and
// the listings the server saw per load (limit 1). Both real servers, pyftpdlib and vsftpd.
//
//     bench_ftp_agent [clips=500] [loads=20]
#include "tests/bench/BenchKit.h"
#include "tests/ftp/FtpPeerKit.h"

#include "Kest20/InstanceRegistry.h"
#include "drivers/sources/ftpagent/CVideoStore_FtpAgent.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Measure(ftptest::Flavor flavor, int clips, int loads)
{
    ftptest::TempTree tree;
    char name[16];
    for (int i = 0; i < clips; ++i) {
        std::snprintf(name, sizeof name, "C%04d", i);
        tree.File(name, 1000 + static_cast<size_t>(i));
    }
    ftptest::FtpServer server(flavor, tree.Root());
    if (!server.Port()) {
        std::fprintf(stderr, "the %s server did not start\n", ftptest::FlavorName(flavor));
        return false;
    }
    const std::string id = std::string("BENCH_FTPAGENT_") + ftptest::FlavorName(flavor);
    const bench::MountedSettings settings(
        id, bench::Section(id, {{"class", "CVideoStore_FtpAgent"},
                                {"BitRate", "8000"}, // small files, lengths above 0
                                {"FtpSite", "\"" + server.Url() + "\""}}));
    auto *store = dynamic_cast<CVideoStore_FtpAgent *>(
        CDeviceA::OpenDev(id.c_str(), CVideoStore_FtpAgent::GetClassID()));
    if (!store || store->DevGetClipSize("C0000") <= 0) {
        std::fprintf(stderr, "the %s store did not load\n", ftptest::FlavorName(flavor));
        return false;
    }
    std::vector<double> load, bare;
    const int listsBefore = server.Count("LIST");
    for (int i = 0; i < loads; ++i) {
        const int64_t start = bench::SteadyNs();
        if (store->DevGetClipSize("C0001") <= 0) return false;
        load.push_back(bench::ToMs(bench::SteadyNs() - start));
    }
    const double listsPerLoad =
        static_cast<double>(server.Count("LIST") - listsBefore) / static_cast<double>(loads);

    CFtpClient client;
    server.Configure(client);
    if (!client.Login()) return false;
    CStringArray lines;
    for (int i = 0; i < loads; ++i) {
        const int64_t start = bench::SteadyNs();
        if (!client.List(nullptr, lines, false) || lines.GetSize() != clips) return false;
        bare.push_back(bench::ToMs(bench::SteadyNs() - start));
    }
    client.Close();
    CPtrArray objects;
    objects.Add(store);
    glDeleteObjects(objects);

    const std::string figure = "FTP agent clip list, " + std::to_string(clips) + " clips (" +
                               ftptest::FlavorName(flavor) + ")";
    bench::Row(figure + " p50", bench::Percentile(load, 0.5), bench::Percentile(bare, 0.5), "ms");
    bench::Row(figure + " p99", bench::Percentile(load, 0.99), bench::Percentile(bare, 0.99), "ms");
    bench::Row("  listings the server saw per load", listsPerLoad, 1, "", 2);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const int clips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int loads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    bool ok = true;
    for (const ftptest::Flavor flavor : ftptest::kFlavors) ok = Measure(flavor, clips, loads) && ok;
    return ok ? 0 : 1;
}
