// The net-message server's handling of arbitrary datagrams: heads checked against what
// arrived, arguments split within the message, answers queued for their reply queues.
#include "tests/fuzz/FuzzNetMsg.h"

#include "KestLib20/CNetMsgServer.h"

#include <cstdlib>

namespace {

constexpr int32_t kFixedQueue = 300;
constexpr int32_t kTemporaryQueue = 1100;

class Server : public CNetMsgServer {
public:
    explicit Server(const fuzz::Datagram &d) : CNetMsgServer(nullptr, 7099), m_d(d) {}
    int32_t OnRecvMessage(tagNetMsgHeader &header, uint32_t, const char **arguments) override
    {
        FUZZ_CHECK(header.length >= kNetMsgHeadSize && header.length <= m_d.size);
        fuzz::CheckArguments(m_d, arguments);
        return 1;
    }

private:
    const fuzz::Datagram &m_d;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    fuzz::Datagram d = fuzz::MakeDatagram(in);
    Server server(d);
    server.CreateQueue(0, kFixedQueue);
    server.CreateQueue(0, kTemporaryQueue);
    server.HandleMsg(d.bytes, d.size, 0x0100007F);
    for (int32_t queue : {kFixedQueue, kTemporaryQueue}) {
        if (char *message = server.GetMsgFromQueue(queue, 0)) {
            const tagNetMsgHeader header = DecodeNetMsgHeader(message);
            FUZZ_CHECK(header.channel == queue);
            std::free(message);
        }
        server.DeleteQueue(queue);
    }
    return 0;
}
