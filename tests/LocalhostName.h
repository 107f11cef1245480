// Whether a name resolves here without a name server, from the hosts file. A minimal root may
// have no hosts file, and asking a name server would send traffic off the machine: tests of
// name resolution skip then (with kNoLocalhost for "localhost").
#pragma once

#include <fstream>
#include <sstream>
#include <string>

inline constexpr const char *kNoLocalhost =
    "\"localhost\" is not in /etc/hosts as 127.0.0.1, so resolving it would ask a name server";

// True when a line of /etc/hosts lists `name` (for `address` only, when one is given).
inline bool NameInHostsFile(const std::string &name, const std::string &address = "")
{
    std::ifstream hosts("/etc/hosts");
    for (std::string line; std::getline(hosts, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string first, word;
        if (!(words >> first) || (!address.empty() && first != address)) continue;
        while (words >> word)
            if (word == name) return true;
    }
    return false;
}

inline bool LocalhostInHostsFile()
{
    return NameInHostsFile("localhost", "127.0.0.1");
}
