// The virtual resource tree: key parsing, providers mounted at roots, the first provider that
// serves a shape answering alone, enumeration, the settings-file and environment branches.
#include "tests/KestLib20/ResourceTreeTest.h"

#include "KestLib20/CEnvAccessX.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/IResProvider.h"
#include "KestLib20/KestNamedPtr.h"
#include "platform/Process.h"
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

Strings Parse(const char *path, int slots = IResProvider::kKeySlots)
{
    std::string copy(path);
    std::vector<const char *> parts(static_cast<size_t>(slots));
    int count = slots;
    EXPECT_EQ(IResProvider::AnalysisKey(copy.data(), parts.data(), count, 1), count);
    EXPECT_EQ(parts[static_cast<size_t>(count)], nullptr);
    return Strings(parts.begin(), parts.begin() + count);
}

Strings Items(const CStringArray &list)
{
    return Strings(list.begin(), list.end());
}

// Serves every key of two parts (the settings file's shape) and counts what it is asked.
class CCountingProvider : public CResProvider {
public:
    int gets = 0;
    int enums = 0;

protected:
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override
    {
        ++gets;
        if (KeyLength(rest) != 2) return 0;
        *handled = 1;
        value = CVariant::FromText("counted");
        return 1;
    }
    int32_t OnEnumSub(const char *const *, CString &answer, const char *, int32_t) override
    {
        ++enums;
        answer = "Extra/tail"; // the text after the last "/" is not a name
        return 1;
    }
};

int ProviderSlots()
{
    int n = 0;
    IKestNamedPtr *manager = nullptr;
    void **slot = nullptr;
    while (glGetNextNamedPtr(IResProvider::kNamedPtrType, &manager, &slot)) ++n;
    return n;
}

} // namespace

TEST(ResourceKey, PartsAreCleanedSplitAndPacked)
{
    const Strings system{"etc", "tvx", "System"};
    EXPECT_EQ(Parse("\\etc\\tvx\\System"), system);
    EXPECT_EQ(Parse("/etc//tvx/./System/"), system);
    EXPECT_EQ(Parse("/etc/tvx/a/../System"), system);
    EXPECT_EQ(Parse("  etc/tvx/System  "), system);
    EXPECT_EQ(Parse("/etc/tvx/a/b/../../System/."), system);
    EXPECT_EQ(Parse("/../etc"), (Strings{"..", "etc"})) << "a leading .. stays";
    EXPECT_EQ(Parse("/a/../../b"), (Strings{"..", "b"}));

    // Characters outside the path set become spaces; parts lose trailing spaces only, and
    // a part of spaces alone is no part.
    EXPECT_EQ(Parse("/etc/a%b*/ c /   /~!@#$&-_"), (Strings{"etc", "a b", " c", "~!@#$&-_"}));
    // A two-byte character stays whole even when its second byte is a backslash.
    EXPECT_EQ(Parse("/etc/tvx/運行/中文"), (Strings{"etc", "tvx", "運行", "中文"}));

    std::string deep;
    for (int i = 0; i < 70; ++i) deep += "/p" + std::to_string(i);
    Strings parts = Parse(deep.c_str());
    ASSERT_EQ(parts.size(), 63u) << "one of the 64 slots holds the terminator";
    EXPECT_EQ(parts.back(), "p62");
    EXPECT_EQ(Parse("/a/b/c", 3), (Strings{"a", "b"}));
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse(" /// ").empty());
}

TEST(ResourceKey, PrefixesTextAndEditing)
{
    const char *key[] = {"etc", "TVX", "System", nullptr};
    const char *root[] = {"ETC", "tvx", nullptr};
    const char *other[] = {"etc", "env", nullptr};
    const char *none[] = {nullptr};
    EXPECT_EQ(IResProvider::IsKindOf(root, key), key + 2);
    EXPECT_EQ(IResProvider::IsKindOf(key, key), key + 3) << "the whole key: an empty rest";
    EXPECT_EQ(IResProvider::IsKindOf(none, key), key);
    EXPECT_EQ(IResProvider::IsKindOf(other, key), nullptr);
    EXPECT_EQ(IResProvider::IsKindOf(key, root), nullptr) << "a longer prefix gives none";

    char text[16];
    EXPECT_EQ(IResProvider::KeyToString(key, text, sizeof text), 15);
    EXPECT_STREQ(text, "/etc/TVX/System");
    EXPECT_EQ(IResProvider::KeyToString(key, text, 15), 8) << "stops before what cannot fit";
    EXPECT_STREQ(text, "/etc/TVX");
    EXPECT_EQ(IResProvider::KeyToString(none, text, sizeof text), 0);
    EXPECT_STREQ(text, "");

    const char *edit[] = {"a", ".", "b", "..", "..", "c", ".", nullptr};
    int removed = 0;
    EXPECT_EQ(IResProvider::Pack(edit, &removed), 1);
    EXPECT_EQ(removed, 6);
    EXPECT_STREQ(edit[0], "c");
    EXPECT_EQ(edit[1], nullptr);
    IResProvider::Delete(edit);
    EXPECT_EQ(IResProvider::KeyLength(edit), 0);
}

TEST(ResourceAccess, PathsMoveByParts)
{
    CResAccess access("\\etc\\tvx\\System");
    EXPECT_EQ(access.GetFullResAddr(), "etc/tvx/System");
    access.Go(".");
    access.Go("..");
    access.Go("Dev 1");
    EXPECT_EQ(access.GetFullResAddr(), "etc/tvx/Dev 1");
    access.Go("a/b");
    EXPECT_EQ(access.GetParts().GetSize(), 4) << "a part is appended as it is";
    for (int i = 0; i < 5; ++i) access.Go("..");
    EXPECT_EQ(access.GetFullResAddr(), "");
    for (int i = 0; i < 70; ++i) access.Go("x");
    EXPECT_EQ(access.GetParts().GetSize(), 63);

    const char *base[] = {"etc", "env", nullptr};
    access.SetResAddr(base, "..");
    EXPECT_EQ(access.GetFullResAddr(), "etc");
    EXPECT_EQ(CResAccess("/etc/tvx")["Key"].GetFullResAddr(), "etc/tvx/Key");
}

TEST_F(ResourceTreeTest, SettingsAreSectionAndKeyUnderTheRoot)
{
    WriteSettings("[System]\r\nDebug = FALSE\r\n[運行]\r\nName = 中文\r\n");
    for (const char *path : {"\\etc\\tvx\\System\\Debug", "/etc//tvx/./System/Debug/",
                             "/etc/tvx/a/../System/Debug", "/ETC/TVX/system/DEBUG"})
        EXPECT_EQ(Read(path), "FALSE") << path;
    EXPECT_EQ(Read("/etc/tvx/運行/Name"), "中文");
    EXPECT_EQ(Read("/etc/tvx/System"), "<none>") << "a section without a key";
    EXPECT_EQ(Read("/etc/tvx/System/Debug/More"), "<none>");
    EXPECT_EQ(Read("/etc/tvx/System/Missing"), "<none>");
    EXPECT_EQ(Read("/../etc/tvx/System/Debug"), "<none>");
    EXPECT_EQ(Read("/etc/other/System/Debug"), "<none>");

    CResString name("/etc/tvx/New");
    name.Go("Title");
    name = "第一 \"one\"";
    EXPECT_EQ(Read("/etc/tvx/new/title"), "第一 'one'") << "the file keeps no double quotes";
    EXPECT_NE(SettingsText().find("[New]"), std::string::npos);
    const CVariant number(42);
    EXPECT_EQ(CResAccess("/etc/tvx/New/Count").Access(RES_SET, 1, &number, 1, nullptr, 0), 1);
    EXPECT_EQ(Read("/etc/tvx/New/Count"), "42") << "an integer value is written as text";
    EXPECT_EQ(CResString("/etc/tvx/System/Debug/More").SetStringData("x"), 0);
}

TEST_F(ResourceTreeTest, DeletesTakeASectionOrAKey)
{
    WriteSettings("[System]\r\nA = 1\r\nB = 2\r\n[Keep]\r\nC = 3\r\n");
    CResAccess key("/etc/tvx/System/A");
    EXPECT_EQ(key.Access(RES_DELETE, 1, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(Read("/etc/tvx/System/A"), "<none>");
    EXPECT_EQ(Read("/etc/tvx/System/B"), "2");

    CResAccess section("/etc/tvx/System");
    EXPECT_EQ(section.Access(RES_DELETE, 1, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(Read("/etc/tvx/System/B"), "<none>");
    EXPECT_EQ(SettingsText().find("System"), std::string::npos);

    const std::string before = SettingsText();
    EXPECT_EQ(CResAccess("/etc/tvx").Access(RES_DELETE, 1, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(CResAccess("/etc/tvx/Keep/C/D").Access(RES_DELETE, 1, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(SettingsText(), before);
    EXPECT_EQ(Read("/etc/tvx/Keep/C"), "3");
}

TEST_F(ResourceTreeTest, TheFirstProviderThatServesAShapeAnswersAlone)
{
    WriteSettings("[System]\r\nDebug = TRUE\r\n");
    CCountingProvider second;
    second.Mount("/etc/tvx");

    EXPECT_EQ(Read("/etc/tvx/System/Debug"), "TRUE");
    EXPECT_EQ(Read("/etc/tvx/System/Missing"), "<none>") << "missing, yet handled";
    EXPECT_EQ(second.gets, 0) << "the second provider is never asked for that shape";

    EXPECT_EQ(Read("/etc/tvx/System/Debug/Deeper"), "<none>");
    EXPECT_EQ(second.gets, 1) << "a shape the file does not serve goes on";

    // Without stop at first every provider is asked; the last one called answers.
    CVariant value;
    int32_t handled = 0;
    const char *key[] = {"etc", "tvx", "System", "Debug", nullptr};
    EXPECT_EQ(IResProvider::SmartAccess(key, RES_GET, &handled, 0, nullptr, 0, &value, 1), 1);
    EXPECT_EQ(second.gets, 2);
    EXPECT_EQ(value.ToText(), "counted");
    EXPECT_EQ(handled, 1);
}

TEST_F(ResourceTreeTest, EnumerationListsRootsAndSectionsAndKeys)
{
    WriteSettings("[System]\r\nDebug = 1\r\nConfig = 2\r\n[DSystem]\r\nGroup = 3\r\n");
    CEnvAccessX env;
    env.Mount("/etc/env");
    CResProvider net; // stands in for the distributed-system branch
    net.Mount("/etc/net");
    CCountingProvider deeper;
    deeper.Mount("/ETC/Tvx/more");

    CStringArray names;
    EXPECT_EQ(CResAccess("/etc").EnumSub(names, "*"), 1);
    EXPECT_EQ(Items(names), (Strings{"tvx", "env", "net"})) << "each root part once";

    EXPECT_EQ(CResAccess("/etc/tvx").EnumSub(names, "D*"), 1);
    EXPECT_EQ(Items(names), (Strings{"more", "System", "DSystem"}))
        << "roots below first, then every section whatever the pattern";
    EXPECT_EQ(deeper.enums, 0);

    CResAccess(" /etc/TVX/system").EnumSub(names, "x");
    EXPECT_EQ(Items(names), (Strings{"Debug", "Config"}));
    CResAccess("/etc/tvx/System/Debug").EnumSub(names, "*");
    EXPECT_TRUE(names.IsEmpty());
    CResAccess("/etc/tvx/more").EnumSub(names, "*");
    EXPECT_EQ(Items(names), Strings{"Extra"});
    CResAccess("/etc/unknown").EnumSub(names, "*");
    EXPECT_TRUE(names.IsEmpty());

    // The answer form, and arguments of the wrong kind.
    const char *tvx[] = {"etc", "tvx", nullptr};
    const CVariant in[2] = {CVariant::FromText("*"), CVariant(0)};
    CVariant answer;
    int32_t handled = 0;
    EXPECT_EQ(m_settings->Access(tvx, RES_ENUMSUB, &handled, in, 2, &answer, 1), 1);
    EXPECT_EQ(answer.ToText(), "System/DSystem/");
    const CVariant swapped[2] = {CVariant(0), CVariant::FromText("*")};
    EXPECT_EQ(m_settings->Access(tvx, RES_ENUMSUB, &handled, swapped, 2, &answer, 1), 0);
    EXPECT_EQ(m_settings->Access(tvx, RES_ENUMSUB, &handled, in, 1, &answer, 1), 0);
    EXPECT_EQ(m_settings->Access(tvx, RES_ENUMSUB, &handled, in, 2, &answer, 0), 0);
}

TEST(EnvironmentBranch, VariablesReadWriteAndList)
{
    CEnvAccessX env;
    env.Mount("/etc/env");
    ASSERT_TRUE(plat::SetEnv("KEST_RES_TEST", "one"));
    EXPECT_EQ(CResString("/etc/env/KEST_RES_TEST").GetAsString("none"), "one");

    CResString written("/ETC/ENV/KEST_RES_WRITTEN");
    written = "two";
    std::string value;
    ASSERT_TRUE(plat::GetEnv("KEST_RES_WRITTEN", &value));
    EXPECT_EQ(value, "two");

    // Long values come back whole.
    for (size_t length : {511u, 512u, 5000u}) {
        const std::string long_value(length, 'v');
        ASSERT_TRUE(plat::SetEnv("KEST_RES_TEST", long_value.c_str()));
        EXPECT_EQ(std::string(CResString("/etc/env/KEST_RES_TEST").GetAsString("")), long_value);
    }

    ASSERT_TRUE(plat::SetEnv("KEST_RES_TEST", ""));
    EXPECT_EQ(CResString("/etc/env/KEST_RES_TEST").GetAsString("none"), "none")
        << "an empty value is not found";
    EXPECT_EQ(CResString("/etc/env/KEST_RES_TEST/x").SetStringData("x"), 0);
    EXPECT_EQ(CResAccess("/etc/env/KEST_RES_TEST").Access(RES_DELETE, 1, nullptr, 0, nullptr, 0),
              0);

    CStringArray names;
    CResAccess("/etc/env").EnumSub(names);
    const Strings listed = Items(names);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "KEST_RES_WRITTEN"), listed.end());
    EXPECT_EQ(std::count(listed.begin(), listed.end(), ""), 0);
    CResAccess("/etc/env/KEST_RES_WRITTEN").EnumSub(names);
    EXPECT_TRUE(names.IsEmpty());
    plat::SetEnv("KEST_RES_TEST", nullptr);
    plat::SetEnv("KEST_RES_WRITTEN", nullptr);
}

TEST(ProviderLifecycle, MountingNamingAndDestroying)
{
    const int before = ProviderSlots();
    {
        CCountingProvider unmounted;
        const char *key[] = {"a", "b", nullptr};
        CVariant value;
        EXPECT_EQ(unmounted.Access(key, RES_GET, nullptr, nullptr, 0, &value, 1), 0)
            << "no root: nothing served";
        EXPECT_EQ(unmounted.gets, 0);
        EXPECT_EQ(IResProvider::KeyLength(unmounted.GetRootKey()), 0);

        CCountingProvider named;
        EXPECT_EQ(named.Mount("/srv\\x/../res", "Counting"), 1);
        EXPECT_EQ(ProviderSlots(), before + 1) << "a provider joins the tree when mounted";
        void **slot = glGetNamedPtr(IResProvider::kNamedPtrType, "Counting");
        ASSERT_EQ(slot, named.GetActivePtr());
        EXPECT_EQ(*slot, static_cast<IResProvider *>(&named));
        EXPECT_EQ(IResProvider::KeyLength(named.GetRootKey()), 2);

        const char *served[] = {"SRV", "Res", "a", "b", nullptr};
        for (int32_t op :
             {0, +RES_INVOKE, +RES_INVOKE_EX, +RES_GETTYPE, +RES_GETINFO, +RES_ENUMSUB, 9})
            EXPECT_EQ(named.Access(served, op, nullptr, nullptr, 0, &value, 1), 0) << op;
        EXPECT_EQ(named.Access(served, RES_GET, nullptr, nullptr, 0, &value, 0), 0);
        EXPECT_EQ(named.Access(served, RES_GET, nullptr, nullptr, 0, &value, 1), 1);
        EXPECT_EQ(named.gets, 1);
        EXPECT_EQ(CResString("/srv/res/a/b").GetAsString(""), "counted");

        named.AddRef();
        EXPECT_EQ(named.Release(), 0u);
        EXPECT_EQ(CResString("/srv/res/a/b").GetAsString(""), "counted") << "zero frees nothing";
    }
    EXPECT_EQ(ProviderSlots(), before) << "destroying a provider unmounts it";
    EXPECT_EQ(CResString("/srv/res/a/b").GetAsString("gone"), "gone");
}

namespace {

// Serves two-part keys under its root; a read may be held inside the provider until the test
// lets it go. It writes to itself after the wait, so a provider freed meanwhile is seen.
class CHeldProvider : public CResProvider {
public:
    std::atomic<bool> hold{false};
    plat::Event entered{true, false};
    plat::Event release{true, false};
    std::atomic<int> served{0};

    ~CHeldProvider() override { Unmount(); }

protected:
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override
    {
        if (KeyLength(rest) != 2) return 0;
        *handled = 1;
        if (hold.exchange(false)) {
            entered.Set();
            release.Wait(10000);
        }
        ++served;
        value = CVariant::FromText("held");
        return 1;
    }
};

} // namespace

TEST(ResourceProviderLifetime, DestructionWaitsForAReadInsideTheProvider)
{
    auto provider = std::make_unique<CHeldProvider>();
    provider->Mount("/held");
    provider->hold = true;
    std::string read;
    std::thread reader([&] { read = std::string(CResString("/held/a/b").GetAsString("")); });
    ASSERT_EQ(provider->entered.Wait(10000), plat::WAIT_OBJECT_0);

    plat::Event release = provider->release;
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        provider.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(destroyed.load()) << "a read is still inside the provider";
    release.Set();
    reader.join();
    destroyer.join();
    EXPECT_EQ(read, "held");
    EXPECT_EQ(CResString("/held/a/b").GetAsString("gone"), "gone");
}

// Readers walk the tree without pause while providers are mounted and destroyed: every read
// finds a live provider or none (ASan and TSan see a read of a freed one).
TEST(ResourceProviderLifetime, ReadsRacingMountAndDestructionOnlyMeetLiveProviders)
{
    constexpr int kReaders = 4;
    constexpr int kCycles = 300;
    std::atomic<bool> stop{false};
    std::atomic<int> found{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i)
        readers.emplace_back([&] {
            while (!stop)
                if (CResString("/race/a/b").GetAsString("") == "held") ++found;
        });
    for (int i = 0; i < kCycles; ++i) {
        auto provider = std::make_unique<CHeldProvider>();
        provider->Mount("/race");
        // Destroyed once a read has reached it, while the readers go on walking.
        while (provider->served.load() == 0) std::this_thread::yield();
    }
    stop = true;
    for (std::thread &t : readers) t.join();
    EXPECT_GE(found.load(), kCycles);
}
