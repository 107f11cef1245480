// One accepted HTTP connection: reads one request (request line and headers, never a body),
// hands it to the first live CHttpService record whose path and method fit, and closes. The
// handler answers through SendXml or SendHtml; without a record the answer is 204. Every
// answer says "Connection: close".
#pragma once

#include "KestLib20/CSimplexStringMap.h"
#include "devext/Devext20Api.h"
#include "devext/device/CTcpSession.h"
#include "platform/String.h"

#include <cstdint>

class DEVEXT20_API CHttpShell : public CTcpSession {
public:
    // Method codes of the method table; a record's mask is an OR of them.
    enum Method : int32_t {
        GET = 0x001,
        HEAD = 0x002,
        POST = 0x004,
        PUT = 0x008,
        PATCH = 0x010,
        COPY = 0x020,
        MOVE = 0x040,
        DELETE = 0x080,
        LINK = 0x100,
        UNLINK = 0x200,
        OPTION = 0x400,
    };
    // A request line or header line longer than this fails the request.
    static constexpr int kMaxLineLength = 8192;
    // More header lines than this fail the request.
    static constexpr int kMaxHeaderLines = 256;
    // Time a client has to send its request line and headers, counted from when the shell starts
    // reading; an idle or slow client is then disconnected and holds the service no longer.
    static constexpr uint32_t kRequestHeadMs = 10000;

    // Takes over the accepted socket.
    explicit CHttpShell(SOCKET s);
    ~CHttpShell() override;

    // Serves one request: 1 when a record matched (whether or not its handler ran), 0 when
    // the request could not be read or no record matched.
    int DoShell() override;

    // A complete 200 response with the text as body (to a HEAD request its head only, with
    // the body's length); 1 (send failures are not looked at).
    int SendXml(const CString &text);
    int SendHtml(const CString &text);
    // File answers are not offered: nothing is sent, 0.
    int SendXmlFile(const char *path);
    int SendHtmlFile(const char *path);
    int SendImageFile(const char *path);

    // The code of a method name: the table row by exact name, by name without regard to case,
    // by either name containing the other, by first character, else GET.
    static int32_t MethodCode(const char *name);

    // The request as read: headers (trimmed names and values), query parameters (the first
    // key keeps its leading '?'), the path (trimmed) and the method code.
    const CSimplexStringMap &GetHeaders() const { return m_headers; }
    const CSimplexStringMap &GetParams() const { return m_params; }
    const CString &GetUrl() const { return m_strUrl; }
    int32_t GetMethod() const { return m_nMethod; }

private:
    int ParseRequest();
    int ParseRequestHead();
    // One line of at most kMaxLineLength bytes: its length, or -1 (no line, too long).
    int ReadRequestLine(CString &line, CRecvBuffer &received);
    void SendStatus(int code, const char *reason);
    void SendEntity(int length, const char *contentType);
    void SendText(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void SendCrLf();
    int SendBody(const CString &text, const char *contentType);

    CSimplexStringMap m_headers;
    CSimplexStringMap m_params;
    CString m_strUrl;
    int32_t m_nMethod = 0;
};
