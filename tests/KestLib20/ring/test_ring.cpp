// The module ring across real modules: this program, libKest20 and two test libraries, each
// with its own copy of the framework library, loaded and unloaded at run time.
#include "tests/KestLib20/ring/RingProbe.h"

#include "tests/Kest20/FakeSettings.h"

#include "Kest20/ClassA.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/KestModule.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

extern "C" const RingProbe *KestRingProbe();

namespace {

const RingProbe *Program()
{
    return KestRingProbe();
}

// One test library, loaded for the life of the object (or until Unload).
class ProbeLibrary {
public:
    explicit ProbeLibrary(const char *name) : m_handle(plat::LoadLibrary(name))
    {
        if (!m_handle) return;
        auto entry =
            reinterpret_cast<RingProbeEntry>(plat::GetProcAddress(m_handle, "KestRingProbe"));
        m_probe = entry ? entry() : nullptr;
    }
    ~ProbeLibrary() { Unload(); }
    ProbeLibrary(const ProbeLibrary &) = delete;
    ProbeLibrary &operator=(const ProbeLibrary &) = delete;

    void Unload()
    {
        if (m_handle) plat::FreeLibrary(m_handle);
        m_handle = nullptr;
        m_probe = nullptr;
    }
    const RingProbe *operator->() const { return m_probe; }
    const RingProbe *get() const { return m_probe; }

private:
    void *m_handle;
    const RingProbe *m_probe = nullptr;
};

std::string MainVariable()
{
    char name[64];
    snprintf(name, sizeof name, "kest_main_module_ptr_for_process_%X", plat::GetCurrentProcessId());
    return name;
}

std::string MainValue(uint64_t address, uint32_t pid, uint64_t sum)
{
    char value[64];
    snprintf(value, sizeof value, "%016" PRIX64 "%08" PRIX32 "%016" PRIX64, address, pid, sum);
    return value;
}

// An address that no access may touch: a page reserved without any access right, kept for
// the process (a page given back could be reused by the next library loaded).
void *UnmappedAddress()
{
    static void *const page =
        mmap(nullptr, sysconf(_SC_PAGESIZE), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page == MAP_FAILED ? nullptr : page;
}

// Puts the program's main module back when a test has rewritten the variable.
class MainVariableGuard {
public:
    MainVariableGuard() : m_pSaved(GetMainModulePtr()) {}
    ~MainVariableGuard() { SetMainModulePtr(m_pSaved); }
    MainVariableGuard(const MainVariableGuard &) = delete;
    MainVariableGuard &operator=(const MainVariableGuard &) = delete;
    CKestModule *Saved() const { return m_pSaved; }

private:
    CKestModule *m_pSaved;
};

class ModuleRing : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = Program()->moduleCount();
        ASSERT_GE(m_base, 2) << "this program and libKest20";
        m_a = std::make_unique<ProbeLibrary>("KestRingA");
        m_b = std::make_unique<ProbeLibrary>("KestRingB");
        ASSERT_NE(A(), nullptr);
        ASSERT_NE(B(), nullptr);
    }

    const RingProbe *A() const { return m_a->get(); }
    const RingProbe *B() const { return m_b->get(); }
    std::vector<const RingProbe *> All() const { return {Program(), A(), B()}; }

    int m_base = 0;
    std::unique_ptr<ProbeLibrary> m_a, m_b;
};

} // namespace

TEST_F(ModuleRing, EveryModuleCountsTheSameValidRingAndAgreesOnItsMain)
{
    std::set<CKestModule *> records;
    for (const RingProbe *p : All()) {
        SCOPED_TRACE(p->module);
        EXPECT_EQ(p->moduleCount(), m_base + 2);
        EXPECT_TRUE(p->ringValid());
        EXPECT_EQ(p->mainRecord(), Program()->mainRecord());
        records.insert(p->ownRecord());
    }
    EXPECT_EQ(records.size(), 3u);
}

TEST_F(ModuleRing, SlotWalkVisitsEachClassManagerOnceStartingWithItsOwn)
{
    void *before[64];
    m_b->Unload();
    m_a->Unload();
    int baseManagers = Program()->walkSlot(2, before, 64);
    ProbeLibrary a2("KestRingA"), b2("KestRingB");
    for (const RingProbe *p : {Program(), a2.get(), b2.get()}) {
        SCOPED_TRACE(p->module);
        void *seen[64];
        int n = p->walkSlot(2, seen, 64);
        ASSERT_EQ(n, baseManagers + 2);
        EXPECT_EQ(seen[0], p->classManager());
        std::set<void *> distinct(seen, seen + n);
        EXPECT_EQ(distinct.size(), static_cast<size_t>(n));
        for (void *m : {Program()->classManager(), a2->classManager(), b2->classManager(),
                        static_cast<void *>(glGetKestRuntimeClassMgr())})
            EXPECT_TRUE(distinct.count(m));
    }
}

TEST_F(ModuleRing, SelectedMainSlotIsTheSameFromEveryModuleAndForgottenWhenDeleted)
{
    const char *type = "Test.Ring.Select.1";
    int x = 1, y = 2;
    void **slotA = A()->newNamedPtr(type, "a", &x);
    void **slotB = B()->newNamedPtr(type, "b", &y);

    void **chosen = B()->selectMain(type);
    ASSERT_EQ(chosen, slotB) << "the walk from B meets B's own slot first";
    for (const RingProbe *p : All()) {
        SCOPED_TRACE(p->module);
        EXPECT_EQ(p->selectMain(type), chosen);
        EXPECT_EQ(p->getMain(type), chosen);
    }

    // Deleting the chosen slot leaves no manager pointing at it; the next choice is A's.
    EXPECT_EQ(B()->deleteNamedPtr(slotB), 1);
    for (const RingProbe *p : All()) EXPECT_EQ(p->getMain(type), nullptr) << p->module;
    EXPECT_EQ(Program()->selectMain(type), slotA);
    EXPECT_EQ(A()->deleteNamedPtr(slotA), 1);
    EXPECT_EQ(Program()->selectMain(type), nullptr);
}

TEST_F(ModuleRing, ClassesOfEveryModuleAreFoundAndCreatedFromEveryModule)
{
    iRtc *rtcA = A()->probeClass();
    iRtc *rtcB = B()->probeClass();
    ASSERT_NE(rtcA, nullptr);
    ASSERT_NE(rtcB, nullptr);
    for (const RingProbe *p : All()) {
        SCOPED_TRACE(p->module);
        EXPECT_EQ(p->findClass("CRingProbeA"), rtcA);
        EXPECT_EQ(p->findClass("cringprobeb"), rtcB);
        EXPECT_EQ(p->findClass("CClassA.CKestnut.CRingProbeA"), rtcA);
        EXPECT_TRUE(p->isKindOf(rtcA, CKestnut::GetClassID()));
        EXPECT_TRUE(p->isKindOf(rtcB, CClassA::GetClassID()));
        EXPECT_FALSE(p->isKindOf(rtcA, rtcB));
    }

    FakeSettings settings;
    settings.Set("/etc/tvx/RingObjA", "class", "CRingProbeA");
    CClassA *object = B()->createComponent("RingObjA");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetObjectRtc(), rtcA);
    EXPECT_EQ(object->GetObjectStatus(), OBJ_ACTIVE);
    EXPECT_EQ(A()->createComponent("ringobja"), object);
    EXPECT_EQ(glGetInstanceByName(rtcA, "RINGOBJA"), object);
    EXPECT_EQ(rtcA->GetInstanceCount(), 1);

    CPtrArray list;
    list.Add(object);
    EXPECT_EQ(glDeleteObjects(list), 1);
    EXPECT_EQ(rtcA->GetInstanceCount(), 0);
    EXPECT_EQ(glGetInstanceByName(CKestnut::GetClassID(), "RingObjA"), nullptr);
}

TEST_F(ModuleRing, UnloadingAModuleTakesItAndItsClassesOutOfTheRing)
{
    m_a->Unload();
    for (const RingProbe *p : {Program(), B()}) {
        SCOPED_TRACE(p->module);
        EXPECT_EQ(p->moduleCount(), m_base + 1);
        EXPECT_TRUE(p->ringValid());
        EXPECT_EQ(p->findClass("CRingProbeA"), nullptr);
        EXPECT_NE(p->findClass("CRingProbeB"), nullptr);
    }
    ProbeLibrary again("KestRingA");
    ASSERT_NE(again.get(), nullptr);
    EXPECT_EQ(Program()->moduleCount(), m_base + 2);
    EXPECT_EQ(Program()->findClass("CRingProbeA"), again->probeClass());
}

TEST(ModuleRingVariable, ValuesOfTheWrongShapeOrAnotherProcessAreIgnored)
{
    MainVariableGuard guard;
    const int base = Program()->moduleCount();
    const uint64_t address = reinterpret_cast<uintptr_t>(guard.Saved());
    const uint32_t pid = plat::GetCurrentProcessId();
    const std::string valid = MainValue(address, pid, address + pid);
    alignas(CKestModule) unsigned char notARecord[sizeof(CKestModule)] = {};
    const uint64_t bogus = reinterpret_cast<uintptr_t>(notARecord);
    char old24[32];
    snprintf(old24, sizeof old24, "%08X%08X%08X", static_cast<uint32_t>(address), pid,
             static_cast<uint32_t>(address) + pid);

    const std::map<std::string, std::string> ignored = {
        {"39 characters", valid.substr(0, 39)},
        {"41 characters", valid + "0"},
        {"24-character form", old24},
        {"another process", MainValue(address, pid + 1, address + pid + 1)},
        {"wrong sum", MainValue(address, pid, address + pid + 1)},
        {"not a record", MainValue(bogus, pid, bogus + pid)},
        {"not hexadecimal", "G" + valid.substr(1)},
        {"empty", ""},
    };
    for (const auto &[what, value] : ignored) {
        SCOPED_TRACE(what);
        plat::SetEnv(MainVariable().c_str(), value.c_str());
        ProbeLibrary lib("KestRingA");
        ASSERT_NE(lib.get(), nullptr);
        EXPECT_EQ(lib->moduleCount(), 1) << "a ring of its own";
        EXPECT_EQ(lib->mainRecord(), lib->ownRecord());
        EXPECT_EQ(Program()->moduleCount(), base);
    }

    plat::SetEnv(MainVariable().c_str(), valid.c_str());
    ProbeLibrary joined("KestRingA");
    EXPECT_EQ(joined->moduleCount(), base + 1);
    EXPECT_EQ(joined->mainRecord(), guard.Saved());
}

TEST(ModuleRingVariable, MainRolePassesOnWhenTheMainModuleUnloads)
{
    MainVariableGuard guard;
    plat::SetEnv(MainVariable().c_str(), ""); // A starts a ring of its own
    ProbeLibrary a("KestRingA");
    ProbeLibrary b("KestRingB");
    ASSERT_NE(a.get(), nullptr);
    ASSERT_NE(b.get(), nullptr);
    EXPECT_EQ(a->mainRecord(), a->ownRecord());
    EXPECT_EQ(b->moduleCount(), 2);
    EXPECT_EQ(b->mainRecord(), a->ownRecord());

    a.Unload();
    EXPECT_EQ(b->moduleCount(), 1);
    EXPECT_TRUE(b->ringValid());
    EXPECT_EQ(b->mainRecord(), b->ownRecord());
    EXPECT_EQ(GetMainModulePtr(), b->ownRecord()) << "the variable is the process's";

    ProbeLibrary again("KestRingA");
    EXPECT_EQ(again->moduleCount(), 2);
    EXPECT_EQ(again->mainRecord(), b->ownRecord());
    EXPECT_TRUE(again->ringValid());
}

// Forged values of the main-module variable, each pointing at memory that is not all mapped.
struct ForgedMain {
    const char *what;
    // Fills the record found at the variable's address; null: the address itself is unmapped.
    bool (*forge)(CKestModule *record);
};

// Publishes the forged value, loads a library under it and answers 0 when the library
// started a ring of its own.
int LoadUnderForgedMain(const ForgedMain &forged)
{
    static CKestModule record;
    static CKestModule *variable = &record;
    static tagServEntry table[CKestModule::kServiceCount] = {};
    CKestModule *address = static_cast<CKestModule *>(UnmappedAddress());
    if (forged.forge) {
        record = {sizeof(CKestModule),
                  CKestModule::kMagic,
                  1,
                  CKestModule::kVersion,
                  &record,
                  &record,
                  table,
                  CKestModule::kServiceCount,
                  &variable};
        if (!forged.forge(&record)) return 3;
        address = &record;
    }
    if (!address) return 3;
    const uint64_t a = reinterpret_cast<uintptr_t>(address);
    const uint32_t pid = plat::GetCurrentProcessId();
    plat::SetEnv(MainVariable().c_str(), MainValue(a, pid, a + pid).c_str());
    ProbeLibrary lib("KestRingA");
    if (!lib.get()) return 4;
    if (lib->moduleCount() != 1 || lib->mainRecord() != lib->ownRecord()) return 5;
    fprintf(stderr, "own ring\n");
    return 0;
}

// A stale or forged variable may point anywhere: a library loading under it must start a
// ring of its own, not fault on reading the record. Each case runs in a child process, as a
// fault ends the process.
TEST(ModuleRingVariable, RecordsInUnmappedMemoryAreIgnoredWithoutFaulting)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ForgedMain cases[] = {
        {"unmapped record", nullptr},
        {"record whose variable is unmapped",
         [](CKestModule *r) {
             r->current = static_cast<CKestModule **>(UnmappedAddress());
             return r->current != nullptr;
         }},
        {"record whose slot table is unmapped",
         [](CKestModule *r) {
             r->services = static_cast<tagServEntry *>(UnmappedAddress());
             return r->services != nullptr;
         }},
        {"record whose previous record is unmapped",
         [](CKestModule *r) {
             r->prev = static_cast<CKestModule *>(UnmappedAddress());
             return r->prev != nullptr;
         }},
    };
    for (const ForgedMain &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(_exit(LoadUnderForgedMain(c)), ::testing::ExitedWithCode(0), "own ring");
    }
}
