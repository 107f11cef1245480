// The user store interface: rights as the union of the user's groups, the failing base store
// that a host replaces, the three encodings, and MD5 digests of memory, files and pieces.
#include "ServicesTestKit.h"

#include "devext/services/CMD5.h"
#include "devext/services/CSecurityA.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <string>
#include <system_error>

using namespace services_test;

namespace {

// A store held in memory, as a host program would supply one.
class CMemoryStore : public CSecurityA {
public:
    std::map<std::string, std::vector<std::string>> userGroups;
    std::map<std::string, CSecRight<4>> groupRights;

    int GetUserDescription(const char *user, CString &text) override
    {
        if (!userGroups.count(user)) return 0;
        text = user;
        return 1;
    }
    int GetGrpList(CStringArray &groups, const char *user) override
    {
        groups.RemoveAll();
        if (!userGroups.count(user)) return 0;
        for (const std::string &group : userGroups[user]) groups.Add(group.c_str());
        return 1;
    }
    int GetGrpRight(const char *group, CSecRight<4> &right) override
    {
        right = groupRights[group];
        return 1;
    }
};

std::string Bytes(const CString &text)
{
    return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

} // namespace

TEST(UserStore, UserRightsAreTheUnionOfTheGroups)
{
    CMemoryStore store;
    store.userGroups["ann"] = {"news", "tech"};
    store.userGroups["bob"] = {};
    store.groupRights["news"].m_dwRight[0] = 0x0F;
    store.groupRights["news"].m_dwRight[3] = 0x80000000u;
    store.groupRights["tech"].m_dwRight[0] = 0xF1;
    store.groupRights["tech"].m_dwRight[2] = 0x2;

    CSecRight<4> right;
    right.m_dwRight[1] = 0xDEAD; // stale bits must go
    EXPECT_EQ(store.GetUserRight("ann", right), 2);
    EXPECT_EQ(right.m_dwRight[0], 0xFFu);
    EXPECT_EQ(right.m_dwRight[1], 0u);
    EXPECT_EQ(right.m_dwRight[2], 0x2u);
    EXPECT_EQ(right.m_dwRight[3], 0x80000000u);
    EXPECT_EQ(store.GetUserRight("bob", right), 0);
    EXPECT_EQ(right, CSecRight<4>{});
    EXPECT_EQ(store.IsUserExist("ann"), 1);
    EXPECT_EQ(store.IsUserExist("eve"), 0);
}

TEST(UserStore, TheBaseStoreHasNoUsersGroupsOrRightsAndIsMadeByName)
{
    CSecurityA plain;
    CSecRight<4> right;
    right.m_dwRight[0] = 7;
    EXPECT_EQ(plain.GetUserRight("anyone", right), 0);
    EXPECT_EQ(right, CSecRight<4>{});
    EXPECT_EQ(plain.IsUserExist("anyone"), 0);
    EXPECT_EQ(plain.IsGroupExist("anyone"), 0);
    EXPECT_EQ(plain.Check("anyone", "secret"), 0);
    EXPECT_EQ(plain.NewUser("anyone"), 0);
    EXPECT_EQ(plain.GetLastError(), 0);

    iRtc *rtc = CKestRtc::vFindByNames("CSecurityA");
    ASSERT_EQ(rtc, CSecurityA::GetClassID());
    EXPECT_STREQ(rtc->GetClassInfoA()->lpszDescription, "CSecurityA");
    void *made = rtc->CreateInstance(nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(rtc->DeleteInstance(made), 1);
}

TEST(Encode, ChainedXorKeepsTheLengthAndRestartsTheKey)
{
    EXPECT_EQ(Bytes(CSecurityA::Encode("abc", 1)), "\x7D\x61\x7F");
    EXPECT_EQ(Bytes(CSecurityA::Encode("", 1)), "");
    EXPECT_EQ(Bytes(CSecurityA::Encode("\x1E", 1)), std::string(1, '\0'))
        << "a zero output byte is kept";

    const std::string text31(31, 'A');
    const std::string text32(32, 'A');
    EXPECT_EQ(Bytes(CSecurityA::Encode(text31.c_str(), 1))[0], 'A' ^ 31) << "running value 0";
    const std::string out = Bytes(CSecurityA::Encode(text32.c_str(), 1));
    ASSERT_EQ(out.size(), 32u);
    EXPECT_EQ(out[0], 'A' ^ 31 ^ 1) << "running value 32 mod 31";
    const int key32 = static_cast<unsigned char>(out[31]) ^ (out[30] & 0x1F) ^ 'A';
    EXPECT_EQ(key32, 31) << "the key starts again after 1";
}

TEST(Encode, IndexedXorAndMd5AndUnknownMethods)
{
    EXPECT_EQ(std::string(CSecurityA::Encode("abc", 2)), "0F0E0D0C0B0A09080706050403616361");
    EXPECT_EQ(std::string(CSecurityA::Encode("", 2)), "0F0E0D0C0B0A09080706050403020100");
    EXPECT_EQ(CSecurityA::Encode("0123456789abcdefXXXX", 2),
              CSecurityA::Encode("0123456789abcdefYYYY", 2))
        << "only the first 16 bytes count";
    EXPECT_EQ(std::string(CSecurityA::Encode("abc", 0)), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(std::string(CSecurityA::Encode("abc", 7)), "Error");
    EXPECT_EQ(std::string(CSecurityA::Encode("abc", -1)), "Error");
}

TEST(Md5, KnownDigestsWholeAndInPieces)
{
    const std::pair<std::string, std::string> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &[text, digest] : vectors) {
        EXPECT_EQ(std::string(CMD5::Digest(text.data(), text.size())), digest) << text;
        CMD5 pieces;
        for (size_t at = 0; at < text.size(); at += 7)
            pieces.Update(text.data() + at, std::min<size_t>(7, text.size() - at));
        EXPECT_EQ(std::string(pieces.Final()), digest) << "in pieces: " << text;
    }
    CMD5 again;
    again.Update("abc", 3);
    again.Final();
    EXPECT_EQ(std::string(again.Final()), "d41d8cd98f00b204e9800998ecf8427e")
        << "a digest once taken starts a new one";
}

TEST(Md5, FilesFromTheirPositionAndMissingFiles)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 3000; ++i) big += static_cast<char>(i * 7);
    WriteFile(dir / "data.bin", big);
    EXPECT_EQ(CMD5::DigestFile((dir / "data.bin").c_str()), CMD5::Digest(big.data(), big.size()));

    CStdioFile file;
    ASSERT_TRUE(
        file.Open((dir / "data.bin").c_str(), CStdioFile::modeRead | CStdioFile::typeBinary));
    file.Seek(1000, CStdioFile::begin);
    EXPECT_EQ(CMD5::Digest(file), CMD5::Digest(big.data() + 1000, big.size() - 1000));

    EXPECT_THROW(CMD5::DigestFile((dir / "missing.bin").c_str()), std::system_error);
}

TEST(Md5, AReadErrorGivesNoDigest)
{
    TempDir dir;
    WriteFile(dir / "data.bin", std::string(3000, 'x'));
    CStdioFile writeOnly;
    ASSERT_TRUE(writeOnly.Open((dir / "data.bin").c_str(), CStdioFile::modeWrite |
                                                               CStdioFile::modeNoTruncate |
                                                               CStdioFile::typeBinary));
    EXPECT_THROW(CMD5::Digest(writeOnly), std::system_error) << "the first read fails";

    // Our own memory read up to a page that is not mapped: the reads fail part-way.
    const long page = sysconf(_SC_PAGESIZE);
    void *pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(munmap(static_cast<char *>(pages) + page, page), 0);
    CStdioFile memory;
    ASSERT_TRUE(memory.Open("/proc/self/mem", CStdioFile::modeRead | CStdioFile::typeBinary));
    const int64_t from = reinterpret_cast<intptr_t>(pages) + page - 3000;
    ASSERT_EQ(memory.Seek(from, CStdioFile::begin), static_cast<uint64_t>(from));
    EXPECT_THROW(CMD5::Digest(memory), std::system_error);
    munmap(pages, page);
}
