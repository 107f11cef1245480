// The BJSX switches: 16 sources on one program bus, 9600 baud. A preset is only kept; a take
// routes the kept preset. BJSX takes one five-byte frame for sources 1 to 8; BJSX_V20 takes
// two frames (take, then route) for sources 1 to 16. Neither waits for the replies, which
// are only recorded.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <array>
#include <atomic>

// What the two protocols share: a source routed, a 0-based number.
class KSOVRA20_API CSerialIO_BjsxA : public CSerialSwitchIO {
public:
    // Whether the line took the route of `source`; one the model cannot route fails unwritten.
    virtual int SendSource(int source) = 0;

protected:
    using CSerialSwitchIO::CSerialSwitchIO;
};

class KSOVRA20_API CSerialIO_BJSX : public CSerialIO_BjsxA {
public:
    CSerialIO_BJSX();
    ~CSerialIO_BJSX() override;

    // The 0-based source (0 to 7; any other fails unwritten): whether the line took it.
    int SendSource(int source) override;
    // The code of the last reply: 0 'Y', 1 to 3, 4 anything else; -1 before any.
    int GetReplyCode() const { return m_nReplyCode.load(); }

    int OnRecvData(int port, pointer_t &data) override;

private:
    std::atomic<int> m_nReplyCode{-1};
};

class KSOVRA20_API CSerialIO_BJSX_V20 : public CSerialIO_BjsxA {
public:
    static constexpr int kOutputs = 16;

    CSerialIO_BJSX_V20();
    ~CSerialIO_BJSX_V20() override;

    // The 0-based source (0 to 15; any other fails unwritten): the take frame, 10 ms, the
    // route frame. Whether both were written.
    int SendSource(int source) override;
    // What the switch last reported: the input of a 0-based output (-1 none), whether a take
    // was accepted, and the last error code (-1 none).
    int GetRoutedInput(int output) const;
    bool IsAccepted() const { return m_bAccepted.load(); }
    int GetErrorCode() const { return m_nErrorCode.load(); }

    int OnRecvData(int port, pointer_t &data) override;

private:
    std::array<std::atomic<int>, kOutputs> m_routed;
    std::atomic<bool> m_bTaking{false};
    std::atomic<bool> m_bAccepted{false};
    std::atomic<int> m_nErrorCode{-1};
};

// What the two models do alike; each names its protocol and log type.
class KSOVRA20_API CVideoSwitchBjsxA : public CSwitchRoutes<CSerialIO_BjsxA> {
public:
    // Keeps the entry as the preset; nothing is sent. 1.
    int DevPreset(int channel, int entry) override;
    // Routes the kept preset; 0 while none is kept.
    int DevTake(int channel) override;
    // The kept preset entry. 1.
    int DevQueryPgmEntry(int channel, int &entry) override;

protected:
    CVideoSwitchBjsxA(const char *typeId, const char *description, const char *logType);
    int SendRoute(CSerialIO_BjsxA &port, int channel, int entry) override;

private:
    std::atomic<int> m_nPresetEntry{-1};
};

class KSOVRA20_API CVideoSwitch_BJSX
    : public CVideoSwitchSerial<CSerialIO_BJSX, CVideoSwitchBjsxA> {
    DECLARE_KEST_CLASS(CVideoSwitch_BJSX)

    CVideoSwitch_BJSX();
};

class KSOVRA20_API CVideoSwitch_BJSX_V20
    : public CVideoSwitchSerial<CSerialIO_BJSX_V20, CVideoSwitchBjsxA> {
    DECLARE_KEST_CLASS(CVideoSwitch_BJSX_V20)

    CVideoSwitch_BJSX_V20();
};
