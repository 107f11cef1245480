// The setting-dialog registry: one registry per module published by named pointer, records
// held once, device classes matched without case and dialog keys exactly, collection up the
// run-time class tree across every module's registry, and making the pages.
#include "tests/dialogs/DialogTestKit.h"

#include "devext/device/CMxtDialogCollection.h"
#include "platform/ui/CPropertySheet.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Keys(const tagMxtDlgInfoArray &regs)
{
    std::vector<std::string> keys;
    for (CMxtDialogReg *reg : regs) keys.push_back(reg->m_strDialogKey.GetString());
    return keys;
}

std::vector<std::string> Collected(const char *cls, const CRuntimeClass *filter = nullptr,
                                   const char *key = nullptr)
{
    tagMxtDlgInfoArray found;
    found.Add(nullptr); // collection empties what it is given
    CMxtDialogCollection::Collect(found, cls, filter, key);
    return Keys(found);
}

std::vector<std::string> WithBases(const char *cls)
{
    tagMxtDlgInfoArray found;
    const int count = CMxtDialogCollection::CollectWithBases(found, cls);
    EXPECT_EQ(count, found.GetSize());
    return Keys(found);
}

} // namespace

TEST(DialogRegistry, EachModuleThatRegistersPublishesItsOwnRegistry)
{
    IKestNamedPtr *manager = nullptr;
    void **slot = nullptr;
    std::vector<IMxtDialogMgr *> registries;
    while (void **found = glGetNextNamedPtr(IMxtDialogMgr::kNamedPtrType, &manager, &slot))
        registries.push_back(static_cast<IMxtDialogMgr *>(*found));
    // The device library's (the object-property page), the driver library's (the broadcast
    // task panel) and this program's.
    ASSERT_EQ(registries.size(), 3u);
    IMxtDialogMgr &own = CMxtDialogMgr::ThisModule();
    EXPECT_NE(std::find(registries.begin(), registries.end(), &own), registries.end());
    EXPECT_EQ(*own.GetActivePtr(), static_cast<void *>(&own));
    EXPECT_EQ(own.Lock(1), 0);
    EXPECT_EQ(own.Lock(0), 0);
    EXPECT_EQ(own.Reserved(), 0);
    EXPECT_EQ(own.AddRef(), 2u);
    EXPECT_EQ(own.Release(), 1u);
}

TEST(DialogRegistry, ARecordIsHeldOnceAndLeavesWithItsObject)
{
    IMxtDialogMgr &registry = CMxtDialogMgr::ThisModule();
    {
        CMxtDialogReg reg(RUNTIME_CLASS(CTestBasePage), "Scoped_Dlg", "临时", "CScopedDevice");
        EXPECT_EQ(registry.Add(&reg), 0) << "already held";
        EXPECT_EQ(Collected("CScopedDevice"), (std::vector<std::string>{"Scoped_Dlg"}));
        EXPECT_EQ(registry.Remove(&reg), 1);
        EXPECT_EQ(registry.Remove(&reg), 0);
        EXPECT_TRUE(Collected("CScopedDevice").empty());
        EXPECT_EQ(registry.Add(&reg), 1);
    }
    EXPECT_TRUE(Collected("CScopedDevice").empty());
}

TEST(DialogRegistry, ClassesMatchWithoutCaseKeysExactlyAndFiltersByDialogClass)
{
    const std::vector<std::string> all{"Line_Setting_Dlg", "Test_Control_Dlg", "Popup_Dlg",
                                       "Plain_Page_Dlg"};
    EXPECT_EQ(Collected("ctestdevline"), all);
    EXPECT_EQ(Collected("CTestDevLine", nullptr, ""), all);
    EXPECT_EQ(Collected("CTestDevLine", nullptr, "Line_Setting_Dlg"),
              (std::vector<std::string>{"Line_Setting_Dlg"}));
    EXPECT_TRUE(Collected("CTestDevLine", nullptr, "line_setting_dlg").empty());
    EXPECT_EQ(Collected("CTestDevLine", RUNTIME_CLASS(CControlDlg)),
              (std::vector<std::string>{"Test_Control_Dlg"}));
    EXPECT_EQ(Collected("CTestDevLine", RUNTIME_CLASS(CPropertyPage)),
              (std::vector<std::string>{"Line_Setting_Dlg", "Plain_Page_Dlg"}));
    EXPECT_TRUE(Collected(nullptr).empty());
}

TEST(DialogRegistry, CollectionClimbsTheClassTreeAcrossEveryModulesRegistry)
{
    // Own pages first, then the base class's, then CClassA's page from the device library.
    EXPECT_EQ(
        WithBases("CTestDevLine"),
        (std::vector<std::string>{"Line_Setting_Dlg", "Test_Control_Dlg", "Popup_Dlg",
                                  "Plain_Page_Dlg", "Base_Setting_Dlg", "Class_Setting_Dlg"}));
    EXPECT_EQ(WithBases("ctestdevplain"),
              (std::vector<std::string>{"Base_Setting_Dlg", "Class_Setting_Dlg"}))
        << "a class without pages of its own gets its base's";
    EXPECT_TRUE(WithBases("CNoSuchClass").empty()) << "a name that is no class has no bases";
}

TEST(DialogCollection, MakesOnlyPagesOnceAndShowsNothingWithoutThem)
{
    CMxtDialogCollection pages("设备属性");
    EXPECT_EQ(pages.Prepare("CTestDevLine"), 6);
    EXPECT_EQ(pages.CreatePages(), 4);
    EXPECT_EQ(CTestSettingPage::s_live, 2); // line and base, beside the object-property page
    EXPECT_NE(dynamic_cast<CTestPlainPage *>(pages.GetPage(1)), nullptr);
    EXPECT_EQ(pages.CreatePages(), 4) << "once per collection";
    EXPECT_EQ(CTestSettingPage::s_live, 2);
    pages.Discard();
    EXPECT_EQ(CTestSettingPage::s_live, 0);
    EXPECT_EQ(pages.Prepare("CTestDevLine", RUNTIME_CLASS(CControlDlg)), 1);

    ui::CScriptedRunner runner;
    EXPECT_EQ(pages.Show(), 0);
    EXPECT_TRUE(runner.Runs().empty()) << "no sheet without pages";

    tagMxtDlgInfoArray uncreatable;
    CMxtDialogReg abstract(RUNTIME_CLASS(CPropertyPage), "Abstract_Dlg", "", "CAbstractDevice");
    uncreatable.Add(&abstract);
    pages.SetRegistrations(uncreatable);
    EXPECT_EQ(pages.CreatePages(), 0) << "a dialog that cannot be made is skipped";
}

TEST(DialogCollection, ShowRunsThePagesInOneSheetUnderTheCaption)
{
    CMxtDialogCollection pages("设备属性");
    pages.Prepare("CTestDevPlain", RUNTIME_CLASS(CObjectSettingDlg));
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &shown) {
        auto &sheet = dynamic_cast<CPropertySheet &>(shown);
        ASSERT_EQ(sheet.GetPageCount(), 2);
        EXPECT_NE(dynamic_cast<CTestBasePage *>(sheet.GetPage(0)), nullptr);
        ui::PressOK(shown);
    });
    EXPECT_EQ(pages.Show(), IDOK);
    EXPECT_EQ(runner.Runs(), (std::vector<CString>{"设备属性"}));
}
