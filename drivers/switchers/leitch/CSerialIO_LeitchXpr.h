// The protocol objects of the Leitch XPR routers on an RS-422 board port, 9600 baud: a take
// routes one source to one router output with a text line, written without awaiting an
// answer (answers are only noted), 100 ms before the next command. The four-level router
// takes "l<n>;s<source>;d<destination>" CR for each level in one write; the single-level
// router with 32 outputs takes one level's line with CR LF, written a byte at a time but for
// its last two bytes.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

class KSOVRA20_API CSerialIO_LeitchXprA : public CAnsweringSwitchIO<swio::CBlockDecoder> {
public:
    static constexpr uint32_t kSettleMs = 100;

    // Routes `source` to `destination` (both as sent): 0 when either is out of range (nothing
    // is sent) or when the line did not take the take; then the destination's last source is
    // left as it was. 1 once written.
    int SendTake(int source, int destination);
    // Asks the router ("R" CR) and answers the destination's last source as the last take
    // stored it (the answer is not read); 0 for a destination out of range.
    int QuerySource(int destination);
    int GetDestinations() const { return static_cast<int>(m_LastSources.size()); }
    int GetHighestSource() const { return m_nHighestSource; }
    // Whether the router has sent anything.
    bool GetReplyFlag() const { return m_bReply.load(); }

protected:
    // A block sets the reply flag; the routers' answers are only noted: each keeps the wait
    // going, so the wait is the pause after the line, which a close ends.
    std::optional<ReplyCheck> Read(const std::vector<Event> &) override
    {
        m_bReply = true;
        return ReplyCheck::KeepWaiting;
    }
    CSerialIO_LeitchXprA(int destinations, int highestSource);

    virtual std::string TakeLine(int source, int destination) const = 0;

private:
    // One try of the request loop whose reply wait is the pause: 0 when the line did not
    // take the line.
    int Send(const std::string &line);

    const int m_nHighestSource;
    std::vector<std::atomic<int>> m_LastSources;
    std::atomic<bool> m_bReply{false};
};

class KSOVRA20_API CSerialIO_LeitchXpr : public CSerialIO_LeitchXprA {
public:
    CSerialIO_LeitchXpr();
    ~CSerialIO_LeitchXpr() override;

protected:
    std::string TakeLine(int source, int destination) const override;
};

class KSOVRA20_API CSerialIO_LeitchXprAS : public CSerialIO_LeitchXprA {
public:
    CSerialIO_LeitchXprAS();
    ~CSerialIO_LeitchXprAS() override;

protected:
    std::string TakeLine(int source, int destination) const override;
    // Every byte but the last two by itself (a failed one ends it), then those two together.
    int DevWrite(const char *data, int length) override;
};
