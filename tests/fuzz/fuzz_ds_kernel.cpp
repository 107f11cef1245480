// The distributed-system kernel's handling of arbitrary net messages on its server: the
// environment tables, main nodes, groups, callbacks and the answers it sends (to
// $KEST_BROADCAST, set to this host by the test). Its tables stay consistent for queries.
#include "tests/fuzz/FuzzNetMsg.h"

#include "KestLib20/CDSKernel.h"
#include "KestLib20/CNetMsgServer.h"

#include <cstdlib>

namespace {

const fuzz::Datagram *g_current = nullptr;

// A message passed on from the datagram has its arguments there; the kernel's own events
// (joined, left, updated) carry texts of the kernel's.
int32_t OnMessage(void *, tagNetMsgHeader &, const char **arguments)
{
    const char *first = arguments[0];
    if (g_current && first >= g_current->bytes &&
        first < g_current->bytes + sizeof g_current->bytes)
        fuzz::CheckArguments(*g_current, arguments);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("KEST_BROADCAST", "127.255.255.255", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const fuzz::Datagram d = fuzz::MakeDatagram(in);
    IDSKernel *slot = nullptr;
    CDSKernel kernel(&slot, 7098);
    kernel.EnterGrp("GROUP1", 0);
    kernel.RegisterCallBack(nullptr, &OnMessage);
    fuzz::Datagram copy = d;
    g_current = &copy;
    kernel.GetNetMsgServ()->HandleMsg(copy.bytes, copy.size, 0x0100007F);
    g_current = nullptr;

    int32_t nodes[64];
    int32_t count = 64;
    kernel.GetNodeList(1, nodes, &count);
    FUZZ_CHECK(count >= 0 && count <= 64);
    NETPID list[64];
    count = 64;
    kernel.GetProcesses(1, 0, list, &count);
    FUZZ_CHECK(count >= 0 && count <= 64);
    NETPID main;
    kernel.GetMainNode("MAIN", &main);
    return 0;
}
