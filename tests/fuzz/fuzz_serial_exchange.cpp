// The receive paths of the serial protocols during their exchanges: a VTR, a VDCP server, a
// tape robot, both changeover switches and the binary switchers run commands on a virtual line
// whose far end answers every write with the input's next blocks (or stays silent once it is used
// up). The manual clock moves on whenever the protocol waits, so unanswered tries cost no real
// time.
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzProcess.h"

#include "devext/device/CSerialEmulator.h"
#include "platform/TimeSource.h"

// Driver headers (their folders move with the protocol families).
#include "drivers/model/CSerialEchg.h"
#include "drivers/sources/robot/CSerialTapeRobot.h"
#include "drivers/sources/vdcp/CVDCP.h"
#include "drivers/sources/vtr/VtrProtocol.h"
#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"
#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"
#include "drivers/switchers/binary/CVideoSwitch_BJSX.h"
#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"
#include "drivers/switchers/binary/SwitchFrames.h"

#include <atomic>
#include <functional>
#include <thread>

namespace {

constexpr int kPort = 77;

// The far end: each write is answered with up to two blocks of the input.
class FarEnd : public CSerialEmulator {
public:
    explicit FarEnd(fuzz::Input &in) : m_in(in)
    {
        m_nPort = kPort;
        m_bActive = 1;
    }
    int OnRecvData(const unsigned char *, int) override
    {
        for (int blocks = (m_in.Byte() & 1) + 1; blocks > 0 && !m_in.Empty(); --blocks) {
            const std::vector<uint8_t> block = m_in.Block(40);
            if (!block.empty()) SendData(block.data(), static_cast<int>(block.size()));
        }
        return 1;
    }

private:
    fuzz::Input &m_in;
};

void RunVtr(fuzz::Input &in, const std::vector<int> &ops)
{
    CSerialVTR vtr;
    vtr.SetPort(kPort);
    vtr.Open();
    for (int op : ops) {
        int32_t frames = 0, type = 0;
        char name[32];
        tagVTRStatus status;
        switch (op % 8) {
        case 0:
            vtr.Play();
            break;
        case 1:
            vtr.Stop();
            break;
        case 2:
            vtr.GetTimecode(2, &frames, 0);
            break;
        case 3:
            vtr.GetStatus(&status, 0);
            break;
        case 4:
            vtr.GetDeviceType(&type, name, sizeof name);
            break;
        case 5:
            vtr.CueUpWithData(static_cast<int32_t>(in.Byte()) * 997);
            break;
        case 6:
            vtr.SetTimeMode(op & 1);
            break;
        default:
            vtr.Shuttle(in.Byte() / 16.0 - 8);
            break;
        }
    }
    vtr.Close();
}

void RunVdcp(fuzz::Input &in, const std::vector<int> &ops)
{
    CVDCP vdcp;
    vdcp.SetPort(kPort, in.Choice(3));
    vdcp.Open();
    for (int op : ops) {
        int32_t a = 0, b = 0, c = 0, since = 0;
        timecode_t time;
        switch (op % 8) {
        case 0:
            vdcp.Play();
            break;
        case 1:
            vdcp.Stop();
            break;
        case 2:
            vdcp.GetPosition(&a, 0, &since);
            break;
        case 3:
            vdcp.GetStatus(&a, &b, &c, 0, &since);
            break;
        case 4:
            vdcp.PlayCue("CLIP0001", 200);
            break;
        case 5:
            vdcp.CueWithData("CLIP0002", 10, 250, 200);
            break;
        case 6:
            vdcp.GetSystemTime(time);
            break;
        default:
            vdcp.OpenPort(in.Choice(4), in.Choice(2), &a);
            break;
        }
    }
    vdcp.Close();
}

void RunRobot(fuzz::Input &in, const std::vector<int> &ops)
{
    CSerialTapeRobot robot;
    robot.SetPortNumber(kPort);
    robot.SetMessageHandler([](int32_t) {});
    robot.DevOpen();
    for (int op : ops) {
        uint32_t first = 0, second = 0;
        CString label;
        uint8_t value = 0;
        switch (op % 5) {
        case 0:
            robot.Run(in.Byte() % 48);
            break;
        case 1:
            robot.QueryStatus(in.Choice(4), first, second);
            break;
        case 2:
            robot.ReadLabel(static_cast<char>('A' + in.Choice(4)), in.Choice(20), label);
            break;
        case 3:
            robot.ReadPresenceMap(first);
            break;
        default:
            robot.Query1(in.Byte() % 48, in.Byte(), value);
            break;
        }
    }
    robot.DevClose();
}

void RunEchg(fuzz::Input &in, const std::vector<int> &ops, bool query)
{
    CSerialEchg485 e485;
    CSerialEchg422 e422;
    CSerialEchg &line = query ? static_cast<CSerialEchg &>(e485) : e422;
    line.Reopen(kPort);
    for (int op : ops) {
        if (op & 1)
            line.DevSwitch(in.Choice(2) + 1);
        else if (query)
            e485.DevQuery();
        else
            e422.GetChannelState(in.Choice(10));
    }
    line.DevClose();
}

void RunSwitch(fuzz::Input &in, const std::vector<int> &ops, int model)
{
    CSerialIO_APS1602 aps;
    CSerialIO_BDS1602CP bds;
    CSerialIO_ONYX onyx;
    CSerialIO_BJSX bjsx;
    CSerialIO_BJSX_V20 bjsx20;
    CSerialSwitchIO *lines[] = {&aps, &bds, &onyx, &bjsx, &bjsx20};
    CSerialSwitchIO &line = *lines[model % 5];
    line.SetPortNumber(kPort);
    line.DevOpen();
    for (int op : ops) {
        const int source = in.Byte() % 20;
        switch (model % 5) {
        case 0:
            aps.Send(op & 1 ? swframe::Aps1602Take(source) : swframe::Aps1602ProgramQuery());
            break;
        case 1: {
            int reported = -1;
            if (op % 3 == 0)
                bds.SendTake(source);
            else if (op % 3 == 1)
                bds.SendPreset(source);
            else
                bds.QueryStatus(reported);
            break;
        }
        case 2:
            onyx.SendTake(source + 1, in.Byte() % 8 + 1);
            break;
        case 3:
            bjsx.SendSource(source % 9);
            break;
        default:
            bjsx20.SendSource(source % 17);
            break;
        }
    }
    line.DevClose();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::ProcessSettings();
    // Only the virtual line answers on this number.
    setenv(("KEST_COM" + std::to_string(kPort)).c_str(), "/nonexistent/kest-fuzz", 1);
    unsetenv(("KEST_SIO" + std::to_string(kPort)).c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int protocol = in.Choice(10);
    std::vector<int> ops(in.Choice(4) + 1);
    for (int &op : ops) op = in.Byte();

    plat::ScopedTestClock clock;
    FarEnd far(in);
    std::atomic<bool> done{false};
    std::thread run([&] {
        switch (protocol) {
        case 0:
            RunVtr(in, ops);
            break;
        case 1:
            RunVdcp(in, ops);
            break;
        case 2:
            RunRobot(in, ops);
            break;
        case 3:
        case 4:
            RunEchg(in, ops, protocol == 3);
            break;
        default:
            RunSwitch(in, ops, protocol - 5);
            break;
        }
        done = true;
    });
    // Moves the clock on while anything waits on it. An exchange that never ends is reported
    // by libFuzzer's time-out (-timeout).
    while (!done)
        if (plat::TestClock::WaitForTimedWaiters(1, 1)) plat::TestClock::Advance(100);
    run.join();
    return 0;
}
