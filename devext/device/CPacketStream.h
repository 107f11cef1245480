// The cursor through which argument lists reach a packet's data part: a position, a state
// and the packet. Writes grow a packet that owns its block; reads never go past the data.
#pragma once

#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"

class DEVEXT20_API CPacketStream {
public:
    enum State { STATE_GOOD = 0, STATE_COUNT = 2, STATE_SHORT = 3 };
    enum Origin { FROM_POSITION = 0, FROM_START = 1, FROM_END = 2 };

    // At position 0 of the packet's data part (an empty packet gets one without a head).
    explicit CPacketStream(CPacket &packet);
    virtual ~CPacketStream() = default;
    CPacketStream(const CPacketStream &) = delete;
    CPacketStream &operator=(const CPacketStream &) = delete;

    // Writes at the position; fewer bytes than asked sets STATE_SHORT. The position moves on
    // by what was written, which is returned.
    virtual int Write(const void *data, int length);
    // Reads at the position; fewer bytes than asked sets STATE_SHORT. The position moves on
    // by what was read, which is returned.
    virtual int Read(void *buffer, int length);
    // Moves the position, clamped to the data; returns it.
    virtual int Seek(int offset, int origin);
    // A count out of range: STATE_COUNT.
    virtual void SetError();

    // A length or size that cannot be met: STATE_SHORT.
    void SetShort() { m_nState = STATE_SHORT; }
    int GetState() const { return m_nState; }
    bool IsGood() const { return m_nState == STATE_GOOD; }
    int GetPosition() const { return m_nPosition; }
    // Bytes of data after the position.
    int Remaining() const;
    CPacket &GetPacket() { return m_packet; }

private:
    int m_nPosition = 0;
    int m_nState = STATE_GOOD;
    CPacket m_packet;
};
