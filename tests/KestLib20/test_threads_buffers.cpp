// Thread handles, the system lock, scratch memory, byte buffers and pointer slots.
#include "KestLib20/ActivePtr.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CWinntSystem.h"
#include "KestLib20/ThreadSafeBuffer.h"
#include "KestLib20/buffer_t.h"
#include "KestLib20/thread_c.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

namespace {
uint32_t ReturnArgument(void *arg)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
}

uint32_t WaitOnEvent(void *arg)
{
    static_cast<plat::Event *>(arg)->Wait(plat::INFINITE);
    return 0;
}
} // namespace

TEST(ThreadHandle, ActiveClosesAnEndedThreadSoCreateStartsAnother)
{
    thread_c t;
    t.Create(ReturnArgument, reinterpret_cast<void *>(5));
    ASSERT_FALSE(t.IsNull());
    ASSERT_TRUE(t.Wait(5000));
    EXPECT_EQ(t.Active(), 0);
    EXPECT_TRUE(t.IsNull());
    plat::Event stop;
    t.Create(WaitOnEvent, &stop);
    EXPECT_EQ(t.Active(), 1);
    // A second Create while one runs starts nothing new.
    plat::Thread first = t.Handle();
    t.Create(ReturnArgument, nullptr);
    EXPECT_EQ(t.Handle().Id(), first.Id());
    stop.Set();
    EXPECT_TRUE(t.Wait(5000));
    EXPECT_EQ(t.Active(), 0);
}

TEST(SystemLock, PassesFromAnEndedHolderAtOnceAndWaitsForALiveOne)
{
    CDataLock lock;
    std::thread([&] { lock.Lock(); }).join();
    EXPECT_NE(lock.GetLockTick(), 0u);
    auto start = std::chrono::steady_clock::now();
    lock.Lock(); // the holder ended: no waiting for any time-out
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    lock.Unlock();
    EXPECT_EQ(lock.GetLockTick(), 0u);

    plat::Event taken, release;
    std::thread holder([&] {
        lock.Lock();
        taken.Set();
        release.Wait(plat::INFINITE);
        lock.Unlock();
    });
    taken.Wait(plat::INFINITE);
    std::atomic<bool> got{false};
    std::thread late([&] {
        std::lock_guard<CDataLock> g(lock);
        got = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // past the 1000 ms time-out
    EXPECT_FALSE(got.load());
    release.Set();
    holder.join();
    late.join();
    EXPECT_TRUE(got.load());
}

TEST(ScratchRing, SizesAndWrap)
{
    std::thread([] {
        EXPECT_EQ(glGetThreadSafeBuffer(4097), nullptr);
        EXPECT_EQ(glGetThreadSafeBuffer(-1), nullptr);
        char *a = glGetThreadSafeBuffer(3000);
        char *b = glGetThreadSafeBuffer(3000); // does not fit behind the first: wraps
        EXPECT_EQ(a, b);
        char *whole = glGetThreadSafeBuffer(4096);
        EXPECT_EQ(whole, a);
        memset(whole, 'x', 4096); // the whole area is usable
        char *c = glGetThreadSafeBuffer(1);
        char *d = glGetThreadSafeBuffer(1);
        EXPECT_EQ(d - c, 8); // rounded to 8
    }).join();
}

TEST(ScratchRing, ThreadsHaveTheirOwnArea)
{
    char *mine = glGetThreadSafeBuffer(16);
    char *theirs = nullptr;
    std::thread([&] { theirs = glGetThreadSafeBuffer(16); }).join();
    EXPECT_NE(mine, theirs);
}

TEST(Buffers, PointerCopyBounds)
{
    const char bytes[8] = {'0', '1', '2', '3', '4', '5', '6', '7'};
    pointer_t p{bytes, 8};
    char out[16] = {};
    EXPECT_EQ(p.copyto(out, 6, 10), 2);
    EXPECT_EQ(std::string(out, 2), "67");
    EXPECT_EQ(p.copyto(out, 0, 0), 8); // count 0: all that remain
    EXPECT_EQ(p.copyto(out, 3, -1), 5);
    EXPECT_EQ(p.copyto(out, 8, 4), 0);
    EXPECT_LT(p.copyto(out, 9, 4), 1);
    EXPECT_EQ(p.copyto(out, -2, 4), 0); // a negative offset never reads before the data
    EXPECT_EQ(p.copyto(nullptr, 2, 3), 3);
}

TEST(Buffers, AddRemoveAndResize)
{
    buffer_t *b = buffer_t::Create(4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Add("0123456789", 10), 4);
    EXPECT_EQ(b->length, 4);
    EXPECT_EQ(b->Add("x", 1), 0);
    EXPECT_EQ(b->RemoveAt(1, 100), 1); // limited to the end
    EXPECT_EQ(b->data()[0], '0');
    EXPECT_EQ(b->RemoveAt(5, 1), 1); // beyond the length: nothing
    EXPECT_EQ(buffer_t::Resize(b, 4), b);
    b = buffer_t::Resize(b, 16);
    EXPECT_EQ(b->capacity, 16);
    EXPECT_EQ(b->length, 1);
    EXPECT_EQ(b->Add("abcdef", 6), 6);
    b = buffer_t::Resize(b, 3);
    EXPECT_EQ(b->length, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(b->data()), 3), "0ab");
    b = buffer_t::Resize(b, 0);
    EXPECT_EQ(b->length, 0);
    EXPECT_EQ(b->Add("z", 1), 0);
    buffer_t::Free(b);
    EXPECT_EQ(buffer_t::Create(-1), nullptr);
}

TEST(ActivePointers, SlotsAreZeroedDistinctAndSpanBlocks)
{
    CActivePtrAlloc alloc(false);
    std::set<void **> seen;
    for (int i = 0; i < 2 * CActivePtrAlloc::kSlotsPerBlock + 3; ++i) {
        void **slot = alloc.Alloc();
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, nullptr);
        *slot = slot;
        EXPECT_TRUE(seen.insert(slot).second);
    }
    alloc.FreeList();
    void **kept = glAllocActivePtr(1);
    void **freed = glAllocActivePtr(0);
    EXPECT_NE(kept, freed);
    EXPECT_EQ(*kept, nullptr);
}

TEST(ProgramDirectories, NamesOfTheRunningProgram)
{
    EXPECT_STREQ(CWinntSystem::GetProgramName(), "test_kestlib");
    std::string path = CWinntSystem::GetProgramPath();
    std::string file = CWinntSystem::GetProgramFileName();
    EXPECT_EQ(file, path + "/test_kestlib");
    EXPECT_EQ(std::string(CWinntSystem::GetTempPathA()).back(), '/');
}
