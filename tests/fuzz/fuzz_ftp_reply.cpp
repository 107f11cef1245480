// The FTP control connection's reply parser fed arbitrary lines, and the PASV and LIST line
// readers on each: the queue stays bounded, only complete replies are handed out, and an
// entry read from a listing has a name and a size that is no less than zero.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/sources/ftp/FtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    FtpReplyParser parser;
    for (const std::string &line : fuzz::Lines(in.Rest())) {
        const CString text(line.c_str());
        parser.Feed(text);
        FUZZ_CHECK(parser.Size() <= FtpReplyParser::kMaxQueued + 1);
        if (line.size() % 3 == 0) {
            tagFtpReply reply;
            while (parser.Take(reply)) FUZZ_CHECK(reply.code >= 0);
        }
        tagFtpHostPort hostPort;
        ParsePasvReply(text, hostPort);
        tagFtpEntry entry;
        if (ParseListLine(text, entry)) {
            FUZZ_CHECK(!entry.name.IsEmpty());
            FUZZ_CHECK(entry.size >= 0);
        }
    }
    parser.AddLost();
    tagFtpReply reply;
    bool lost = false;
    while (parser.Take(reply)) lost = reply.code == FtpReplyParser::kLostCode;
    FUZZ_CHECK(lost || parser.Size() > 0);
    return 0;
}
