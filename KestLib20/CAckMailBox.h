// A mail box that waits for a given number of acknowledgement packets: it keeps what it
// receives and, when the number awaited is in, disables itself and wakes the waiter. A user
// enables the box before it sends the request whose acknowledgements it awaits.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/CMailBox.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <cstdint>

class CAckMailBox : public CMailBoxA {
public:
    CAckMailBox(IPostOffice *office, int32_t id);
    ~CAckMailBox() override;

    // Resets the event and drops the kept packets, then enables the box.
    int32_t EnableMailBox() override;
    // 0 when disabled; else keeps the packet and wakes the waiter on the last one awaited.
    int32_t OnRecvMail(int32_t boxId, CPacket &packet) override;
    // Wakes the waiter; 1.
    int32_t OnCtrl(int32_t code, int32_t param) override;

    void SetAckCount(int32_t count);
    int32_t GetAckCount();

    // Waits for the event up to `timeout` ms; the number of packets kept.
    int32_t WaitForMail(int32_t timeout);
    // Waits; the first kept packet goes into `packet` and every kept packet is dropped. 1
    // when there was one.
    int32_t WaitForACK(CPacket &packet, int32_t timeout);
    // Waits; every kept packet moves into `packets`. The number moved.
    int32_t WaitForACK(CArray<CPacket> &packets, int32_t timeout);

private:
    CDataLock m_lock;
    CArray<CPacket> m_packets;
    int32_t m_nAwaited = 1;
    plat::Event m_event; // auto-reset
};
