#include "Kest20/ClassA.h"

#include "Kest20/KestCore_ClassA.h"
#include "KestLib20/KestRtcMgr.h"

CClassA::CClassA()
{
    if (CKestCore_ClassA *registry = CClassACore::OpenCore())
        registry->CClassA_RegisterInstance(this);
}

CClassA::CClassA(const CClassA &other) : CComponentA(other)
{
    if (CKestCore_ClassA *registry = CClassACore::OpenCore())
        registry->CClassA_RegisterInstance(this);
}

CClassA &CClassA::operator=(const CClassA &other)
{
    CComponentA::operator=(other);
    if (CKestCore_ClassA *registry = CClassACore::GetCore()) registry->CClassA_RenameInstance(this);
    return *this;
}

int32_t CClassA::SetInstanceName(const char *name)
{
    const int32_t result = CComponentA::SetInstanceName(name);
    if (CKestCore_ClassA *registry = CClassACore::GetCore()) registry->CClassA_RenameInstance(this);
    return result;
}

CClassA::~CClassA()
{
    DeactiveInstance(1);
    if (CKestCore_ClassA *registry = CClassACore::GetCore())
        registry->CClassA_UnRegisterInstance(this);
}

iRtc *CClassA::GetClassID()
{
    static CKestRtc root(glGetKestRuntimeClassMgr(), nullptr, "CClassA", "CClassA", "Kest20.ClassA",
                         static_cast<int32_t>(sizeof(CClassA)), 0, nullptr, nullptr, nullptr);
    return &root;
}

iRtc *CClassA::GetObjectRtc()
{
    return GetClassID();
}

int32_t CClassA::IsValid()
{
    CKestCore_ClassA *registry = CClassACore::GetCore();
    return registry ? registry->exIsValidAddress(this) : 1;
}

namespace {
[[maybe_unused]] iRtc *const g_rootRegistered = CClassA::GetClassID();
}

IMPLEMENT_KEST_CLASS(CKestnut, CClassA)

iRtcMgr *glGetKestRuntimeClassMgr()
{
    static CKestRtcMgr manager;
    return &manager;
}

iRtc *glGetKestRootRtc()
{
    return glGetKestRuntimeClassMgr()->GetRootRtc();
}
