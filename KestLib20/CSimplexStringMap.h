// An ordered map from names to texts (names compare ignoring case, GBK-aware), read from and
// written to the property form <Com="1" Decoder="2"> and the URL parameter form a=1&b=2.
#pragma once

#include "KestLib20/IStringAccess.h"
#include "KestLib20/KestLibApi.h"
#include "platform/Collections.h"
#include "platform/String.h"

class KESTLIB_SHARED_TYPE CSimplexStringMap {
public:
    // The value; a missing key is appended with an empty value.
    CString &ElementAt(const char *key);
    int Lookup(const char *key, CString &value) const;
    void SetAt(const char *key, const char *value);
    void RemoveAt(const char *key);
    void RemoveAll();
    // Typed access to ElementAt(key), so the key is added when missing.
    CStringAccess operator[](const char *key);
    // The value, or an empty text for a missing key (nothing is added).
    CString operator[](const char *key) const;
    void Copy(const CSimplexStringMap &other);

    int GetCount() const { return m_keys.GetSize(); }
    const CStringArray &GetKeys() const { return m_keys; }
    const CStringArray &GetValues() const { return m_values; }

    // Replaces the contents with the properties of the text (StringAnalysis_XmlProp); its answer.
    int SetAsXmlProp(const char *text);
    // name="value" for every pair, separated by single spaces, double quotes in values made
    // apostrophes; wrapped in <>, [] or {} when bracket is '<', '[' or '{'.
    CString GetAsXmlProp(int bracket = 0) const;
    // Replaces the contents with the parameters of the text (StringAnalysis_UrlParam); the
    // number of pairs.
    int SetAsUrlParam(const char *text);
    // name=value for every pair, joined by "&", without quoting; flags unused.
    CString GetAsUrlParam(int flags = 0) const;

private:
    int Find(const char *key) const;

    CStringArray m_keys;
    CStringArray m_values;
};
