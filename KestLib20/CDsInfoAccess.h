// The provider of distributed-system information below "/etc/net": the process part is "#My"
// (this process) or a process id in its text form, followed by a key of the kernel's
// environment. Enumeration lists "#My", "#Node", "#Grp" and the known processes; below
// "#Node", the known nodes (their numbers as 8 hexadecimal digits). Reads answer from the
// kernel's table as it stands, without a heartbeat.
#pragma once

#include "KestLib20/CResProvider.h"
#include "KestLib20/IDSKernel.h"

class CDsInfoAccess : public CResProvider {
public:
    static constexpr int kValueSize = 512;
    static constexpr int kMaxProcesses = 256;
    static constexpr int kMaxNodes = 128;

    ~CDsInfoAccess() override { Unmount(); }

    // The slot that holds the kernel; without one (or while it is empty) every operation
    // answers 0.
    void Set(IDSKernel **kernel) { m_ppKernel = kernel; }

protected:
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override;
    int32_t OnSet(const char *const *rest, int32_t *handled, const CVariant &value) override;
    int32_t OnEnumSub(const char *const *rest, CString &answer, const char *pattern,
                      int32_t flags) override;

private:
    IDSKernel *Kernel() const { return m_ppKernel ? *m_ppKernel : nullptr; }

    IDSKernel **m_ppKernel = nullptr;
};
