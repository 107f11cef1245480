// Arrays, lists and maps: bounds, growth, walks that remove as they go, and map order.
#include "platform/Collections.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <vector>

namespace {

template <typename List> std::vector<int> Forward(const List &list)
{
    std::vector<int> out;
    for (POSITION pos = list.GetHeadPosition(); pos;) out.push_back(list.GetNext(pos));
    return out;
}

template <typename List> std::vector<int> Backward(const List &list)
{
    std::vector<int> out;
    for (POSITION pos = list.GetTailPosition(); pos;) out.push_back(list.GetPrev(pos));
    return out;
}

std::vector<CString> Walk(const CMapStringToString &map)
{
    std::vector<CString> out;
    CString key, value;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        out.push_back(key + "=" + value);
    }
    return out;
}

} // namespace

TEST(CArray, InsertPastTheEndGrowsWithZeros)
{
    CDWordArray a;
    EXPECT_EQ(a.GetUpperBound(), -1);
    EXPECT_EQ(a.Add(1), 0);
    a.InsertAt(3, 9, 2);
    EXPECT_EQ(std::vector<uint32_t>(a.begin(), a.end()), (std::vector<uint32_t>{1, 0, 0, 9, 9}));
    a.InsertAt(1, 5);
    EXPECT_EQ(std::vector<uint32_t>(a.begin(), a.end()), (std::vector<uint32_t>{1, 5, 0, 0, 9, 9}));
    EXPECT_THROW(a.InsertAt(-1, 7), std::out_of_range);
    a.SetAtGrow(8, 4);
    EXPECT_EQ(a.GetSize(), 9);
    EXPECT_EQ(a[7], 0u);
    EXPECT_EQ(std::accumulate(a.begin(), a.end(), 0u), 28u);
}

TEST(CArray, RemoveAtAndSetSizeBounds)
{
    CUIntArray a;
    for (unsigned i = 0; i < 6; ++i) a.Add(i);
    a.RemoveAt(1, 2);
    EXPECT_EQ(std::vector<unsigned>(a.begin(), a.end()), (std::vector<unsigned>{0, 3, 4, 5}));
    EXPECT_THROW(a.RemoveAt(3, 2), std::out_of_range);
    EXPECT_THROW(a.RemoveAt(-1), std::out_of_range);
    EXPECT_THROW(a.RemoveAt(4), std::out_of_range);
    EXPECT_EQ(a.GetSize(), 4); // a refused removal leaves the array alone
    a.RemoveAt(3);
    EXPECT_EQ(a.GetUpperBound(), 2);

    a.SetSize(1);
    EXPECT_EQ(a.GetSize(), 1);
    a.SetSize(3, 16);
    EXPECT_EQ(a[2], 0u);
    EXPECT_THROW(a.SetSize(-1), std::out_of_range);
    EXPECT_THROW(a.GetAt(3), std::out_of_range);
    EXPECT_THROW(a[-1], std::out_of_range);
}

TEST(CArray, OwnElementsAsArguments)
{
    // An argument that refers into the array must survive the array's reallocation.
    CStringArray a;
    a.Add("first element, long enough to live on the heap");
    a.Add("second element, long enough to live on the heap");
    for (int i = 0; i < 4; ++i) a.InsertAt(0, a[1]);
    EXPECT_EQ(a[0], "first element, long enough to live on the heap");
    a.SetAtGrow(40, a[5]);
    EXPECT_EQ(a[40], "second element, long enough to live on the heap");
    EXPECT_EQ(a.Add(a[0]), 41);

    CStringArray b;
    b.Add("x");
    b.Add("y");
    EXPECT_EQ(b.Append(b), 2);
    EXPECT_EQ(b.GetSize(), 4);
    EXPECT_EQ(b[3], "y");
    b.Copy(a);
    EXPECT_EQ(b.GetSize(), 42);
}

TEST(CList, WalksBothWaysAndRemovesWhileWalking)
{
    CList<int, int> list;
    for (int i = 1; i <= 6; ++i) list.AddTail(i);
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        POSITION here = pos;
        if (list.GetNext(pos) % 2 == 0) list.RemoveAt(here);
    }
    EXPECT_EQ(Forward(list), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(Backward(list), (std::vector<int>{5, 3, 1}));

    list.InsertBefore(list.GetHeadPosition(), 0);
    list.InsertAfter(list.GetTailPosition(), 9);
    list.InsertAfter(list.FindIndex(1), 2);
    list.InsertBefore(nullptr, -1);
    list.InsertAfter(nullptr, 10);
    EXPECT_EQ(Forward(list), (std::vector<int>{-1, 0, 1, 2, 3, 5, 9, 10}));
    EXPECT_EQ(list.RemoveHead(), -1);
    EXPECT_EQ(list.RemoveTail(), 10);
    EXPECT_EQ(list.GetHead(), 0);
    EXPECT_EQ(list.GetTail(), 9);
    EXPECT_EQ(list.GetCount(), 6);
    EXPECT_EQ(list.FindIndex(6), nullptr);
    EXPECT_EQ(list.FindIndex(-1), nullptr);

    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    EXPECT_THROW(list.RemoveHead(), std::out_of_range);
    POSITION end = nullptr;
    EXPECT_THROW(list.GetNext(end), std::out_of_range);
}

TEST(CList, FindAfterAPosition)
{
    CStringList names;
    names.AddTail("a");
    POSITION firstB = names.AddTail("b");
    names.AddTail("c");
    POSITION secondB = names.AddTail("b");
    EXPECT_EQ(names.Find("b"), firstB);
    EXPECT_EQ(names.Find("b", firstB), secondB);
    EXPECT_EQ(names.Find("b", secondB), nullptr);
    EXPECT_EQ(names.Find("B"), nullptr);
    names.SetAt(secondB, "d");
    EXPECT_EQ(names.GetAt(secondB), "d");

    CPtrList ptrs;
    int x = 0;
    ptrs.AddHead(&x);
    EXPECT_EQ(ptrs.GetAt(ptrs.Find(&x)), &x);
}

TEST(Maps, IterateInInsertionOrder)
{
    CMapStringToString map;
    map.SetAt("b", "1");
    map.SetAt("a", "2");
    map.SetAt("c", "3");
    map.SetAt("d", "5");
    EXPECT_TRUE(map.RemoveKey("a"));
    EXPECT_FALSE(map.RemoveKey("a"));
    map.SetAt("b", "9"); // keeps its place
    map["a"] = "4";      // a removed key comes back at the end
    EXPECT_EQ(Walk(map), (std::vector<CString>{"b=9", "c=3", "d=5", "a=4"}));
    EXPECT_EQ(map.GetCount(), 4);

    CString value = "unchanged";
    EXPECT_FALSE(map.Lookup("B", value)); // keys are case-sensitive
    EXPECT_EQ(value, "unchanged");
    EXPECT_TRUE(map.Lookup("c", value));
    EXPECT_EQ(value, "3");

    // The entry just returned may be removed without breaking the walk.
    CString key;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        if (key != "d") map.RemoveKey(key);
    }
    EXPECT_EQ(Walk(map), (std::vector<CString>{"d=5"}));
    map.RemoveAll();
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_EQ(map.GetStartPosition(), nullptr);
}

TEST(Maps, PointerValues)
{
    CMapStringToPtr byName;
    EXPECT_EQ(byName["new"], nullptr);
    int a = 1, b = 2;
    byName.SetAt("设备", &a);
    void *found = nullptr;
    EXPECT_TRUE(byName.Lookup("设备", found));
    EXPECT_EQ(found, &a);

    CMapPtrToPtr byPtr;
    byPtr[&a] = &b;
    byPtr.SetAt(&b, &a);
    EXPECT_TRUE(byPtr.Lookup(&a, found));
    EXPECT_EQ(found, &b);
    EXPECT_TRUE(byPtr.RemoveKey(&a));
    EXPECT_FALSE(byPtr.Lookup(&a, found));
    EXPECT_EQ(byPtr.GetSize(), 1);
}
