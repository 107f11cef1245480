#include "devext/services/CSecurityA.h"

#include "KestLib20/StringConvert.h"
#include "devext/services/CMD5.h"

#include <cstring>

IMPLEMENT_KEST_CLASS(CSecurityA, CClassA)

int CSecurityA::GetUIDList(CStringArray &, const char *)
{
    return 0;
}
int CSecurityA::Check(const char *, const char *)
{
    return 0;
}
int CSecurityA::ModifyPSW(const char *, const char *)
{
    return 0;
}
int CSecurityA::GetUserDescription(const char *, CString &)
{
    return 0;
}
int CSecurityA::SetUserDescription(const char *, const char *)
{
    return 0;
}
int CSecurityA::NewUser(const char *)
{
    return 0;
}
int CSecurityA::DeleteUser(const char *)
{
    return 0;
}
int CSecurityA::GetGrpList(CStringArray &, const char *)
{
    return 0;
}
int CSecurityA::AddUserToGrp(const char *, const char *)
{
    return 0;
}
int CSecurityA::RemoveUserFromGrp(const char *)
{
    return 0;
}
int CSecurityA::NewGrp(const char *)
{
    return 0;
}
int CSecurityA::DeleteGrp(const char *)
{
    return 0;
}
int CSecurityA::GetGrpRight(const char *, CSecRight<4> &)
{
    return 0;
}
int CSecurityA::SetGrpRight(const char *, CSecRight<4> &)
{
    return 0;
}
int CSecurityA::GetGrpDescription(const char *, CString &)
{
    return 0;
}
int CSecurityA::SetGrpDescription(const char *, const char *)
{
    return 0;
}

int CSecurityA::IsUserExist(const char *user)
{
    CString scratch;
    return GetUserDescription(user, scratch);
}

int CSecurityA::IsGroupExist(const char *group)
{
    CString scratch;
    return GetGrpDescription(group, scratch);
}

int CSecurityA::GetUserRight(const char *user, CSecRight<4> &right)
{
    CStringArray groups;
    GetGrpList(groups, user);
    right.Clear();
    CSecRight<4> scratch;
    for (const CString &group : groups) {
        GetGrpRight(group, scratch);
        right |= scratch;
    }
    return groups.GetSize();
}

namespace {

constexpr int kXorKeyStart = 31;
constexpr int kIndexedBlock = 16;

CString ChainedXor(const char *text)
{
    const size_t n = std::strlen(text);
    CString result;
    char *out = result.GetBufferSetLength(static_cast<int>(n));
    unsigned running = static_cast<unsigned>(n % 31);
    unsigned key = kXorKeyStart;
    for (size_t i = 0; i < n; ++i) {
        const unsigned byte = static_cast<unsigned char>(text[i]) ^ key ^ running;
        out[i] = static_cast<char>(byte);
        running = byte & 0x1F;
        key = key == 1 ? kXorKeyStart : key - 1;
    }
    return result;
}

CString IndexedXor(const char *text)
{
    unsigned char block[kIndexedBlock] = {};
    std::strncpy(reinterpret_cast<char *>(block), text, kIndexedBlock);
    for (int i = 0; i < kIndexedBlock; ++i) block[i] ^= static_cast<unsigned char>(i);
    return Bin2String(block, kIndexedBlock);
}

} // namespace

CString CSecurityA::Encode(const char *text, int method)
{
    if (!text) text = "";
    switch (method) {
    case kEncodeMD5:
        return CMD5::Digest(text, std::strlen(text));
    case kEncodeChainedXor:
        return ChainedXor(text);
    case kEncodeIndexedXor:
        return IndexedXor(text);
    default:
        return "Error";
    }
}
