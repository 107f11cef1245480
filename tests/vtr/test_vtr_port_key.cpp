// The port key "Com" of both VTR sources: a number that fits is the line's port, any other
// (or none) leaves the sources' default port 3.
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"
#include "drivers/sources/vtr/CVideoSrc_UVW.h"
#include "tests/vtr/VtrTestKit.h"

#include <string>

TEST(VtrPortKey, APortNumberThatDoesNotFitLeavesTheDefault)
{
    devtest::ManualTime time;
    const struct {
        const char *com; // null: no key
        int port;
    } rows[] = {{"97", 97}, {"0", 0}, {nullptr, 3}, {"70000", 3}, {"-5", 3}, {"COM4", 3}};
    for (const auto &row : rows) {
        const std::string what = row.com ? row.com : "no key";
        const auto section = [&](const char *name, const char *cls) {
            return row.com ? devtest::Section(name, {{"class", cls}, {"Com", row.com}})
                           : devtest::Section(name, {{"class", cls}});
        };
        devtest::MountedSettings settings(section("VTR1", "CVideoSrc_BetaCamX") +
                                          section("UVW1", "CVideoSrc_UVW"));
        CVideoSrc_BetaCamX betacam;
        CVideoSrc_UVW uvw;
        betacam.InitInstance("/etc/tvx/VTR1", "VTR1");
        uvw.InitInstance("/etc/tvx/UVW1", "UVW1");
        EXPECT_EQ(betacam.GetVTR()->GetPort(), row.port) << what;
        EXPECT_EQ(uvw.GetLine().GetPortNumber(), row.port) << what;
    }
}
