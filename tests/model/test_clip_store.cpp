// The clip cache and the store base: replacing and stamping clips, removal by moving the last
// clip, refreshing to a given list, out-of-date clips on the manual clock (across the tick's
// wrap), the validity span, the store's settings, and its full loads, which never show a
// half-filled cache.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoStoreA.h"

#include <atomic>
#include <cstring>
#include <thread>

using namespace devtest;
using tagCLIP = CVideoClipCache::tagCLIP;

namespace {

tagCLIP Clip(const char *name, int32_t size = 0)
{
    tagCLIP clip;
    std::memcpy(clip.szName, name, strnlen(name, sizeof clip.szName));
    clip.nSize = size;
    return clip;
}

void Add(CVideoClipCache &cache, const char *name, int32_t size = 0)
{
    tagCLIP clip = Clip(name, size);
    cache.AddClip(clip);
}

std::vector<std::string> Names(CVideoClipCache &cache)
{
    std::vector<std::string> names;
    tagCLIP clip;
    for (int i = 0; cache.GetAt(i, clip); ++i) names.emplace_back(clip.szName);
    return names;
}

CStringArray Strings(std::initializer_list<const char *> items)
{
    CStringArray list;
    for (const char *item : items) list.Add(item);
    return list;
}

// A store whose device lists the ids it is given.
class CListingStore : public CVideoStoreA {
public:
    int DevIDList(CStringArray &ids, int from, int count) override
    {
        ++lists;
        asked = {from, count};
        ids.RemoveAll();
        std::lock_guard<std::mutex> lk(m);
        ids.Append(listed);
        return ids.GetSize();
    }
    void List(std::initializer_list<const char *> items)
    {
        std::lock_guard<std::mutex> lk(m);
        listed = Strings(items);
    }
    int32_t MaxAmount() const { return m_nMaxAmount; }
    int32_t AlertPercent() const { return m_nAlertPercent; }

    std::mutex m;
    CStringArray listed;
    std::atomic<int> lists{0};
    std::pair<int, int> asked{-1, -1};
};

} // namespace

TEST(ClipCache, AddingAClipAgainRenewsItsStampAndKeepsAKnownLength)
{
    ManualTime time;
    CVideoClipCache cache;
    const uint32_t start = plat::GetTickCount();
    Add(cache, "CLIP1", 500);
    plat::TestClock::Advance(40);
    tagCLIP again = Clip("CLIP1", 0);
    cache.AddClip(again);
    EXPECT_EQ(again.dwTime, start + 40) << "the caller's record is stamped too";

    tagCLIP held;
    ASSERT_EQ(cache.GetAt(CString("CLIP1"), held), 1);
    EXPECT_EQ(held.nSize, 500);
    EXPECT_EQ(held.dwTime, start + 40);
    Add(cache, "CLIP1", 700);
    cache.GetAt(CString("CLIP1"), held);
    EXPECT_EQ(held.nSize, 700) << "a new length replaces the old";
    EXPECT_EQ(cache.GetSize(), 1);

    Add(cache, "");
    EXPECT_EQ(cache.GetSize(), 1) << "an empty name is ignored";
    EXPECT_EQ(cache.IsExists("clip1"), 0) << "names keep their case";
    EXPECT_EQ(cache.GetAt(1, held), 0);
    EXPECT_EQ(cache.GetAt(-1, held), 0);
}

TEST(ClipCache, LongNamesAreCutBetweenCharacters)
{
    CVideoClipCache cache;
    tagCLIP full; // sixteen bytes, no terminator
    std::memcpy(full.szName, "ABCDEFGHIJKLMNOP", sizeof full.szName);
    cache.AddClip(full);
    EXPECT_TRUE(cache.IsExists("ABCDEFGHIJKLMNO"));
    EXPECT_EQ(full.szName[15], 0);

    // Fourteen bytes and a two-byte character: the character does not fit and goes whole.
    cache.RefreshCache(Strings({"ABCDEFGHIJKLMN节目"}));
    EXPECT_EQ(Names(cache), std::vector<std::string>{"ABCDEFGHIJKLMN"});
}

TEST(ClipCache, RemovingAClipMovesTheLastIntoItsPlace)
{
    CVideoClipCache cache;
    Add(cache, "A", 1);
    Add(cache, "B", 2);
    Add(cache, "C", 3);
    cache.RemoveClip("A");
    tagCLIP clip;
    ASSERT_EQ(cache.GetAt(0, clip), 1);
    EXPECT_STREQ(clip.szName, "C");
    EXPECT_EQ(clip.nSize, 3);
    ASSERT_EQ(cache.GetAt(CString("C"), clip), 1) << "the moved clip is found by its name";
    EXPECT_EQ(cache.GetAt(2, clip), 0);

    cache.RemoveClip("B"); // the last one: nothing moves
    cache.RemoveClip("NONE");
    EXPECT_EQ(Names(cache), std::vector<std::string>{"C"});
    cache.RemoveClip("C");
    EXPECT_EQ(cache.GetSize(), 0);
    Add(cache, "D");
    cache.RemoveAll();
    EXPECT_EQ(cache.GetSize(), 0);
    EXPECT_EQ(cache.IsExists("D"), 0);
}

TEST(ClipCache, RefreshingHoldsExactlyTheNamesGiven)
{
    ManualTime time;
    CVideoClipCache cache;
    Add(cache, "B", 9);
    Add(cache, "C");
    Add(cache, "LONG_CLIP_NAME_0", 4);
    const uint32_t stamped = plat::GetTickCount();
    cache.RefreshCache(Strings({"A", "B", "", "A", "LONG_CLIP_NAME_0"}));
    EXPECT_EQ(Names(cache), (std::vector<std::string>{"B", "LONG_CLIP_NAME_", "A"}));
    tagCLIP clip;
    cache.GetAt(CString("A"), clip);
    EXPECT_EQ(clip.dwTime, 0u);
    EXPECT_EQ(clip.nSize, 0);
    cache.GetAt(CString("B"), clip);
    EXPECT_EQ(clip.dwTime, stamped) << "a clip that stays keeps its stamp";
    EXPECT_EQ(clip.nSize, 9);
    cache.GetAt(CString("LONG_CLIP_NAME_"), clip);
    EXPECT_EQ(clip.nSize, 4) << "a long id stays as the clip it was cut to";
}

TEST(ClipCache, OutOfDateClipsAcrossTheTicksWrap)
{
    plat::ScopedTestClock clock(0xFFFFFF00u);
    CVideoClipCache cache;
    Add(cache, "OLD");
    plat::TestClock::Advance(0x180); // the tick wraps to 0x80
    Add(cache, "NEW");
    Add(cache, "GONE");
    cache.InvalidClip("GONE");
    CStringArray names;
    EXPECT_EQ(cache.GetOutofDateClip(names, 0), 2) << "stamps older than now";
    EXPECT_EQ(names[0], CString("OLD"));
    EXPECT_EQ(names[1], CString("GONE"));
    EXPECT_EQ(cache.GetOutofDateClip(names, 383), 1);
    EXPECT_EQ(names[0], CString("OLD"));
    EXPECT_EQ(cache.GetOutofDateClip(names, 384), 0) << "exactly the age is not older";
    plat::TestClock::Advance(1000);
    EXPECT_EQ(cache.GetOutofDateClip(names, 999), 3);
    EXPECT_EQ(cache.GetOutofDateClip(names, 1000), 2);
}

TEST(ClipCache, ValidForThirtyMinutesAfterTheLastFullLoad)
{
    ManualTime time;
    CVideoClipCache cache;
    EXPECT_EQ(cache.IsValid(), 0) << "never loaded";
    EXPECT_EQ(cache.GetValidSpan(), 45000);
    cache.SetLastLoadTime(ManualTime::Now());
    EXPECT_EQ(cache.IsValid(), 1);
    // The framework clock may differ from the tick by a few units: a second either side.
    plat::TestClock::Advance(30 * 60 * 1000 - 1000);
    EXPECT_EQ(cache.IsValid(), 1);
    plat::TestClock::Advance(2000);
    EXPECT_EQ(cache.IsValid(), 0);
    cache.SetLoading(1);
    EXPECT_EQ(cache.IsLoading(), 1);
}

TEST(StoreBase, SettingsAreReadWithTheirDefaults)
{
    MountedSettings settings(Section("ST", {{"MaxAmount", "300"}}));
    CListingStore store;
    EXPECT_EQ(store.GetDescription(), CString("视频存贮设备"));
    EXPECT_EQ(store.GetTypeID(), CString("UnkownDevType"));
    ASSERT_EQ(store.InitInstance("/etc/tvx/ST", "ST"), 1);
    EXPECT_EQ(store.MaxAmount(), 300);
    EXPECT_EQ(store.AlertPercent(), 100);
}

TEST(StoreBase, FullLoadsReplaceOrAddToTheCache)
{
    ManualTime time;
    CListingStore store;
    EXPECT_EQ(store.DevLoadTotalClip(), 0) << "no ids";
    EXPECT_EQ(store.asked, std::make_pair(0, 2048));

    store.List({"A", "B", "A_VERY_LONG_CLIP_ID"});
    ASSERT_EQ(store.DevLoadTotalClip(), 1);
    CVideoClipCache &cache = store.GetClipCache();
    EXPECT_EQ(Names(cache), (std::vector<std::string>{"A", "B", "A_VERY_LONG_CLI"}));
    tagCLIP clip = Clip("B", 80);
    cache.AddClip(clip);

    store.List({"B", "C"});
    ASSERT_EQ(store.DevLoadTotalClipNoBarr(), 1);
    EXPECT_EQ(Names(cache), (std::vector<std::string>{"A", "B", "A_VERY_LONG_CLI", "C"}));
    cache.GetAt(CString("B"), clip);
    EXPECT_EQ(clip.nSize, 80);
    EXPECT_EQ(clip.dwTime, plat::GetTickCount()) << "confirmed by the load";

    ASSERT_EQ(store.DevLoadTotalClip(), 1);
    EXPECT_EQ(Names(cache), (std::vector<std::string>{"B", "C"})) << "vanished clips go";
    cache.GetAt(CString("B"), clip);
    EXPECT_EQ(clip.nSize, 0);

    store.List({});
    EXPECT_EQ(store.DevLoadTotalClip(), 0);
    EXPECT_EQ(store.DevLoadTotalClipNoBarr(), 0);
    EXPECT_EQ(Names(cache), (std::vector<std::string>{"B", "C"})) << "an empty list keeps it";

    const int lists = store.lists;
    cache.SetLastLoadTime(ManualTime::Now());
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    EXPECT_EQ(store.lists, lists) << "a valid cache is not loaded again";
}

TEST(StoreBase, AReloadNeverShowsAHalfFilledCache)
{
    CListingStore store;
    store.List({"A", "B", "C", "D", "E", "F", "G", "H"});
    store.DevLoadTotalClip();
    std::atomic<bool> stop{false};
    std::thread loader([&] {
        while (!stop) store.DevLoadTotalClip();
    });
    int missing = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (store.lists < 300 && std::chrono::steady_clock::now() < until)
        missing += store.GetClipCache().IsExists("H") ? 0 : 1;
    stop = true;
    loader.join();
    EXPECT_EQ(missing, 0);
    EXPECT_GE(store.lists.load(), 300);
}
