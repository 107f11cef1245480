// The interface of a user and group store: users with descriptions and passwords, groups
// with descriptions and a right mask each, and membership. A user's rights are the union of
// the rights of the user's groups. Every store operation of the class itself fails (a host
// program derives the store); Encode turns a text such as a password into an encoded text.
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

// A right mask of N 32-bit words.
template <int N> struct CSecRight {
    uint32_t m_dwRight[N] = {};

    void Clear()
    {
        for (uint32_t &word : m_dwRight) word = 0;
    }
    CSecRight &operator|=(const CSecRight &other)
    {
        for (int i = 0; i < N; ++i) m_dwRight[i] |= other.m_dwRight[i];
        return *this;
    }
    bool operator==(const CSecRight &) const = default;
};

class DEVEXT20_API CSecurityA : public CClassA {
    DECLARE_KEST_CLASS(CSecurityA)

    // Encoding methods of Encode.
    static constexpr int kEncodeMD5 = 0;
    static constexpr int kEncodeChainedXor = 1;
    static constexpr int kEncodeIndexedXor = 2;

    // Each returns 1 when done; the class itself does nothing and returns 0.
    virtual int GetUIDList(CStringArray &ids, const char *group);
    virtual int Check(const char *user, const char *password);
    virtual int ModifyPSW(const char *user, const char *password);
    // Succeeds only for an existing user.
    virtual int GetUserDescription(const char *user, CString &text);
    virtual int SetUserDescription(const char *user, const char *text);
    virtual int NewUser(const char *user);
    virtual int DeleteUser(const char *user);
    virtual int GetGrpList(CStringArray &groups, const char *user);
    virtual int AddUserToGrp(const char *user, const char *group);
    virtual int RemoveUserFromGrp(const char *user);
    virtual int NewGrp(const char *group);
    virtual int DeleteGrp(const char *group);
    virtual int GetGrpRight(const char *group, CSecRight<4> &right);
    virtual int SetGrpRight(const char *group, CSecRight<4> &right);
    // Succeeds only for an existing group.
    virtual int GetGrpDescription(const char *group, CString &text);
    virtual int SetGrpDescription(const char *group, const char *text);

    int IsUserExist(const char *user);
    int IsGroupExist(const char *group);
    // The union of the rights of the user's groups; the number of groups.
    int GetUserRight(const char *user, CSecRight<4> &right);
    int32_t GetLastError() const { return m_nLastError; }

    // 0: MD5 in lower-case hexadecimal; 1: chained XOR (as many bytes as the text); 2: the
    // first 16 bytes XORed with their index, in upper-case hexadecimal, last byte first;
    // any other method: "Error".
    static CString Encode(const char *text, int method);

protected:
    int32_t m_nLastError = 0;
};
