// The distributed-system object: owns the process's distributed-system kernel, mounts what it
// knows at "/etc/net", and while active serves the station's net messages, joins the groups of
// its setting ("/etc/tvx/DSystem") and posts the log messages other processes send it to the
// local log. Started by naming "DSystem" in the start list.
#pragma once

#include "Kest20/ClassA.h"
#include "Kest20/Kest20Api.h"

#include <memory>

struct tagNetMsgHeader;

class KEST20_API CDSystem : public CKestnut {
    DECLARE_KEST_CLASS(CDSystem)

    // Builds the kernel (published for glGetDistributedSystemCore), mounts "/etc/net" and
    // starts taking the kernel's messages.
    CDSystem();
    // Stops taking messages; the kernel goes, and with it the published kernel.
    ~CDSystem() override;
    CDSystem(const CDSystem &) = delete;
    CDSystem &operator=(const CDSystem &) = delete;

    // Starts the net-message server and publishes the program: the groups of "Group", then
    // "Kest" and the program's name, the program's name and title ("Title") and the host name.
    int32_t OnActiveInstance() override;
    // Leaves every group and tells the station that this process leaves.
    int32_t OnDeactiveInstance() override;
    // A log message from another process: arguments group filter, log type, then the lines
    // of the text. Posted to the local log; 0 without a type.
    int32_t OnRecvNetMsg(tagNetMsgHeader &header, const char **arguments);

private:
    struct _Impl;
    std::unique_ptr<_Impl> m_pImpl;
};
