// Socket operations of the driver library beside the socket layer: sending the lines of a
// line source, and stopping a UDP listener with a result.
#pragma once

#include "devext/device/CTcpSocket.h"
#include "devext/device/CUdpListener.h"
#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <functional>

// Yields the next line into its argument; false when there is none.
using NextLine = std::function<bool(CString &line)>;

// Sends each line of `source` followed by CR LF: the total of bytes sent, or the first
// negative send result.
KSOVRA20_API int SendLines(CTcpSocket &socket, const NextLine &source);
// 0 when the listener has no receive thread; else closes its socket, waits for the thread
// (giving it up after the listener's bound) and returns 1.
KSOVRA20_API int StopUdpListener(CUdpListener &listener);
