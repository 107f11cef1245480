// The serial protocol object of a ThomsonAIR tape robot: it owns the robot's RS-422 line,
// sends one command of the fixed command table at a time and waits for the robot's answer,
// and hands the messages that the robot sends by itself (doors, load port) to a handler.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/sources/robot/TapeRobotFrame.h"
#include "platform/String.h"

#include <cstdint>
#include <functional>
#include <vector>

class KSOVRA20_API CSerialTapeRobot : public CSerialIO {
    DECLARE_KEST_CLASS(CSerialTapeRobot)

    // Called on the line's receive thread with the id of each robot message (33 to 46).
    using MessageHandler = std::function<void(int32_t id)>;

    CSerialTapeRobot();
    ~CSerialTapeRobot() override;

    // Set before the port opens; an empty handler drops the messages.
    void SetMessageHandler(MessageHandler handler);

    int OnRecvData(int port, pointer_t &data) override;

    // Commands without parameters: 1, 2, 3, 7, 8, 11, 12, 13 and 21 succeed when carried
    // out, 10 and 14 on a data reply (kept as the last reply).
    int32_t Run(int32_t id);
    // Command `id` as Run, unless another command awaits its reply (up to minutes for a
    // cassette move): then nothing is sent, `busy` is set and the result is 0.
    int32_t RunUnlessBusy(int32_t id, bool &busy);
    // Command 4: the robot takes no parameters, whatever the caller passes.
    int32_t Run4(uint8_t a, uint8_t b);
    // Command 5: bay digit, gripper letter, action ("P" take, "M" put).
    int32_t BayGripper(int32_t bay, char gripper, char action);
    // Command 6: row letter, two-digit column, gripper letter, action.
    int32_t ShelfGripper(char row, int32_t column, char gripper, char action);
    // Commands with one (16, 17, 19, 23) or two (9, 18, 20, 24) parameter bytes.
    int32_t Run1(int32_t id, uint8_t a);
    int32_t Run2(int32_t id, uint8_t a, uint8_t b);
    // Command 15, framed by hand: 40 2A, digits a and b, 3A when `position`, digits c and d,
    // byte e, and 44 inserted at `dOffset` of the parameters (none when out of range).
    int32_t Run15(int32_t a, int32_t b, bool position, int32_t c, int32_t d, uint8_t e,
                  int32_t dOffset);
    // Command 22 is not sent: 1.
    int32_t Run22() { return 1; }
    // Status query 25, 26 or 27 (type 0, 1, 2): the first 8 data bytes as two values.
    int32_t QueryStatus(int32_t type, uint32_t &first, uint32_t &second);
    // Command 28: the label of a shelf cell (8 characters).
    int32_t ReadLabel(char row, int32_t column, CString &label);
    // Commands 29 and 30 with one parameter byte: the first data byte.
    int32_t Query1(int32_t id, uint8_t a, uint8_t &value);
    // Command 31: two values; command 32: the shelf presence map.
    int32_t Query31(uint32_t &first, uint32_t &second);
    int32_t ReadPresenceMap(uint32_t &map);

    // The data of the last data reply.
    std::vector<uint8_t> GetReplyData() const;
    // The classification of the last answer (taperobot::Result), 0 before any.
    int32_t GetLastResult() const;

private:
    // Frames command `id`, sends it once and waits for its reply. 1 when the reply is the
    // command's success.
    int32_t Send(int32_t id, const uint8_t *params, int n);
    int32_t SendFrame(int32_t id, const uint8_t *frame, int length, uint32_t timeoutMs);
    // The data bytes of the last reply as `count` values of 32 bits
    // (little-endian; bytes the reply did not carry read 0).
    void DataValues(uint32_t *values, int count) const;

    mutable CDataLock m_StateLock;
    MessageHandler m_Handler;
    // Guarded by the state lock.
    taperobot::CBlockDecoder m_decoder;
    int32_t m_nResult = 0;
    std::vector<uint8_t> m_Reply;
};
