// Registration of a class's run-time record. A registering class puts DECLARE_KEST_CLASS in
// its declaration and IMPLEMENT_KEST_CLASS in one source file:
//
//     class CVideoSrcX : public CVideoSrcA {
//         DECLARE_KEST_CLASS(CVideoSrcX)
//         ...
//     };
//     IMPLEMENT_KEST_CLASS(CVideoSrcX, CVideoSrcA)              // names all "CVideoSrcX"
//     IMPLEMENT_KEST_CLASS(CVideoSrcX, CVideoSrcA, "description")
//     IMPLEMENT_KEST_CLASS(CVideoSrcX, CVideoSrcA, "description", "Registered.Name")
//
// The record is built while the module loads (so the class can be created by name from then
// on) and unhooked when the module unloads. Every object of the class is listed in the
// record's instances from the end of its base constructors to the start of its base
// destructors. The registering class derives from IClassA and has a DeactiveInstance(kill);
// DECLARE_KEST_CLASS leaves the declaration's access at public.
#pragma once

#include "KestLib20/IClassA.h"
#include "KestLib20/KestLibApi.h"
#include "KestLib20/KestRtc.h"

#include <new>
#include <type_traits>

// The record of class T, son of Base's record. Its factory makes T with its default
// constructor (no factory for an abstract class); its delete function deactivates the object
// with kill and destroys it (a class with EndBeforeDelete, a device, runs that first).
template <class T, class Base> class CClassRtc : public CKestRtc {
public:
    explicit CClassRtc(const char *className, const char *description = nullptr,
                       const char *registeredName = nullptr)
        : CKestRtc(nullptr, Base::GetClassID(), className, description ? description : className,
                   registeredName ? registeredName : className, static_cast<int32_t>(sizeof(T)), 0,
                   nullptr, Factory(), &DeleteObject)
    {
    }

    static void *CreateObject(const GUID *)
    {
        T *object = new (std::nothrow) T;
        return object ? static_cast<IClassA *>(object) : nullptr;
    }

    static int32_t DeleteObject(void *object)
    {
        if (!object) return 0;
        T *typed = static_cast<T *>(static_cast<IClassA *>(object));
        // A class whose objects other threads may be inside (a device) ends what they do and
        // lets them leave before any part of the object is destroyed; an object kept for a
        // thread that did not leave is not freed.
        if constexpr (requires { typed->EndBeforeDelete(); }) {
            if (!typed->EndBeforeDelete()) return 0;
        }
        typed->DeactiveInstance(1);
        delete typed;
        return 1;
    }

private:
    static constexpr RTC_CREATE Factory()
    {
        if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>)
            return &CreateObject;
        else
            return nullptr;
    }
};

// Lists its owner in a record's instances for as long as the owner lives. A copy of the owner
// gets an entry of its own (the owner's copy constructor leaves this member to its default
// initialiser); assigning owners leaves each entry as it is.
class KESTLIB_SHARED_TYPE CRtcInstanceEntry {
public:
    CRtcInstanceEntry(iRtc *rtc, IClassA *object) : m_pRtc(rtc), m_pObject(object)
    {
        m_pRtc->RegisterInstance(static_cast<void *>(m_pObject));
    }
    ~CRtcInstanceEntry() { m_pRtc->UnregisterInstance(static_cast<void *>(m_pObject)); }
    CRtcInstanceEntry(const CRtcInstanceEntry &) = delete;
    CRtcInstanceEntry &operator=(const CRtcInstanceEntry &) { return *this; }

private:
    iRtc *m_pRtc;
    IClassA *m_pObject;
};

#define DECLARE_KEST_CLASS(Class)                                                                  \
public:                                                                                            \
    static iRtc *GetClassID();                                                                     \
    iRtc *GetObjectRtc() override;                                                                 \
                                                                                                   \
private:                                                                                           \
    CRtcInstanceEntry m_kestRtcInstance{Class::GetClassID(), this};                                \
                                                                                                   \
public:

#define KEST_RTC_JOIN_(a, b) a##b
#define KEST_RTC_JOIN(a, b) KEST_RTC_JOIN_(a, b)

// Arguments pass through one more macro so that a macro naming the class is expanded first.
#define IMPLEMENT_KEST_CLASS(Class, Base, ...)                                                     \
    KEST_IMPLEMENT_CLASS_(Class, Base __VA_OPT__(, ) __VA_ARGS__)

#define KEST_IMPLEMENT_CLASS_(Class, Base, ...)                                                    \
    iRtc *Class::GetClassID()                                                                      \
    {                                                                                              \
        static CClassRtc<Class, Base> rtc(#Class __VA_OPT__(, ) __VA_ARGS__);                      \
        return &rtc;                                                                               \
    }                                                                                              \
    iRtc *Class::GetObjectRtc()                                                                    \
    {                                                                                              \
        return GetClassID();                                                                       \
    }                                                                                              \
    namespace {                                                                                    \
    [[maybe_unused]] iRtc *const KEST_RTC_JOIN(g_kestRtcRegistered,                                \
                                               __LINE__) = Class::GetClassID();                    \
    }
