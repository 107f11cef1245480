// Test kit for net messages: a port of our own per test, datagrams crafted byte by byte (with
// an encoder written apart from the system's), and peer processes driven through pipes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// A UDP port that no socket of this computer uses now.
int32_t FreeUdpPort();

// A net message built field by field: ten little-endian words, then NUL-ended strings.
struct CraftedMessage {
    uint32_t fields[10] = {};
    std::vector<std::string> strings;

    // The bytes, with the length field set to the real size unless `lengthField` is given.
    std::string Bytes(int64_t lengthField = -1) const;
};
// Field indexes of CraftedMessage::fields.
enum CraftedField {
    kLength,
    kCommand,
    kParam1,
    kParam2,
    kTargetNode,
    kTargetPid,
    kChannel,
    kReplyQueue,
    kSenderNode,
    kSenderPid
};

// Sends `bytes` as one datagram to 127.255.255.255 (every listener of the port on this host).
bool SendDatagram(int32_t port, const std::string &bytes);

// A netmsg_peer process on `port`, ended when the object goes.
class PeerProcess {
public:
    // `node` non-empty sets KEST_NODE for the peer.
    PeerProcess(int32_t port, const std::string &node = "");
    ~PeerProcess();
    PeerProcess(const PeerProcess &) = delete;
    PeerProcess &operator=(const PeerProcess &) = delete;

    // Whether the peer started and told its id.
    bool Ready() const { return !m_id.empty(); }
    // Its NETPID text.
    const std::string &Id() const { return m_id; }
    // Sends a command and returns the reply line that starts with `reply` (empty on time-out);
    // the other lines read meanwhile stay for WaitFor.
    std::string Ask(const std::string &command, const std::string &reply, int timeoutMs = 5000);
    void Tell(const std::string &command);
    // Reads lines until one holds `text`; the lines read before it are appended to `before`.
    // False on time-out.
    bool WaitFor(const std::string &text, int timeoutMs = 5000,
                 std::vector<std::string> *before = nullptr);
    // Reads lines until every text has been in one, in any order. False on time-out.
    bool WaitForAll(std::vector<std::string> texts, int timeoutMs = 5000);
    // Waits for the process to end; whether it ended within the time.
    bool WaitForExit(int timeoutMs);

private:
    // The next line: one that Ask put aside, else one from the pipe.
    bool NextLine(std::string &line, int timeoutMs);
    bool ReadLine(std::string &line, int timeoutMs);

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffered;
    std::deque<std::string> m_asideLines;
    std::string m_id;
};

// With the manual clock installed: advances it by `step` each time a thread waits on it,
// until `done` holds or `limit` ms have passed; the ms advanced.
uint32_t PumpClock(const std::function<bool()> &done, uint32_t step, uint32_t limit);

// The event text the kernel raises.
std::string KernelEvent(const std::string &name, const std::string &id);
