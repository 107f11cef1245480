#include "devext/services/CHttpService.h"

#include "devext/services/CHttpShell.h"

IMPLEMENT_KEST_CLASS(CHttpService, CClassA)

CHttpService::CHttpService(const char *path, int methodMask, int option)
    : m_nMethodMask(methodMask), m_nOption(option), m_strPath(path ? path : "")
{
}

CHttpService::CHttpService(const CHttpService &other)
    : CClassA(other), m_nMethodMask(other.m_nMethodMask), m_nOption(other.m_nOption),
      m_strPath(other.m_strPath), m_pContext(other.m_pContext), m_pHandler(other.m_pHandler)
{
}

bool CHttpService::Matches(int method, const char *url) const
{
    if (m_nMethodMask != 0 && (m_nMethodMask & method) == 0) return false;
    return m_strPath.CompareNoCase(url ? url : "") == 0;
}

void CHttpService::Serve(CHttpShell &shell)
{
    if (m_pContext && m_pHandler) m_pHandler(this, &shell);
}
