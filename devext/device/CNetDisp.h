// The packet dispatcher: the one UDP packet socket of a process. A packet handed to it goes
// out as one datagram to the address in its network head; a datagram that arrives becomes a
// packet again and is mailed, through the process's post office, to the local mail box the
// head names. Network servers and clients talk only through it; the process's dispatcher is
// the first live instance of this class.
#pragma once

#include "Kest20/ClassA.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"
#include "devext/device/CUdpListener.h"
#include "devext/device/CUdpSocket.h"
#include "devext/device/NetAddr.h"
#include "platform/String.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class DEVEXT20_API CNetDisp : public CClassA {
    DECLARE_KEST_CLASS(CNetDisp)

    // The outgoing mail box: a packet mailed to it is sent.
    static constexpr int32_t kOutBoxId = 128;
    static constexpr const char *kOutBoxName = "Packet_Exchange";
    // Without a configured port (or when it cannot be bound) the first free one of these.
    static constexpr int kFirstPort = 7032;
    static constexpr int kPortCount = 32;

    CNetDisp();
    // Stops the listener, closes the send socket and releases the mail box.
    ~CNetDisp() override;
    // A dispatcher owns a receive thread and a mail box id: it is not copied.
    CNetDisp(const CNetDisp &) = delete;
    CNetDisp &operator=(const CNetDisp &) = delete;

    // Reads "Net Name" and "Default Port" and enables the outgoing mail box; 1.
    int32_t OnInitInstance() override;
    // Listens, and publishes the net name and "KEST_PORT" to the distributed-system kernel;
    // the result of Listen.
    int32_t OnActiveInstance() override;
    // Disables the mail box and stops; 1.
    int32_t OnDeactiveInstance() override;

    // Binds the listener to the configured port, else to the first free one of 7032..7063,
    // and starts its receive thread; 1 when listening.
    int Listen();
    // Listen when not listening yet, else 1.
    int Start();
    // 1 when listening.
    int OK() const;
    // Stops the listener; the current port becomes 0. 1.
    int Stop();

    CString GetNetName() const;
    // The port the listener is bound to; 0 while not listening.
    int GetPort() const;
    // The local host name up to its first ".", then ".", then the net name.
    CString GetNetDiscription() const;

    // Sends the bytes as one datagram (listening first when not yet listening); 1 when sent.
    int SendBuffer(const void *data, int length, const tagNetAddr &to);
    // Sends head and data to the head's destination, with the source set to this
    // dispatcher's port; 0 without a 32-byte head or when the send fails.
    int SendPacket(CPacket &packet);
    // The receive handler of the listener: mails a datagram of at least 32 bytes to the box
    // its head names; 1 when it was mailed.
    int PacketDisp(char *data, int length, const tagNetAddr &from);

    // The process's dispatcher: the first live instance; null when there is none.
    static CNetDisp *GetProcessDisp();

private:
    struct OutBox;

    // The mail handler of the outgoing mail box.
    int32_t __SendPacket(int32_t boxId, CPacket &packet);
    void SetCurrentPort(int port);

    mutable std::mutex m_fieldLock; // guards the net name and the default port
    CString m_strNetName;
    int m_nDefaultPort = 0;
    std::atomic<int> m_nCurrentPort{0};
    std::unique_ptr<OutBox> m_pOutBox;
    CDataLock m_lock;        // serialises sends
    std::mutex m_listenLock; // serialises Listen and Stop
    CUdpSocket m_sendSocket;
    CUdpListener m_listener;
};
