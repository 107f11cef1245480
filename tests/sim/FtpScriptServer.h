// The far end of an FTP control connection, scripted: it listens on 127.0.0.1 (a free port),
// greets each connection, records every command line and answers by rules ("a command that
// starts with X gets these bytes"), so that a test can send exactly the replies a real server
// would not: multi-line replies, lines under four characters, stray text, no reply at all or
// a dropped connection. It runs on real time, whatever clock the code under test uses.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestsim {

class FtpScriptServer {
public:
    // Listens at once; USER answers 331, PASS 230 and QUIT 221 until rules replace them.
    FtpScriptServer();
    ~FtpScriptServer();
    FtpScriptServer(const FtpScriptServer &) = delete;
    FtpScriptServer &operator=(const FtpScriptServer &) = delete;

    uint16_t Port() const { return m_port; }
    // Sent to each new connection ("220 ready\r\n" unless set).
    void Greeting(const std::string &bytes);
    // A command line beginning with `prefix` gets `reply` as it stands (CR LF included by the
    // test); an empty reply is silence. A later rule for the same prefix replaces it.
    void When(const std::string &prefix, const std::string &reply);
    // A command line beginning with `prefix` closes the connection without an answer.
    void DropOn(const std::string &prefix);

    // The command lines received so far (without CR LF), over every connection.
    std::vector<std::string> Commands() const;
    // Waits in real time until a command beginning with `prefix` has come.
    bool WaitForCommand(const std::string &prefix, uint32_t ms) const;
    int Connections() const;

private:
    struct Rule {
        std::string prefix, reply;
        bool drop = false;
    };

    void Run();
    void Serve(int conn);
    bool SendAll(int fd, const std::string &bytes);
    void SetRule(Rule rule);

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::string m_greeting = "220 ready\r\n";
    std::vector<Rule> m_rules;
    std::vector<std::string> m_commands;
    int m_connections = 0;
    std::thread m_thread;
};

} // namespace kestsim
