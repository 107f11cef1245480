// Run-time class records built by hand: the tree, searches by name and path, kind-of tests,
// the locked lists, the class factory and the record array.
#include "KestLib20/IClassA.h"
#include "KestLib20/KestRtc.h"
#include "KestLib20/KestRtcMgr.h"
#include "KestLib20/RtcArray.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A manager with a real lock that counts its lock calls; not published in the module ring.
class CountingMgr final : public iRtcMgr {
public:
    int32_t LockServer(int32_t lock) override
    {
        if (lock) {
            m_lock.lock();
            ++taken;
        } else {
            ++released;
            m_lock.unlock();
        }
        return 1;
    }
    iRtcMgr **GetActivePtr() override { return &self; }
    iRtc *GetRootRtc() override { return root; }
    int32_t SetRootRtc(iRtc *r) override
    {
        bool none = root == nullptr;
        root = r;
        return none;
    }

    iRtcMgr *self = this;
    iRtc *root = nullptr;
    int taken = 0;
    int released = 0;

private:
    std::recursive_mutex m_lock;
};

std::unique_ptr<CKestRtc> Record(iRtc *father, const char *name, const char *registered = nullptr,
                                 const GUID *classId = nullptr, iRtcMgr *manager = nullptr)
{
    return std::make_unique<CKestRtc>(manager, father, name, name, registered ? registered : name,
                                      0, 0, classId, nullptr, nullptr);
}

constexpr GUID kClassId = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

// CClassA
// |- CKestnut
// |  |- CVideoSrcA
// |  |  `- CVideoSrcX_VDCP
// |  `- CDeviceA
// |     `- CVideoSrcA   (a second class of that name, one level deeper)
// `- CSystem
class RtcTree : public ::testing::Test {
protected:
    CountingMgr mgr;
    std::unique_ptr<CKestRtc> root = Record(nullptr, "CClassA", "Kest20.ClassA", nullptr, &mgr);
    std::unique_ptr<CKestRtc> kestnut = Record(root.get(), "CKestnut");
    std::unique_ptr<CKestRtc> src = Record(kestnut.get(), "CVideoSrcA");
    std::unique_ptr<CKestRtc> vdcp = Record(src.get(), "CVideoSrcX_VDCP", "Kest20.VDCP", &kClassId);
    std::unique_ptr<CKestRtc> device = Record(kestnut.get(), "CDeviceA");
    std::unique_ptr<CKestRtc> deepSrc = Record(device.get(), "CVideoSrcA");
    std::unique_ptr<CKestRtc> system = Record(root.get(), "CSystem");
};

} // namespace

TEST_F(RtcTree, RecordsHookUnderTheirFatherAndShareItsManager)
{
    EXPECT_EQ(mgr.root, root.get());
    EXPECT_EQ(root->GetRtcMgr(), &mgr);
    EXPECT_EQ(vdcp->GetRtcMgr(), &mgr);
    EXPECT_EQ(root->GetSonRtcCount(), 2);
    EXPECT_EQ(root->GetSonRtc(0), kestnut.get());
    EXPECT_EQ(root->GetSonRtc(2), nullptr);
    EXPECT_EQ(root->GetSonRtc(-1), nullptr);
    EXPECT_STREQ(vdcp->GetClassInfoA()->lpszRegisteredName, "Kest20.VDCP");

    system.reset();
    EXPECT_EQ(root->GetSonRtcCount(), 1) << "a destroyed record leaves its father";
    EXPECT_EQ(mgr.taken, mgr.released);
    EXPECT_GT(mgr.taken, 0);
}

TEST_F(RtcTree, FindByNamesTakesRegisteredNamesThenPathsWithoutCase)
{
    EXPECT_EQ(root->FindByNames("CClassA"), root.get());
    EXPECT_EQ(root->FindByNames("Kest20.ClassA"), root.get());
    EXPECT_EQ(root->FindByNames("kest20.vdcp"), vdcp.get());
    EXPECT_EQ(root->FindByNames("cvideosrcx_vdcp"), vdcp.get());
    EXPECT_EQ(root->FindByNames("CVideoSrcA"), src.get()) << "breadth-first: the shallower";
    EXPECT_EQ(root->FindByNames("CDeviceA.CVideoSrcA"), deepSrc.get());
    for (const char *path :
         {"CKestnut.CVideoSrcX_VDCP", "CKestnut..CVideoSrcX_VDCP", "CKestnut CVideoSrcX_VDCP",
          "CKestnut-CVideoSrcX_VDCP", "CKestnut:CVideoSrcX_VDCP", " CKestnut.CVideoSrcX_VDCP."})
        EXPECT_EQ(root->FindByNames(path), vdcp.get()) << path;
    EXPECT_EQ(root->FindByNames("CSystem.CVideoSrcX_VDCP"), nullptr) << "not below CSystem";
    EXPECT_EQ(src->FindByNames("CSystem"), nullptr) << "only below the record asked";
    EXPECT_EQ(root->FindByNames("CKestnut.Nothing"), nullptr);
    EXPECT_EQ(root->FindByNames(""), nullptr);
    EXPECT_EQ(root->FindByNames(nullptr), nullptr);
    EXPECT_EQ(root->FindByNames(" .-:"), nullptr) << "no class names at all";
}

TEST_F(RtcTree, PathsAreCutTo120BytesBeforeTheyAreSplit)
{
    const std::string head = "CKestnut";
    const std::string tail = "CVideoSrcA";
    std::string fits = head + std::string(120 - head.size() - tail.size(), '.') + tail;
    ASSERT_EQ(fits.size(), 120u);
    EXPECT_EQ(root->FindByNames(fits.c_str()), src.get());
    std::string cut = head + std::string(121 - head.size() - tail.size(), '.') + tail;
    EXPECT_EQ(root->FindByNames(cut.c_str()), nullptr) << "the last name loses its last letter";
}

TEST_F(RtcTree, FindModesCompareTheirOwnKey)
{
    EXPECT_EQ(root->Find("  CSystem", iRtc::FIND_CLASSNAME), system.get());
    EXPECT_EQ(root->Find("  Kest20.VDCP", iRtc::FIND_REGNAME), vdcp.get());
    EXPECT_EQ(root->Find("CVideoSrcX_VDCP", iRtc::FIND_REGNAME), nullptr);
    GUID copy = kClassId;
    EXPECT_EQ(root->Find(&copy, iRtc::FIND_CLASSID), vdcp.get());
    EXPECT_EQ(root->Find(device.get(), iRtc::FIND_RTC), device.get());
    EXPECT_EQ(kestnut->Find(system.get(), iRtc::FIND_RTC), nullptr);
    EXPECT_EQ(root->Find("CSystem", 5), nullptr);
    EXPECT_EQ(root->Find(nullptr, iRtc::FIND_CLASSNAME), nullptr);
}

TEST_F(RtcTree, KindOfFollowsFathersAndOwnInterfacesOnly)
{
    EXPECT_TRUE(vdcp->IsKindOf(vdcp.get()));
    EXPECT_TRUE(vdcp->IsKindOf(kestnut.get()));
    EXPECT_TRUE(vdcp->IsKindOf(root.get()));
    EXPECT_FALSE(kestnut->IsKindOf(vdcp.get()));
    EXPECT_FALSE(vdcp->IsKindOf(device.get()));
    EXPECT_FALSE(vdcp->IsKindOf(static_cast<iRtc *>(nullptr)));

    tagInterface unknown{nullptr, 0, &IID_IUnknown};
    EXPECT_EQ(src->AddInterface(&unknown), 1);
    EXPECT_EQ(src->AddInterface(nullptr), 0);
    EXPECT_TRUE(src->IsKindOf(&IID_IUnknown));
    EXPECT_FALSE(vdcp->IsKindOf(&IID_IUnknown)) << "the father's map is not the son's";
    EXPECT_FALSE(src->IsKindOf(&IID_IClassFactory));
    EXPECT_FALSE(src->IsKindOf(static_cast<const GUID *>(nullptr)));
}

TEST_F(RtcTree, TotalSonsAreListedBreadthFirst)
{
    CRtcArray array;
    array.SetSize(1); // kept: sons are appended
    EXPECT_EQ(root->GetTotalSonRtc(&array), 7);
    std::vector<iRtc *> expected{nullptr,      kestnut.get(), system.get(), src.get(),
                                 device.get(), vdcp.get(),    deepSrc.get()};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(array.GetAt(i), expected[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(vdcp->GetTotalSonRtc(&array), 7) << "no sons, nothing added";
}

TEST_F(RtcTree, ListsRefuseNullsAndDuplicatesAndRemoveTheRightEntry)
{
    int a = 0, b = 0;
    EXPECT_EQ(src->RegisterInstance(&a), 1);
    EXPECT_EQ(src->RegisterInstance(&a), 0);
    EXPECT_EQ(src->RegisterInstance(nullptr), 0);
    EXPECT_EQ(src->RegisterInstance(&b), 1);
    EXPECT_EQ(src->GetInstanceCount(), 2);
    EXPECT_EQ(src->UnregisterInstance(&a), 1);
    EXPECT_EQ(src->UnregisterInstance(&a), 0);
    EXPECT_EQ(src->GetInstance(0), &b);
    EXPECT_EQ(src->GetInstance(1), nullptr);

    // A son registered twice: unregistering removes the later entry.
    EXPECT_EQ(system->RegisterSon(vdcp.get()), 1);
    EXPECT_EQ(system->RegisterSon(device.get()), 1);
    EXPECT_EQ(system->RegisterSon(vdcp.get()), 1);
    EXPECT_EQ(system->RegisterSon(nullptr), 0);
    EXPECT_EQ(system->UnregisterSon(vdcp.get()), 1);
    EXPECT_EQ(system->GetSonRtcCount(), 2);
    EXPECT_EQ(system->GetSonRtc(0), vdcp.get());
    EXPECT_EQ(system->GetSonRtc(1), device.get());
    EXPECT_EQ(system->UnregisterSon(src.get()), 0);
    system->UnregisterSon(vdcp.get());
    system->UnregisterSon(device.get());

    tagDMethod m1{}, m2{};
    EXPECT_EQ(src->InstallDMethod(&m1), 1);
    EXPECT_EQ(src->InstallDMethod(&m2), 1);
    EXPECT_EQ(src->InstallDMethod(&m1), 0);
    EXPECT_EQ(src->UninstallDMethod(&m2), 1);
    EXPECT_EQ(src->GetDMethod(), &m1);
    EXPECT_EQ(mgr.taken, mgr.released);
}

TEST_F(RtcTree, InstanceListsStayWholeUnderConcurrentChange)
{
    auto base = Record(src.get(), "CBase");
    std::vector<int> objects(8 * 100);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                int *object = &objects[static_cast<size_t>(t * 100 + i)];
                EXPECT_EQ(base->RegisterInstance(object), 1);
                base->GetInstance(0);
                if (i % 2) {
                    EXPECT_EQ(base->UnregisterInstance(object), 1);
                }
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(base->GetInstanceCount(), 400);
}

namespace {
// An object that counts its references, for the factory.
class Counted final : public IClassA {
public:
    HRESULT QueryInterface(const GUID *, void **) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return static_cast<uint32_t>(refs++); }
    uint32_t Release() override { return static_cast<uint32_t>(refs--); }
    iRtc *GetObjectRtc() override { return nullptr; }
    int32_t IsValid() override { return 1; }
    int32_t Suicide() override { return 0; }
    IClassA **GetActivePtr() override { return nullptr; }
    int refs = 0;
};

Counted *g_pMade = nullptr;
void *MakeCounted(const GUID *)
{
    return static_cast<IClassA *>(g_pMade = new Counted);
}
int32_t DropCounted(void *object)
{
    delete static_cast<Counted *>(static_cast<IClassA *>(object));
    return 1;
}
} // namespace

TEST(RtcFactory, FactoryAnswersItsOwnInterfaceAndMakesListedOnes)
{
    CountingMgr mgr;
    CKestRtc rtc(&mgr, nullptr, "CCounted", "CCounted", "CCounted", sizeof(Counted), 0, nullptr,
                 MakeCounted, DropCounted);
    IClassFactory *factory = reinterpret_cast<IClassFactory *>(1);
    EXPECT_EQ(rtc.GetClassFactory(&factory), 1) << "IUnknown is not listed yet";
    EXPECT_EQ(factory, nullptr);
    tagInterface unknown{nullptr, 0, &IID_IUnknown};
    rtc.AddInterface(&unknown);

    ASSERT_EQ(rtc.GetClassFactory(&factory), 0);
    ASSERT_NE(factory, nullptr);

    void *out = reinterpret_cast<void *>(1);
    EXPECT_EQ(factory->QueryInterface(&IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr) << "an unknown interface clears the out-pointer";
    ASSERT_EQ(factory->QueryInterface(&IID_IClassFactory, &out), S_OK);
    EXPECT_EQ(out, factory);
    EXPECT_EQ(factory->Release(), 2u) << "Release returns the count before";

    out = reinterpret_cast<void *>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, &IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, &IID_IUnknown, &out), S_OK);
    ASSERT_EQ(static_cast<IClassA *>(out), static_cast<IClassA *>(g_pMade));
    EXPECT_EQ(g_pMade->refs, 1);
    EXPECT_EQ(rtc.DeleteInstance(out), 1);

    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(mgr.taken, 1);
    EXPECT_EQ(factory->Release(), 1u); // deleted here; ASan sees a leak or a double free
}

TEST(RtcArray, RemoveAtClampsItsArguments)
{
    CRtcArray array;
    auto fill = [&] {
        array.SetSize(0);
        array.SetSize(5);
        for (int i = 0; i < 5; ++i)
            array.SetAt(i, reinterpret_cast<iRtc *>(static_cast<intptr_t>(i + 1)));
    };
    auto at = [&](int i) { return static_cast<int>(reinterpret_cast<intptr_t>(array.GetAt(i))); };

    fill();
    EXPECT_EQ(array.RemoveAt(-3, 2), 2) << "a negative index counts as 0";
    EXPECT_EQ(at(0), 3);
    fill();
    EXPECT_EQ(array.RemoveAt(5, 1), 0);
    EXPECT_EQ(array.GetSize(), 5);
    EXPECT_EQ(array.RemoveAt(3, -1), 2) << "a negative count removes the rest";
    EXPECT_EQ(array.GetSize(), 3);
    fill();
    EXPECT_EQ(array.RemoveAt(1, 100), 4);
    EXPECT_EQ(array.GetSize(), 1);
    EXPECT_EQ(array.GetAt(1), nullptr);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_EQ(array.SetAt(1, nullptr), 0);
    EXPECT_EQ(array.SetSize(-1), 0);
}
