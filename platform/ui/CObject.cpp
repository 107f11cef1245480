#include "platform/ui/CObject.h"

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), nullptr, nullptr};

const CRuntimeClass *CObject::GetRuntimeClass() const
{
    return &classCObject;
}

CObject *CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass *base) const
{
    for (const CRuntimeClass *cls = this; cls; cls = cls->m_pBaseClass)
        if (cls == base) return true;
    return false;
}
