// What an FTP control connection says, taken apart without any I/O: reply lines gathered into
// complete replies (multi-line replies, continuation lines without a code, the greeting and
// stray text set aside), the address of a PASV answer and the entries of a LIST answer.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <cstdint>
#include <deque>
#include <vector>

// One reply: its code (negative while a multi-line reply is still open) and its text.
struct tagFtpReply {
    int32_t code = 0;
    CString text;
};

// A PASV result or PORT argument: the address bytes as written, and the port.
struct tagFtpHostPort {
    uint8_t h[4] = {};
    uint16_t port = 0;
};

// One directory entry of a listing.
struct tagFtpEntry {
    static constexpr int32_t kDir = 1;
    static constexpr int32_t kFile = 2;

    int32_t type = 0;
    CString name;
    CString directory; // the directory it was listed in (recursive listings only)
    int64_t size = 0;  // bytes
};

class KSOVRA20_API FtpReplyParser {
public:
    // The client's own code for a lost connection.
    static constexpr int32_t kLostCode = 600;
    // Unread replies beyond this many push out the oldest.
    static constexpr size_t kMaxQueued = 11;

    // What one line did: the texts to hand to the line-received and line-discarded hooks
    // (in that order) and whether a reply became complete.
    struct Outcome {
        bool received = false;
        CString receivedText;
        bool discarded = false;
        CString discardedText;
        bool completed = false;
    };

    // Files one line read from the control connection.
    Outcome Feed(CString line);
    // Queues the lost-connection reply, complete.
    void AddLost();
    // Takes the oldest reply when it is complete; false otherwise (an open reply stays).
    bool Take(tagFtpReply &reply);
    // Empties the queue; the texts of the replies dropped, oldest first.
    std::vector<CString> Clear();
    size_t Size() const { return m_replies.size(); }
    const std::deque<tagFtpReply> &Replies() const { return m_replies; }

private:
    std::deque<tagFtpReply> m_replies; // oldest first
};

// The host and port of a 227 reply's text: what lies between "(" and ")" read as six
// numbers separated by commas. False when six numbers are not there.
KSOVRA20_API bool ParsePasvReply(const CString &text, tagFtpHostPort &hostPort);

// One line of a LIST answer in the Unix long form: permissions, links, owner, group, size,
// month, day, time or year, then the name (which may hold blanks). False when a field is
// missing, the size is no number or the name is empty.
KSOVRA20_API bool ParseListLine(CString line, tagFtpEntry &entry);
