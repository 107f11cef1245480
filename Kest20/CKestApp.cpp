#include "Kest20/CSystem.h"

#include "Kest20/KestCore_ClassA.h"
#include "KestLib20/StringAnalysis.h"

#include <algorithm>
#include <atomic>

namespace {

// Set when the application object has gone at unload; constant-initialised, so it stays
// readable by whatever runs after.
std::atomic<bool> g_appGone{false};

class CAppHolder {
public:
    explicit CAppHolder(CKestApp *app) : m_pApp(app) {}
    ~CAppHolder()
    {
        g_appGone.store(true);
        delete m_pApp;
    }
    CAppHolder(const CAppHolder &) = delete;
    CAppHolder &operator=(const CAppHolder &) = delete;

    CKestApp *Get() const { return m_pApp; }

private:
    CKestApp *m_pApp;
};

// A start-list object may have gone before its turn: an "Object" entry can name it too.
bool IsLive(CClassA *object)
{
    CKestCore_ClassA *registry = CClassACore::GetCore();
    return !registry || registry->exIsValidAddress(object);
}

} // namespace

IMPLEMENT_KEST_CLASS(CKestApp, CSystem)

CKestApp::CKestApp() = default;

CKestApp *CKestApp::Kest()
{
    if (g_appGone.load()) return nullptr;
    static CAppHolder holder(new CKestApp);
    return holder.Get();
}

int CKestApp::_Start(const char *classes)
{
    InitInstance(nullptr, nullptr);
    ActiveInstance();
    OpenDevice();

    CStringArray names;
    StringAnalysis_Array(classes, ',', names);
    iRtc *nut = CKestnut::GetClassID();
    for (const CString &name : names) {
        iRtc *rtc = nut->FindByNames(name);
        if (!rtc) rtc = nut->FindByNames("C" + name);
        if (!rtc || rtc == nut) continue;
        if (std::any_of(m_started.begin(), m_started.end(),
                        [rtc](CClassA *object) { return object->GetObjectRtc() == rtc; }))
            continue;
        void *instance = rtc->CreateInstance(nullptr);
        if (!instance) continue;
        auto *object = static_cast<CClassA *>(static_cast<IClassA *>(instance));
        object->InitInstance(nullptr, nullptr);
        m_started.push_back(object);
    }
    for (CClassA *object : m_started) object->ActiveInstance();

    CreateAutoObject();
    return static_cast<int>(m_started.size());
}

int CKestApp::_Close()
{
    DeleteAutoObject();
    for (auto it = m_started.rbegin(); it != m_started.rend(); ++it)
        if (IsLive(*it)) (*it)->DeactiveInstance(1);
    for (auto it = m_started.rbegin(); it != m_started.rend(); ++it)
        if (IsLive(*it)) (*it)->Suicide();
    m_started.clear();
    DeactiveAllInstance();
    CloseDevice();
    return 1;
}
