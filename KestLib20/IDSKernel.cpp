#include "KestLib20/IDSKernel.h"

#include "platform/String.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kValueSize = 512;
constexpr int kMaxProcesses = 256;

std::vector<CString> SplitGroups(const char *text)
{
    std::vector<CString> names;
    CString rest(text);
    while (!rest.IsEmpty()) {
        const int semicolon = rest.Find(';');
        CString name = semicolon < 0 ? rest : rest.Left(semicolon);
        rest = semicolon < 0 ? CString() : rest.Mid(semicolon + 1);
        name.Trim();
        if (!name.IsEmpty()) names.push_back(name);
    }
    return names;
}

} // namespace

bool DsGroupFilterMet(const char *filter, const char *groups)
{
    const std::vector<CString> own = SplitGroups(groups);
    for (const CString &wanted : SplitGroups(filter)) {
        bool member = false;
        for (const CString &group : own) member = member || group.CompareNoCase(wanted) == 0;
        if (!member) return false;
    }
    return true;
}

int32_t IDSKernel::GetGrpInfo(int32_t mode, NETPID &process, char *buffer, int32_t size)
{
    return GetEnv(mode, process, "GROUP", buffer, size);
}

int32_t IDSKernel::GetProgName(int32_t mode, NETPID &process, char *buffer, int32_t size)
{
    return GetEnv(mode, process, "P_NAME", buffer, size);
}

int32_t IDSKernel::GetProgTitle(int32_t mode, NETPID &process, char *buffer, int32_t size)
{
    return GetEnv(mode, process, "P_TITLE", buffer, size);
}

int32_t IDSKernel::GetProgVersion(int32_t mode, NETPID &process, char *buffer, int32_t size)
{
    return GetEnv(mode, process, "P_VER", buffer, size);
}

int32_t IDSKernel::GetHostName(int32_t mode, int32_t node, char *buffer, int32_t size)
{
    return GetNodeEnv(mode, node, "HOST_NAME", buffer, size);
}

uint32_t IDSKernel::GetIP(int32_t mode, int32_t node)
{
    char text[kValueSize];
    unsigned int ip = 0;
    if (!GetNodeEnv(mode, node, "IP", text, sizeof text) || sscanf(text, "%u", &ip) != 1) return 0;
    return ip;
}

int32_t IDSKernel::SetProgName(const char *name)
{
    return SetLocalEnv("P_NAME", name);
}

int32_t IDSKernel::SetProgTitle(const char *title)
{
    return SetLocalEnv("P_TITLE", title);
}

int32_t IDSKernel::SetProgVersion(const char *version)
{
    return SetLocalEnv("P_VER", version);
}

int32_t IDSKernel::SetHostName(const char *host)
{
    return SetLocalEnv("HOST_NAME", host);
}

int32_t IDSKernel::GetEnvAsInteger(int32_t mode, NETPID &process, const char *key)
{
    char text[kValueSize];
    return GetEnv(mode, process, key, text, sizeof text) ? atoi(text) : 0;
}

int32_t IDSKernel::SetEnvAsInteger(const char *key, int32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return SetLocalEnv(key, text);
}

int32_t IDSKernel::GetHttpPort(int32_t mode, NETPID &process)
{
    return GetEnvAsInteger(mode, process, "HTTP");
}

int32_t IDSKernel::GetTelnetPort(int32_t mode, NETPID &process)
{
    return GetEnvAsInteger(mode, process, "TELNET");
}

int32_t IDSKernel::GetKestPort(int32_t mode, NETPID &process)
{
    return GetEnvAsInteger(mode, process, "KEST_PORT");
}

int32_t IDSKernel::FindByGrpFilter(int32_t mode, const char *filter, NETPID *list, int32_t *count)
{
    if (!count) return 0;
    const int32_t capacity = list ? *count : 0;
    int32_t nodes[64];
    int32_t nodeCount = 64;
    GetNodeList(mode, nodes, &nodeCount);
    int32_t found = 0;
    for (int32_t n = 0; n < nodeCount && found < capacity; ++n) {
        NETPID processes[kMaxProcesses];
        int32_t processCount = kMaxProcesses;
        GetProcesses(1, nodes[n], processes, &processCount);
        for (int32_t p = 0; p < processCount && found < capacity; ++p) {
            char groups[kValueSize];
            if (GetGrpInfo(mode, processes[p], groups, sizeof groups) &&
                DsGroupFilterMet(filter, groups))
                list[found++] = processes[p];
        }
    }
    *count = found;
    return found;
}
