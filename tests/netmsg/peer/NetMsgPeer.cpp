// A test peer: runs a distributed-system kernel on the port given as its argument and follows
// commands read line by line from its input. It answers each command with one line and
// reports what its kernel's callbacks receive:
//   EVENT <event text>             a kernel event (PID_ADD, PID_UPDATE, PID_DEL)
//   MSG <arg1>|<arg2>|...          a command-48 message that passed the group filter
// Commands:
//   env <key> <value>              SetLocalEnv                        -> OK
//   enter <group> / leave <group>  EnterGrp / LeaveGrp with publishing -> OK <changed>
//   post <filter> <text>           a command-48 message to everyone    -> OK
//   procs <mode>                   GetProcesses                       -> PROCS <id> ...
//   get <mode> <id> <key>          GetEnv                             -> VALUE <found> <text>
//   quit                           Quit, then ends                    -> BYE
//   die                            ends at once, telling nobody
#include "KestLib20/CDSClient.h"
#include "KestLib20/CDSKernel.h"
#include "KestLib20/CNetMsgServer.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::mutex g_output;

void Say(const std::string &line)
{
    std::lock_guard<std::mutex> lk(g_output);
    std::cout << line << std::endl;
}

int32_t OnMessage(void *, tagNetMsgHeader &, const char **arguments)
{
    const std::string type = arguments[0] && arguments[1] ? arguments[1] : "";
    if (type == NETMSG_DS_CORE && arguments[2]) {
        Say(std::string("EVENT ") + arguments[2]);
        return 1;
    }
    std::string line = "MSG ";
    for (int i = 1; arguments[i]; ++i) line += std::string(i > 1 ? "|" : "") + arguments[i];
    Say(line);
    return 1;
}

std::string Text(const NETPID &id)
{
    char text[20];
    return NETPID_ntos(id, text, sizeof text);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) return 2;
    CDSKernel kernel(nullptr, atoi(argv[1]));
    kernel.RegisterCallBack(nullptr, &OnMessage);
    if (!kernel.GetNetMsgServ()->Start()) return 3;
    CDSClient client(kernel.GetNetMsgServ()->GetActivePtr());
    Say("READY " + Text(GetCurrentNetProcessID()));

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "env") {
            std::string key, value;
            in >> key >> value;
            kernel.SetLocalEnv(key.c_str(), value.c_str());
            Say("OK");
        } else if (command == "enter" || command == "leave") {
            std::string group;
            in >> group;
            const int32_t changed = command == "enter" ? kernel.EnterGrp(group.c_str(), 1)
                                                       : kernel.LeaveGrp(group.c_str(), 1);
            Say("OK " + std::to_string(changed));
        } else if (command == "post") {
            std::string filter, text;
            in >> filter >> text;
            client.PostNetMsg(filter == "-" ? "" : filter.c_str(), "TEST", text.c_str(),
                              static_cast<const char *>(nullptr));
            Say("OK");
        } else if (command == "procs") {
            int mode = 1;
            in >> mode;
            NETPID list[64];
            int32_t count = 64;
            kernel.GetProcesses(mode, 0, list, &count);
            std::string reply = "PROCS";
            for (int32_t i = 0; i < count; ++i) reply += " " + Text(list[i]);
            Say(reply);
        } else if (command == "get") {
            int mode = 1;
            std::string id, key;
            in >> mode >> id >> key;
            NETPID process = NETPID_ston(id.c_str());
            char value[128];
            const int32_t found = kernel.GetEnv(mode, process, key.c_str(), value, sizeof value);
            Say("VALUE " + std::to_string(found) + " " + value);
        } else if (command == "quit") {
            kernel.Quit();
            Say("BYE");
            return 0;
        } else if (command == "die") {
            _exit(0);
        }
    }
    return 0;
}
