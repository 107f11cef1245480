// The packet dispatcher's receive handler and the handlers of the management and serial
// sharing services, with the dispatcher listening and the services active, fed arbitrary
// packets whose replies come back to a socket of this process. Serial lines that a request
// opens are pseudo-terminals of this process.
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzProcess.h"

#include "Kest20/CDSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/CSerialShareServ.h"
#include "devext/device/CServer_NetService.h"
#include "devext/device/NetHead.h"
#include "devext/device/SerialShareMessages.h"

#include <atomic>
#include <pty.h>
#include <thread>

namespace {

// Lines 1 and 2 are pseudo-terminals whose far ends are read and thrown away; a request for
// any other line is not handed on (it would open whatever the machine has).
constexpr int32_t kLines = 2;
// Where an open request holds the half-duplex gap: behind the two port numbers, the setting
// buffer's length and six 16-bit setting fields.
constexpr int kHalfTimeAt = 4 + 4 + 4 + 12;

struct Process {
    Process()
    {
        FakeSettings &settings = fuzz::ProcessSettings();
        for (int line = 1; line <= kLines; ++line) {
            int master = -1, slave = -1;
            char name[128];
            if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) continue;
            ::setenv(("KEST_COM" + std::to_string(line)).c_str(), name, 1);
            std::thread([master] {
                char buffer[512];
                while (::read(master, buffer, sizeof buffer) > 0) {
                }
            }).detach();
        }
        void *made = CDSystem::GetClassID()->CreateInstance(nullptr);
        (void)made;
        if (IDSKernel *kernel = glGetDistributedSystemCore()) kernel->SetHostName("localhost");
        settings.Set("/etc/tvx/FuzzDisp", "Default Port", std::to_string(fuzz::FreeUdpPort()));
        disp.InitInstance(nullptr, "FuzzDisp");
        disp.ActiveInstance();
        management.InitInstance(nullptr, nullptr);
        management.ActiveInstance();
        share.InitInstance(nullptr, nullptr);
        share.ActiveInstance();
    }

    fuzz::Sink sink;
    CNetDisp disp;
    CServer_NetService management;
    CSerialShareServ share;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Process *process = new Process; // lives as long as the process
    fuzz::Input in(data, size);
    const int route = in.Choice(3);
    std::vector<uint8_t> bytes = in.Take(4096);
    const tagNetAddr from{htonl(INADDR_LOOPBACK), process->sink.Port()};
    // Replies go back to the sink, wherever the head says they come from.
    if (bytes.size() >= tagNetHead::kSize) {
        tagNetHead head = tagNetHead::Decode(bytes.data());
        head.source = from;
        head.Encode(bytes.data());
    }
    CPacket packet(CPacketData::Create(tagNetHead::kSize, nullptr, 0));
    packet->CopyFrom(bytes.data(), static_cast<int>(bytes.size()));
    tagNetHead head;
    const bool hasHead = bytes.size() >= tagNetHead::kSize && glGetNetHead(packet, head);
    switch (route) {
    case 0:
        process->disp.PacketDisp(reinterpret_cast<char *>(bytes.data()),
                                 static_cast<int>(bytes.size()), from);
        break;
    case 1:
        process->management.DispHandler(packet);
        break;
    default:
        if (hasHead && head.messageId == serialshare::kOpen) {
            int32_t line = 0;
            if (packet->Read(&line, 0, 4) != 4 || line < 1 || line > kLines) break;
            // No half-duplex gap: a client may ask for a pause of up to a minute before each
            // write, which is its right but would only slow the run down.
            const uint8_t none[2] = {};
            packet->Write(none, kHalfTimeAt, 2);
        }
        process->share.DispHandler(packet);
        break;
    }
    process->sink.Drain();
    return 0;
}
