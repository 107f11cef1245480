// Classes registered with DECLARE_KEST_CLASS / IMPLEMENT_KEST_CLASS under a root of this
// program's own: records built at load, objects listed while they live, factories.
#include "KestLib20/ClassRtc.h"
#include "KestLib20/KestRtcMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> &Events()
{
    static std::vector<std::string> events;
    return events;
}

CKestRtcMgr &Manager()
{
    static CKestRtcMgr manager; // this module's class manager, in service slot 2
    return manager;
}

// The root of this program's class tree, as CClassA is libKest20's.
class CTestObject : public IClassA {
public:
    static iRtc *GetClassID()
    {
        static CKestRtc root(&Manager(), nullptr, "CTestObject", "CTestObject", "Test.Object",
                             sizeof(CTestObject), 0, nullptr, nullptr, nullptr);
        return &root;
    }
    virtual ~CTestObject() { Events().push_back("destroy " + name); }

    HRESULT QueryInterface(const GUID *, void **object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 0; }
    uint32_t Release() override { return 0; }
    iRtc *GetObjectRtc() override { return GetClassID(); }
    int32_t IsValid() override { return 1; }
    int32_t Suicide() override
    {
        return GetObjectRtc()->DeleteInstance(static_cast<IClassA *>(this));
    }
    IClassA **GetActivePtr() override { return nullptr; }
    int32_t DeactiveInstance(int32_t kill)
    {
        Events().push_back("deactivate " + name + (kill ? " kill" : ""));
        return 1;
    }

    std::string name;
};

class CTestWidget : public CTestObject {
    DECLARE_KEST_CLASS(CTestWidget)

    CTestWidget() = default;
    CTestWidget(const CTestWidget &other) : CTestObject(other) {}
    CTestWidget &operator=(const CTestWidget &other) = default;
};

class CTestGadget : public CTestWidget {
    DECLARE_KEST_CLASS(CTestGadget)
};

class CTestAbstract : public CTestObject {
    DECLARE_KEST_CLASS(CTestAbstract)
    virtual void Shape() = 0;
};

// A widget whose constructor waits, up to 5 s, until the test lets it end.
std::atomic<int> g_slowStage{0}; // 1 in the constructor, 2 let go

class CTestSlow : public CTestWidget {
    DECLARE_KEST_CLASS(CTestSlow)

    CTestSlow()
    {
        g_slowStage = 1;
        for (int i = 0; i < 5000 && g_slowStage != 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

} // namespace

namespace shapes {
class CCircle : public CTestObject {
    DECLARE_KEST_CLASS(CCircle)
};
} // namespace shapes

IMPLEMENT_KEST_CLASS(CTestWidget, CTestObject, "部件", "Test.Widget")
IMPLEMENT_KEST_CLASS(CTestGadget, CTestWidget)
IMPLEMENT_KEST_CLASS(CTestAbstract, CTestObject, "abstract")
IMPLEMENT_KEST_CLASS(shapes::CCircle, CTestObject)
IMPLEMENT_KEST_CLASS(CTestSlow, CTestWidget)

TEST(ClassRegistration, ClassesAreInTheTreeFromLoadWithTheirNamesAndSize)
{
    iRtc *root = CTestObject::GetClassID();
    ASSERT_EQ(Manager().GetRootRtc(), root);
    iRtc *widget = root->FindByNames("Test.Widget");
    ASSERT_EQ(widget, CTestWidget::GetClassID());
    const tagClassInfo *info = widget->GetClassInfoA();
    EXPECT_STREQ(info->lpszClassName, "CTestWidget");
    EXPECT_STREQ(info->lpszDescription, "部件");
    EXPECT_EQ(info->nObjectSize, static_cast<int32_t>(sizeof(CTestWidget)));
    EXPECT_EQ(info->pClassId, nullptr);

    const tagClassInfo *gadget = CTestGadget::GetClassID()->GetClassInfoA();
    EXPECT_STREQ(gadget->lpszDescription, "CTestGadget") << "names default to the class name";
    EXPECT_STREQ(gadget->lpszRegisteredName, "CTestGadget");
    EXPECT_EQ(CTestGadget::GetClassID()->GetFatherRtc(), widget);
    EXPECT_EQ(root->FindByNames("shapes::CCircle"), shapes::CCircle::GetClassID());

    EXPECT_EQ(iRtc::vFindByNames("CTestWidget.CTestGadget"), CTestGadget::GetClassID());
    EXPECT_EQ(iRtc::vFind(widget, iRtc::FIND_RTC), widget);
    EXPECT_EQ(iRtc::vFindByNames("CNowhere"), nullptr);
}

TEST(ClassRegistration, ObjectsAreListedByEveryRegisteringClassWhileTheyLive)
{
    iRtc *widgets = CTestWidget::GetClassID();
    iRtc *gadgets = CTestGadget::GetClassID();
    {
        CTestGadget gadget;
        IClassA *asObject = &gadget;
        EXPECT_EQ(gadgets->GetInstanceCount(), 1);
        EXPECT_EQ(gadgets->GetInstance(0), asObject);
        EXPECT_EQ(widgets->GetInstance(0), asObject);
        EXPECT_EQ(gadget.GetObjectRtc(), gadgets);
        EXPECT_TRUE(gadget.IsKindOf(widgets));
        EXPECT_FALSE(gadget.IsKindOf(CTestAbstract::GetClassID()));
        EXPECT_EQ(CTestObject::GetClassID()->GetInstanceCount(), 0) << "the root does not list";

        CTestWidget plain;
        CTestWidget copy(plain);
        EXPECT_EQ(widgets->GetInstanceCount(), 3) << "a copy is listed on its own";
        copy = plain;
        EXPECT_EQ(widgets->GetInstanceCount(), 3) << "assignment keeps both entries";
    }
    EXPECT_EQ(widgets->GetInstanceCount(), 0);
    EXPECT_EQ(gadgets->GetInstanceCount(), 0);
}

TEST(ClassRegistration, FactoryMakesTheClassAndDeleteDeactivatesBeforeDestroying)
{
    iRtc *gadgets = CTestGadget::GetClassID();
    void *made = gadgets->CreateInstance(nullptr);
    ASSERT_NE(made, nullptr);
    auto *gadget = static_cast<CTestGadget *>(static_cast<IClassA *>(made));
    EXPECT_EQ(gadgets->GetInstance(0), made);
    gadget->name = "g";

    Events().clear();
    EXPECT_EQ(gadget->Suicide(), 1);
    EXPECT_EQ(Events(), (std::vector<std::string>{"deactivate g kill", "destroy g"}));
    EXPECT_EQ(gadgets->GetInstanceCount(), 0);

    EXPECT_EQ(CTestAbstract::GetClassID()->CreateInstance(nullptr), nullptr) << "no factory";
    EXPECT_EQ(CTestObject::GetClassID()->DeleteInstance(made), 0) << "no delete function";
}

TEST(ClassRegistration, AnObjectAFactoryIsMakingIsListedOnlyOnceItIsWhole)
{
    iRtc *slow = CTestSlow::GetClassID();
    iRtc *widgets = CTestWidget::GetClassID();
    g_slowStage = 0;
    void *made = nullptr;
    std::thread maker([&] { made = slow->CreateInstance(nullptr); });
    for (int i = 0; i < 5000 && g_slowStage != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(g_slowStage, 1);
    // Its bases are made and its records have it, but no enumeration hands it out yet.
    EXPECT_EQ(slow->GetInstanceCount(), 0);
    EXPECT_EQ(widgets->GetInstanceCount(), 0);
    EXPECT_EQ(widgets->GetInstance(0), nullptr);
    g_slowStage = 2;
    maker.join();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(slow->GetInstanceCount(), 1);
    EXPECT_EQ(widgets->GetInstance(0), made);
    EXPECT_EQ(widgets->GetInstance(-1), nullptr);
    static_cast<IClassA *>(made)->Suicide();
    EXPECT_EQ(widgets->GetInstanceCount(), 0);
}
