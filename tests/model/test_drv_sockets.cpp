// The driver library's socket helpers: lines from a line source over a local socket pair,
// and the stop of a UDP listener on 127.0.0.1.
#include "drivers/model/DrvSockets.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Yields the given lines one by one.
NextLine LinesOf(std::vector<std::string> lines)
{
    return [lines = std::move(lines), next = size_t{0}](CString &line) mutable {
        if (next == lines.size()) return false;
        line = lines[next++].c_str();
        return true;
    };
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

} // namespace

TEST(DrvSockets, SendsEachLineWithCrLf)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    {
        CTcpSocket socket(pair[0]);
        EXPECT_EQ(SendLines(socket, LinesOf({"first", "", "第三"})), 15);
    }
    EXPECT_EQ(ReadAll(pair[1]), "first\r\n\r\n第三\r\n");
    close(pair[1]);
}

TEST(DrvSockets, AFailedSendEndsTheLines)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    close(pair[1]);
    CTcpSocket socket(pair[0]);
    int asked = 0;
    const int result = SendLines(socket, [&asked](CString &line) {
        line = "line";
        return ++asked <= 3;
    });
    EXPECT_LT(result, 0);
    EXPECT_EQ(asked, 1) << "no line is taken after the failure";
}

TEST(DrvSockets, StoppingAListenerTellsWhetherItRan)
{
    CUdpListener listener;
    tagNetAddr addr;
    addr.ip = htonl(INADDR_LOOPBACK);
    addr.port = 0;
    listener.SetAddress(addr);
    EXPECT_EQ(StopUdpListener(listener), 0);
    ASSERT_EQ(listener.Start(), 1);
    EXPECT_EQ(StopUdpListener(listener), 1);
    EXPECT_FALSE(listener.IsRunning());
    EXPECT_EQ(StopUdpListener(listener), 0);
}
