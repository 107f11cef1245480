#include "KestLib20/CNetMsgClient.h"

#include "platform/TimeSource.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

namespace {

// Collects up to 64 strings ended by a null pointer.
void CollectArguments(va_list list, const char **arguments)
{
    int i = 0;
    for (; i < kNetMsgMaxArgs; ++i) {
        arguments[i] = va_arg(list, const char *);
        if (!arguments[i]) break;
    }
    arguments[i] = nullptr;
}

} // namespace

CNetMsgClient::CNetMsgClient(INetMsgServer **serverSlot, int32_t replyTimeout)
    : m_nReplyTimeOut(replyTimeout), m_ppServer(serverSlot)
{
}

CNetMsgClient::~CNetMsgClient()
{
    Close();
}

int32_t CNetMsgClient::Open()
{
    std::lock_guard<CDataLock> lk(m_sendLock);
    if (m_socket > 0) return 1;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (s < 0 || setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        if (s >= 0) close(s);
        return 0;
    }
    m_socket = s;
    return 1;
}

void CNetMsgClient::Close()
{
    std::lock_guard<CDataLock> lk(m_sendLock);
    if (m_socket > 0) close(m_socket);
    m_socket = -1;
}

bool CNetMsgClient::Post(uint32_t, int32_t port, tagNetMsgHeader *header, const char **arguments)
{
    if (!header || !Open()) return false;
    if (port == 0) {
        INetMsgServer *server = Server();
        port = server ? server->GetServerPort() : kNetMsgDefaultPort;
    }
    if (port < 1 || port > 65535) return false;
    header->sender = GetCurrentNetProcessID();
    char message[kNetMsgMaxSize];
    EncodeNetMsgHeader(*header, message);
    SetNetMsgParamList(message, kNetMsgMaxSize, arguments);
    const tagNetMsgHeader sent = DecodeNetMsgHeader(message);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = GetNetMsgBroadcastAddress();
    to.sin_port = htons(static_cast<uint16_t>(port));
    std::lock_guard<CDataLock> lk(m_sendLock);
    return sendto(m_socket, message, static_cast<size_t>(sent.length), 0,
                  reinterpret_cast<sockaddr *>(&to), sizeof to) == sent.length;
}

bool CNetMsgClient::_Post(uint32_t address, int32_t port, tagNetMsgHeader *header, ...)
{
    const char *arguments[kNetMsgMaxArgs + 1];
    va_list list;
    va_start(list, header);
    CollectArguments(list, arguments);
    va_end(list);
    return Post(address, port, header, arguments);
}

template <class Collect>
auto CNetMsgClient::Request(int32_t port, tagNetMsgHeader *header, const char **arguments,
                            int32_t lifetime, Collect collect) -> decltype(collect(0))
{
    INetMsgServer *server = Server();
    if (!server || !header) return {};
    const int32_t queue = server->CreateQueue(lifetime, 0);
    if (queue < kFirstFixedQueue) return {};
    header->replyQueue = queue;
    auto result = Post(0, port, header, arguments) ? collect(queue) : decltype(collect(0)){};
    server->DeleteQueue(queue);
    return result;
}

char *CNetMsgClient::Send(uint32_t, int32_t port, tagNetMsgHeader *header, const char **arguments)
{
    const int32_t timeout = m_nReplyTimeOut;
    return Request(port, header, arguments, 2 * timeout,
                   [&](int32_t queue) { return Server()->GetMsgFromQueue(queue, timeout); });
}

char *CNetMsgClient::_Send(uint32_t address, int32_t port, tagNetMsgHeader *header, ...)
{
    const char *arguments[kNetMsgMaxArgs + 1];
    va_list list;
    va_start(list, header);
    CollectArguments(list, arguments);
    va_end(list);
    return Send(address, port, header, arguments);
}

char *CNetMsgClient::SendV(tagNetMsgHeader *header, const char **arguments, char **answer,
                           const char **answerArguments, int32_t &count)
{
    char *reply = Send(0, 0, header, arguments);
    if (answer) *answer = reply;
    if (reply)
        GetNetMsgParamList(reply, answerArguments, count);
    else
        count = 0;
    return reply;
}

int32_t CNetMsgClient::Ask4Grp(uint32_t, int32_t port, tagNetMsgHeader *header,
                               const char **arguments, char **answers, int32_t *count,
                               int32_t timeout)
{
    if (!count) return 0;
    const int32_t capacity = answers ? *count : 0;
    *count = 0;
    const int32_t found = Request(port, header, arguments, 2 * timeout, [&](int32_t queue) {
        int32_t n = 0;
        int32_t left = std::max(timeout, 0);
        while (n < capacity - 1) {
            const uint32_t start = plat::GetTickCount();
            char *reply = Server()->GetMsgFromQueue(queue, left);
            if (!reply) break;
            answers[n++] = reply;
            left = std::max(left - static_cast<int32_t>(plat::TickElapsed(start)), 0);
        }
        return n;
    });
    if (capacity > 0) answers[found] = nullptr;
    *count = found;
    return found;
}

bool CNetMsgClient::Ack(const tagNetMsgHeader *request, tagNetMsgHeader *answer,
                        const char **arguments)
{
    if (!request || !answer || request->replyQueue < kFirstFixedQueue) return false;
    answer->target = request->sender;
    answer->channel = request->replyQueue;
    answer->replyQueue = 0;
    answer->command = 0;
    return Post(0, 0, answer, arguments);
}
