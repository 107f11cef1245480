// The class library's run-time classes: every window class names its run-time class record,
// which knows its base and, for dynamically creatable classes, makes a new object. Dialog
// registries keep these records to create dialogs by class and to test what a dialog is.
//
//     class CMyPage : public CPropertyPage {
//         DECLARE_DYNCREATE(CMyPage)
//     public:
//         CMyPage();
//     };
//     IMPLEMENT_DYNCREATE(CMyPage, CPropertyPage)
//
// Both declaration macros leave the access at public.
#pragma once

#include "platform/ui/UiApi.h"

class CObject;

struct PLATUI_API CRuntimeClass {
    const char *m_lpszClassName;
    int m_nObjectSize;
    CObject *(*m_pfnCreateObject)(); // null for classes that are not dynamically creatable
    const CRuntimeClass *m_pBaseClass;

    // A new object of the class; null when the class cannot be created dynamically.
    CObject *CreateObject() const;
    // True when this class is `base` or derives from it.
    bool IsDerivedFrom(const CRuntimeClass *base) const;
};

class PLATUI_API CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass *GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass *cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                                                                \
public:                                                                                            \
    static const CRuntimeClass class##class_name;                                                  \
    const CRuntimeClass *GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                              \
    DECLARE_DYNAMIC(class_name)                                                                    \
    static CObject *CreateObject();

#define KEST_UI_IMPLEMENT_RUNTIMECLASS(class_name, base_name, create)                              \
    const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), create,  \
                                                         RUNTIME_CLASS(base_name)};                \
    const CRuntimeClass *class_name::GetRuntimeClass() const                                       \
    {                                                                                              \
        return RUNTIME_CLASS(class_name);                                                          \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_name)                                                   \
    KEST_UI_IMPLEMENT_RUNTIMECLASS(class_name, base_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_name)                                                 \
    CObject *class_name::CreateObject()                                                            \
    {                                                                                              \
        return new class_name;                                                                     \
    }                                                                                              \
    KEST_UI_IMPLEMENT_RUNTIMECLASS(class_name, base_name, &class_name::CreateObject)
