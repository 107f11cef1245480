#include "Kest20/CLogReader.h"

#include "Kest20/LogMsgThrd.h"

CLogReader::CLogReader(const char *type, int32_t mode) : CLogReader(type, mode, SubscribeLater{})
{
    Subscribe();
}

CLogReader::CLogReader(const char *type, int32_t mode, SubscribeLater)
    : m_strType(type ? type : ""), m_nMode(mode)
{
}

CLogReader::CLogReader(tagOnRecvLog handler) : m_handler(std::move(handler)) {}

CLogReader::~CLogReader()
{
    Unsubscribe();
}

int CLogReader::Modify(const char *type, int32_t mode)
{
    m_strType = type ? type : "";
    m_nMode = mode;
    return Subscribe();
}

int CLogReader::Subscribe()
{
    Unsubscribe();
    m_nHandle = glRegisterLogProcessUnit(m_strType.c_str(), &static_On_ReceiveLog, this, m_nMode);
    return 1;
}

void CLogReader::Unsubscribe()
{
    if (m_nHandle < 0) return;
    glUnregisterLogProcessUnit(m_nHandle);
    m_nHandle = -1;
}

int CLogReader::static_On_ReceiveLog(void *reader, const char *type, const char *text,
                                     const char *info)
{
    return reader ? static_cast<CLogReader *>(reader)->OnRecvLog(type, text, info) : 0;
}

int CLogReader::OnRecvLog(const char *type, const char *text, const char *info)
{
    return m_handler ? m_handler(type, text, info) : 0;
}

CLogMsg::CLogMsg(const char *type) : CLogMsg(tagOnRecvLog(), type) {}

CLogMsg::CLogMsg(tagOnRecvLog handler, const char *type)
    : CLogReader(std::move(handler)),
      // The queue thread keeps its own copy of the handler: once given up it may outlive us.
      m_pQueue(std::make_unique<CMsgThrd>([handler = GetHandler()](const LogMsg &msg) {
          if (handler)
              CallLogHandler("Log", msg.type, msg.text,
                             [&] { return handler(msg.type, msg.text, msg.info); });
      }))
{
    Modify(type, LOG_MODE_EXACT);
}

CLogMsg::~CLogMsg()
{
    // No message may come in while the queue goes (with this object).
    Unsubscribe();
}

int CLogMsg::OnRecvLog(const char *type, const char *text, const char *info)
{
    m_pQueue->Post(type, text, info);
    return 1;
}

int CLogMsg::Stop()
{
    m_pQueue->DropAndStop();
    return 1;
}
