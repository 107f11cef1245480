#include "drivers/sources/ftp/FtpReply.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int32_t kGreeting = 220;
constexpr int32_t kReadyIn = 120;
constexpr int32_t kFirstCode = 100;

// The next run of non-blanks from `at` on (blanks before it skipped); empty at the end.
CString NextWord(const CString &line, int &at)
{
    const int length = line.GetLength();
    while (at < length && line[at] == ' ') ++at;
    const int start = at;
    while (at < length && line[at] != ' ') ++at;
    return line.Mid(start, at - start);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

FtpReplyParser::Outcome FtpReplyParser::Feed(CString line)
{
    Outcome out;
    line.Trim(' ');
    if (line.GetLength() < 4) return out;
    out.received = true;
    out.receivedText = line;

    int32_t code = std::atoi(line.Left(3));
    bool continuation = false;
    if (line[3] == '-') {
        continuation = true;
        line = line.Mid(4);
    }
    if (code < kFirstCode && !m_replies.empty()) {
        continuation = true;
        code = std::abs(m_replies.back().code);
    }
    if (code == kGreeting || code == kReadyIn || code < kFirstCode) {
        out.discarded = true;
        out.discardedText = line;
        return out;
    }
    if (m_replies.size() >= kMaxQueued) m_replies.pop_front();

    if (!m_replies.empty() && m_replies.back().code < 0) {
        tagFtpReply &open = m_replies.back();
        const bool sameCode = code == -open.code;
        if (sameCode) open.text += line;
        if (continuation && sameCode) return out;
        // The closing line, or a line of another code, which ends the reply and is lost.
        open.code = -open.code;
        out.completed = true;
        return out;
    }
    m_replies.push_back({continuation ? -code : code, line});
    out.completed = !continuation;
    return out;
}

void FtpReplyParser::AddLost()
{
    m_replies.push_back({kLostCode, "Net work error"});
}

bool FtpReplyParser::Take(tagFtpReply &reply)
{
    if (m_replies.empty() || m_replies.front().code <= 0) return false;
    reply = m_replies.front();
    m_replies.pop_front();
    return true;
}

std::vector<CString> FtpReplyParser::Clear()
{
    std::vector<CString> texts;
    for (const tagFtpReply &reply : m_replies) texts.push_back(reply.text);
    m_replies.clear();
    return texts;
}

bool ParsePasvReply(const CString &text, tagFtpHostPort &hostPort)
{
    CString inner = text;
    const int open = inner.Find('(');
    if (open >= 0) inner = inner.Mid(open + 1);
    const int close = inner.Find(')');
    if (close >= 0) inner = inner.Left(close);
    int v[6] = {};
    if (std::sscanf(inner, "%d,%d,%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
        return false;
    for (int i = 0; i < 4; ++i) hostPort.h[i] = static_cast<uint8_t>(v[i]);
    hostPort.port = static_cast<uint16_t>(v[4] * 256 + (v[5] % 256));
    return true;
}

bool ParseListLine(CString line, tagFtpEntry &entry)
{
    line.Replace('\t', ' ');
    line.Trim(' ');
    int at = 0;
    CString fields[8];
    for (CString &field : fields) {
        field = NextWord(line, at);
        if (field.IsEmpty()) return false;
    }
    const CString &size = fields[4];
    if (!IsDigit(size[0])) return false;
    CString name = line.Mid(at);
    name.Trim(' ');
    if (name.IsEmpty()) return false;
    entry.type = fields[0][0] == 'd' ? tagFtpEntry::kDir : tagFtpEntry::kFile;
    entry.name = name;
    entry.directory.Empty();
    entry.size = std::strtoll(size, nullptr, 10);
    return true;
}
