#include "devext/services/CHttpShell.h"

#include "KestLib20/StringWords.h"
#include "KestLib20/string_traits.h"
#include "devext/services/CHttpService.h"
#include "platform/Gbk.h"
#include "platform/TimeSource.h"

#include <cstdarg>

namespace {

using KeyName = string_traits<char>::tagKeyName;

constexpr KeyName kMethods[] = {
    {CHttpShell::GET, "GET", nullptr},       {CHttpShell::HEAD, "HEAD", nullptr},
    {CHttpShell::POST, "POST", nullptr},     {CHttpShell::PUT, "PUT", nullptr},
    {CHttpShell::PATCH, "PATCH", nullptr},   {CHttpShell::COPY, "COPY", nullptr},
    {CHttpShell::MOVE, "MOVE", nullptr},     {CHttpShell::DELETE, "DELETE", nullptr},
    {CHttpShell::LINK, "LINK", nullptr},     {CHttpShell::UNLINK, "UNLINK", nullptr},
    {CHttpShell::OPTION, "OPTION", nullptr}, {0, nullptr, nullptr},
};

constexpr int kRequestBufferSize = 128;
constexpr const char *kServerName = "KEST";
constexpr const char *kMimeVersion = "1.0";
constexpr const char *kLanguage = "zh-cn";
// The texts' character set, named in the content type. (Content-encoding names a compression:
// a client that asks for compressed answers refuses an unknown one.)
constexpr const char *kCharset = "GB2312";

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

CHttpShell::CHttpShell(SOCKET s) : CTcpSession(s) {}

// The session's thread may still run this shell's DoShell until the stop has waited for it.
CHttpShell::~CHttpShell()
{
    Stop();
}

int32_t CHttpShell::MethodCode(const char *name)
{
    const KeyName *row = nullptr;
    if (kMethods[0].FindByName(name, &row, false)) return row->key;
    // Past the framework's lenient steps: the first row of the same first character (without
    // regard to case, as the steps before), else the first row.
    if (name && *name)
        for (const KeyName *r = kMethods; r->key; ++r)
            if (AsciiUpper(r->name[0]) == AsciiUpper(name[0])) return r->key;
    return kMethods[0].key;
}

int CHttpShell::ReadRequestLine(CString &line, CRecvBuffer &received)
{
    line.Empty();
    char piece[CTcpSocket::kLinePiece];
    for (;;) {
        const int r = Socket().ReadLine(piece, sizeof piece, received);
        if (r < 0 && r != CRecvBuffer::kPieceFull) return -1;
        line += piece;
        if (line.GetLength() > kMaxLineLength) return -1;
        if (r >= 0) return line.GetLength();
    }
}

int CHttpShell::ParseRequest()
{
    Socket().SetRecvDeadline(plat::MonotonicNanos() + uint64_t{kRequestHeadMs} * 1000000);
    const int parsed = ParseRequestHead();
    Socket().SetRecvDeadline(0);
    return parsed;
}

int CHttpShell::ParseRequestHead()
{
    CRecvBuffer received(kRequestBufferSize);
    CString line;
    if (ReadRequestLine(line, received) <= 0) return 0;

    CString method;
    GetFirstWord(line, method, ' ', true);
    m_nMethod = MethodCode(method);

    CString target;
    GetFirstWord(line, target, ' ', true);
    CString url;
    GetFirstWord(target, url, '?', true);
    m_strUrl = url.Trim();
    // The rest starts at the '?' that ended the path; its first key keeps that '?'.
    m_params.SetAsUrlParam(target);

    m_headers.RemoveAll();
    for (int count = 0;; ++count) {
        const int length = ReadRequestLine(line, received);
        if (length < 0 || count > kMaxHeaderLines) return 0;
        if (length == 0) return 1;
        const int colon = line.Find(':');
        if (colon <= 0) continue;
        CString name = line.Left(colon);
        CString value = line.Mid(colon + 1);
        name.Trim();
        value.Trim();
        if (!name.IsEmpty()) m_headers.SetAt(name, value);
    }
}

int CHttpShell::DoShell()
{
    if (!ParseRequest()) return 0;
    iRtc *rtc = CHttpService::GetClassID();
    const int32_t count = rtc->GetInstanceCount();
    for (int32_t i = 0; i < count; ++i) {
        void *entry = rtc->GetInstance(i);
        if (!entry) continue;
        auto *service = static_cast<CHttpService *>(static_cast<IClassA *>(entry));
        if (!service->Matches(m_nMethod, m_strUrl)) continue;
        service->Serve(*this);
        return 1;
    }
    // The end of the headers ends the answer: a 204 has no body.
    SendStatus(204, "No content");
    SendCrLf();
    return 0;
}

void CHttpShell::SendText(const char *format, ...)
{
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    Socket().Send(text.GetString(), text.GetLength());
}

void CHttpShell::SendStatus(int code, const char *reason)
{
    // The shell closes after one answer: said, so that a client does not send its next
    // request on this connection.
    SendText("HTTP/1.1 %d %s\r\nServer: %s\r\nMIME-version: %s\r\nConnection: close\r\n", code,
             reason, kServerName, kMimeVersion);
}

void CHttpShell::SendEntity(int length, const char *contentType)
{
    SendText("Content-length: %d\r\nContent-type: %s; charset=%s\r\nContent-language: %s\r\n",
             length, contentType, kCharset, kLanguage);
}

void CHttpShell::SendCrLf()
{
    Socket().Send("\r\n", 2);
}

int CHttpShell::SendBody(const CString &text, const char *contentType)
{
    // The body's bytes up to its first NUL, as a C text would hold them.
    const int length = static_cast<int>(strnlen(text.GetString(), text.GetLength()));
    SendStatus(200, "OK");
    SendEntity(length, contentType);
    SendCrLf();
    // The body ends the answer: nothing follows what Content-length declares. A HEAD request
    // gets the head of the same answer only.
    if (length > 0 && m_nMethod != HEAD) Socket().Send(text.GetString(), length);
    return 1;
}

int CHttpShell::SendXml(const CString &text)
{
    return SendBody(text, "text/xml");
}

int CHttpShell::SendHtml(const CString &text)
{
    return SendBody(text, "text/html");
}

int CHttpShell::SendXmlFile(const char *)
{
    return 0;
}

int CHttpShell::SendHtmlFile(const char *)
{
    return 0;
}

int CHttpShell::SendImageFile(const char *)
{
    return 0;
}
