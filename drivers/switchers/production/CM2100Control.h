// The M2100 control object: the one protocol object of an M2100 line, which the switcher and
// its keyer share through the process-wide pool (one object per port, with a use count). It
// builds the packets of every operation, runs one request at a time, and keeps the state the
// switcher's reply items report.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/production/M2100Packet.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class KSOVRA20_API CM2100Control : public CAnsweringSwitchIO<m2100::CDecoder> {
public:
    static constexpr uint32_t kReplyMs = 1000;
    static constexpr uint32_t kCheckIntervalMs = 3000;
    static constexpr uint32_t kKeyPauseMs = 100;

    explicit CM2100Control(uint16_t port);
    ~CM2100Control() override;

    // Closes the line: last result 0, last time now.
    int Close();
    // Opens the line (1 at once when open).
    int Open();
    int IsOpen() { return DevIsOpen(); }
    uint16_t GetPort() const { return GetSetting().nPort; }
    // The last result.
    int Connected() const { return m_nLastResult.load(); }
    // Within 3000 ms of the last result: that result; else opens and queries the status, and
    // records whether the query was answered as the new last result.
    int Check();

    // The queries wait for the switcher's reply packet whatever the reply setting: the
    // value comes only from that reply. 0 (and the value untouched) when none came.
    int QueryStatus(int &status);
    int QuerySource(int bus, int &source);
    int QueryKeyMask(int &mask);
    int Query0B(int &value);

    int SelectSource(int bus, int source, int value);
    int Command01(int value);
    int Command02(int value);
    // Stored on success.
    int SetTransRate(int rate, int value);
    int SetTransType(int type);
    int Take();
    void SetContinuous(bool on) { m_bContinuous = on; }
    void SetWaitForReply(bool on) { m_bWaitForReply = on; }

    // Key `key` (1-based) on for a nonzero `operation`, else off.
    int SetOneKey(int key, int operation);
    // Each (key, operation) into the key mask the switcher reports; 1 without sending when
    // the mask stays as it is.
    int SetKeys(const std::vector<std::pair<int, int>> &keys);

    // The state from the reply items so far.
    m2100::Items GetState() const;

    // Flushes nothing: a packet sent without awaiting its reply may still be on its way out,
    // and the next request must not drop it. Each try starts on an empty decoder instead.
    int DevFlush(int) override { return 1; }

protected:
    // Reply packets' items go into the state; a query is answered by its reply packet, a set
    // by an acknowledgement (a refusal refuses). A query's wait does not end on a late
    // acknowledge of an earlier set that awaited none.
    std::optional<ReplyCheck> Read(const std::vector<m2100::Event> &events) override;

private:
    // One set packet; with the reply setting on, acknowledged within the reply wait.
    int Set(const m2100::Bytes &commands);
    // One query packet and its reply's items.
    int Query(const m2100::Bytes &commands, m2100::Items &items);
    // The request of Set and Query, alone on the line.
    int Send(const m2100::Bytes &packet, bool awaitReply, m2100::Items *items);
    void Record(int result);

    std::atomic<int> m_nBusy{0};
    std::atomic<bool> m_bWaitForReply{false};
    std::atomic<bool> m_bContinuous{false};
    std::atomic<int> m_nLastResult{0};
    std::atomic<uint32_t> m_dwLastTime{0};
    m2100::Items m_state;         // under the receive lock
    m2100::Items m_reply;         // under the receive lock: the items of the awaited reply
    bool m_bAcknowledged = false; // under the receive lock
    bool m_bReplied = false;      // under the receive lock: a reply packet came
    bool m_bAwaitPacket = false;  // under the receive lock: the request is a query
};

// A device's hold on the control object of its port, which the switcher and the keyer of one
// line share: taken from the pool when the device opens, given back when it closes. The
// object is jointly owned by the pool and by whoever uses it: a request keeps it alive until it
// ends, whoever closes meanwhile.
class KSOVRA20_API CM2100Link {
public:
    CM2100Link() = default;
    CM2100Link(const CM2100Link &) = delete;
    CM2100Link &operator=(const CM2100Link &) = delete;
    // Gives the control object back.
    ~CM2100Link();

    // Takes the control object of `port` from the pool when none is held and hands it the
    // reply settings; unless it is connected, opens the line and checks it. The device
    // status that tells how it went: 0, 3 for a line that does not open, 5 for a switcher
    // that does not answer.
    int32_t Open(uint16_t port, bool continuous, bool retCheck);
    // Gives the control object back to the pool (nothing when none is held).
    void Release();
    // The control object held, or null; keep it for one operation.
    std::shared_ptr<CM2100Control> Get();
    // Its connected value; 0 without one.
    int Connected();

private:
    std::mutex m_lock;
    std::shared_ptr<CM2100Control> m_pControl; // from the pool while held
};

// The process-wide pool of control objects, one per port.
class KSOVRA20_API CM2100Pool {
public:
    static CM2100Pool &Get();

    // The control object of `port`, its use count raised (a new one with count 1).
    std::shared_ptr<CM2100Control> Acquire(uint16_t port);
    // Lowers the count; at 0 the object leaves the pool and is closed. It is freed once no
    // one uses it any more.
    void Release(uint16_t port);
    // The use count of `port` (0: none in the pool).
    int UseCount(uint16_t port) const;

    ~CM2100Pool();

private:
    CM2100Pool() = default;
    struct Entry {
        std::shared_ptr<CM2100Control> control;
        int uses;
    };
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};
