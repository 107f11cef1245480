#include "KestLib20/CDsInfoAccess.h"

#include <cstdio>

namespace {

constexpr const char *kOwn = "#My";
constexpr const char *kNodes = "#Node";
constexpr const char *kGroups = "#Grp";

bool Is(const char *part, const char *name)
{
    return CString(part).CompareNoCase(name) == 0;
}

} // namespace

int32_t CDsInfoAccess::OnGet(const char *const *rest, int32_t *handled, CVariant &value)
{
    IDSKernel *kernel = Kernel();
    if (!kernel) return 0;
    const int parts = KeyLength(rest);
    if (parts == 0) {
        *handled = 1;
        value = CVariant::FromText("Distributed System");
        return 1;
    }
    if (parts != 2) return 0;
    *handled = 1;
    NETPID process;
    if (Is(rest[0], kOwn))
        process = GetCurrentNetProcessID();
    else if (rest[0][0] == '#')
        return 0;
    else
        process = NETPID_ston(rest[0]);
    char text[kValueSize];
    if (!kernel->GetEnv(1, process, rest[1], text, sizeof text)) return 0;
    value = CVariant::FromText(text);
    return 1;
}

int32_t CDsInfoAccess::OnSet(const char *const *rest, int32_t *handled, const CVariant &value)
{
    IDSKernel *kernel = Kernel();
    if (!kernel || KeyLength(rest) != 2 || !Is(rest[0], kOwn)) return 0;
    *handled = 1;
    return kernel->SetLocalEnv(rest[1], value.ToText());
}

int32_t CDsInfoAccess::OnEnumSub(const char *const *rest, CString &answer, const char *, int32_t)
{
    IDSKernel *kernel = Kernel();
    if (!kernel) return 0;
    const int parts = KeyLength(rest);
    if (parts == 0) {
        answer = CString(kOwn) + "/" + kNodes + "/" + kGroups + "/";
        NETPID processes[kMaxProcesses];
        int32_t count = kMaxProcesses;
        kernel->GetProcesses(1, 0, processes, &count);
        for (int32_t i = 0; i < count; ++i) {
            char id[20];
            answer += CString(NETPID_ntos(processes[i], id, sizeof id)) + "/";
        }
        return 1;
    }
    if (parts == 1 && Is(rest[0], kNodes)) {
        int32_t nodes[kMaxNodes];
        int32_t count = kMaxNodes;
        kernel->GetNodeList(1, nodes, &count);
        for (int32_t i = 0; i < count; ++i) {
            char node[12];
            snprintf(node, sizeof node, "%08X", static_cast<uint32_t>(nodes[i]));
            answer += CString(node) + "/";
        }
        return 1;
    }
    return 0;
}
