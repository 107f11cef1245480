#include "KestLib20/CSimplexStringMap.h"

#include "KestLib20/StringAnalysis.h"
#include "KestLib20/StringConvert.h"

int CSimplexStringMap::Find(const char *key) const
{
    for (int i = 0; i < m_keys.GetSize(); ++i)
        if (m_keys[i].CompareNoCase(key ? key : "") == 0) return i;
    return -1;
}

CString &CSimplexStringMap::ElementAt(const char *key)
{
    int i = Find(key);
    if (i < 0) {
        i = m_keys.Add(key);
        m_values.Add(CString());
    }
    return m_values[i];
}

int CSimplexStringMap::Lookup(const char *key, CString &value) const
{
    const int i = Find(key);
    if (i < 0) return 0;
    value = m_values[i];
    return 1;
}

void CSimplexStringMap::SetAt(const char *key, const char *value)
{
    ElementAt(key) = value;
}

void CSimplexStringMap::RemoveAt(const char *key)
{
    const int i = Find(key);
    if (i < 0) return;
    m_keys.RemoveAt(i);
    m_values.RemoveAt(i);
}

void CSimplexStringMap::RemoveAll()
{
    m_keys.RemoveAll();
    m_values.RemoveAll();
}

CStringAccess CSimplexStringMap::operator[](const char *key)
{
    return CStringAccess(&ElementAt(key));
}

CString CSimplexStringMap::operator[](const char *key) const
{
    const int i = Find(key);
    return i < 0 ? CString() : m_values[i];
}

void CSimplexStringMap::Copy(const CSimplexStringMap &other)
{
    m_keys.Copy(other.m_keys);
    m_values.Copy(other.m_values);
}

int CSimplexStringMap::SetAsXmlProp(const char *text)
{
    return StringAnalysis_XmlProp(text, m_keys, m_values);
}

CString CSimplexStringMap::GetAsXmlProp(int bracket) const
{
    CString text;
    for (int i = 0; i < m_keys.GetSize(); ++i) {
        CString value = m_values[i];
        value.Replace('"', '\'');
        if (i > 0) text += ' ';
        text += m_keys[i] + "=\"" + value + '"';
    }
    return Bracketed(text, bracket);
}

int CSimplexStringMap::SetAsUrlParam(const char *text)
{
    return StringAnalysis_UrlParam(text, m_keys, m_values);
}

CString CSimplexStringMap::GetAsUrlParam(int /*flags*/) const
{
    CString text;
    for (int i = 0; i < m_keys.GetSize(); ++i) {
        if (i > 0) text += '&';
        text += m_keys[i] + '=' + m_values[i];
    }
    return text;
}
