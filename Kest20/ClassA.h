// Framework objects. CClassA is the base of every framework object and the root of the
// run-time class tree (record "CClassA", registered name "Kest20.ClassA", no factory); every
// object is listed in the instance registry while it lives. CKestnut is the registering base
// of framework and device classes: its objects are listed in its record's instances.
#pragma once

#include "Kest20/ComponentA.h"
#include "Kest20/Kest20Api.h"
#include "KestLib20/ClassRtc.h"

class iRtcMgr;

class KEST20_API CClassA : public CComponentA {
public:
    // Lists the object in the instance registry (while the registry is open).
    CClassA();
    CClassA(const CClassA &other);
    // Both keep the registry's index by name up to date.
    CClassA &operator=(const CClassA &other);
    int32_t SetInstanceName(const char *name) override;
    // Deactivates with kill, then takes the object off the registry's lists.
    ~CClassA() override;

    static iRtc *GetClassID();
    iRtc *GetObjectRtc() override;
    // A live object of the instance registry; once the registry is closed objects are no
    // longer listed and every object counts as valid.
    int32_t IsValid() override;
};

class KEST20_API CKestnut : public CClassA {
    DECLARE_KEST_CLASS(CKestnut)

    CKestnut() = default;
    CKestnut(const CKestnut &other) : CClassA(other) {}
    CKestnut &operator=(const CKestnut &other) = default;
};

// This module's run-time class manager (built on first use), which holds the tree of CClassA.
KEST20_API iRtcMgr *glGetKestRuntimeClassMgr();
// The manager's root record: CClassA's.
KEST20_API iRtc *glGetKestRootRtc();
