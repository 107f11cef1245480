// Run-time class records: one process-wide record per class that can be created by name or
// asked what it is. Records form a tree mirroring the class hierarchy (father and sons) and
// carry the class's names, object size, factory pair and list of live instances.
//
// Objects pass through a record as `void *` holding the object's IClassA address (see
// IClassA.h): factories return it, instance lists hold it, delete functions take it.
#pragma once

#include "platform/ComTypes.h"

#include <cstdint>
#include <vector>

class iRtc;
class iRtcMgr;
class IRtcArray;

// What a record says about its class. The texts are the registering module's constants.
struct tagClassInfo {
    int32_t nObjectSize;
    int32_t nReserved; // every registration passes 0
    const char *lpszClassName;
    const char *lpszDescription;
    const char *lpszRegisteredName;
    const GUID *pClassId; // may be null
};

// A dynamic method, linked through its first word.
struct tagDMethod {
    tagDMethod *pNext;
};

// An interface the class's objects answer: link, one word nothing reads, interface id.
struct tagInterface {
    tagInterface *pNext;
    intptr_t nReserved;
    const GUID *pIid;
};

using RTC_CREATE = void *(*)(const GUID *classId);
using RTC_DELETE = int32_t (*)(void *object);

class iRtc {
public:
    enum FindMode { FIND_CLASSNAME = 1, FIND_REGNAME = 2, FIND_CLASSID = 3, FIND_RTC = 4 };

    virtual tagClassInfo *GetClassInfoA() = 0;
    virtual iRtcMgr *GetRtcMgr() = 0;
    virtual iRtc *GetFatherRtc() = 0;
    virtual iRtc *GetSonRtc(int32_t index) = 0;
    virtual int32_t GetSonRtcCount() = 0;
    virtual int32_t RegisterSon(iRtc *son) = 0;
    virtual int32_t UnregisterSon(iRtc *son) = 0;
    virtual tagDMethod *GetDMethod() = 0;
    virtual int32_t InstallDMethod(tagDMethod *method) = 0;
    virtual int32_t UninstallDMethod(tagDMethod *method) = 0;
    virtual void *CreateInstance(const GUID *classId) = 0;
    virtual int32_t DeleteInstance(void *object) = 0;
    virtual int32_t RegisterInstance(void *object) = 0;
    virtual int32_t UnregisterInstance(void *object) = 0;
    virtual void *GetInstance(int32_t index) = 0;
    virtual int32_t GetInstanceCount() = 0;
    virtual int32_t GetClassFactory(IClassFactory **factory) = 0;
    virtual int32_t AddInterface(tagInterface *entry) = 0;
    virtual tagInterface *GetInterfaceMap() = 0;

    // Breadth-first over this record and everything below it; the first match or null.
    // Modes 1 and 2 take a text (leading blanks skipped, compared without case) matched
    // against the class name or the registered name; mode 3 a GUID; mode 4 a record.
    iRtc *Find(const void *key, int mode);
    // The registered name over the whole subtree first; else the text as a path of class
    // names separated by ".", blanks, "-" or ":" (cut to 120 bytes), each found below the
    // one before it.
    iRtc *FindByNames(const char *names);
    // True when `base` is this record or one of its fathers.
    bool IsKindOf(iRtc *base);
    // True when this record's own interface map lists `iid`.
    bool IsKindOf(const GUID *iid);
    // Appends every record below this one, breadth-first, to `array`; returns its size.
    int32_t GetTotalSonRtc(IRtcArray *array);

    // Find and FindByNames on the root record of every module's class manager, in ring order.
    static iRtc *vFind(const void *key, int mode);
    static iRtc *vFindByNames(const char *names);

protected:
    ~iRtc() = default;
};

// The record implementation. Son, instance and dynamic-method lists are guarded by the
// class manager's lock (records without a manager work unlocked); the interface map is
// filled while the class registers and is not locked.
class CKestRtc : public iRtc {
public:
    // Hooks the record under `father` (taking the father's manager), or makes it the root of
    // `manager` when there is no father.
    CKestRtc(iRtcMgr *manager, iRtc *father, const char *className, const char *description,
             const char *registeredName, int32_t objectSize, int32_t reserved, const GUID *classId,
             RTC_CREATE create, RTC_DELETE destroy);
    virtual ~CKestRtc();
    CKestRtc(const CKestRtc &) = delete;
    CKestRtc &operator=(const CKestRtc &) = delete;

    tagClassInfo *GetClassInfoA() override;
    iRtcMgr *GetRtcMgr() override;
    iRtc *GetFatherRtc() override;
    iRtc *GetSonRtc(int32_t index) override;
    int32_t GetSonRtcCount() override;
    int32_t RegisterSon(iRtc *son) override;
    int32_t UnregisterSon(iRtc *son) override;
    tagDMethod *GetDMethod() override;
    int32_t InstallDMethod(tagDMethod *method) override;
    int32_t UninstallDMethod(tagDMethod *method) override;
    void *CreateInstance(const GUID *classId) override;
    int32_t DeleteInstance(void *object) override;
    int32_t RegisterInstance(void *object) override;
    int32_t UnregisterInstance(void *object) override;
    void *GetInstance(int32_t index) override;
    int32_t GetInstanceCount() override;
    int32_t GetClassFactory(IClassFactory **factory) override;
    int32_t AddInterface(tagInterface *entry) override;
    tagInterface *GetInterfaceMap() override;

private:
    tagClassInfo m_info;
    iRtcMgr **m_ppMgr;
    iRtc *m_pFather;
    std::vector<iRtc *> m_sons;
    tagDMethod *m_pDMethods = nullptr;
    tagInterface *m_pInterfaces = nullptr;
    RTC_CREATE m_pfnCreate;
    RTC_DELETE m_pfnDelete;
    // An object made by a factory is listed as soon as its class's constructor starts, but
    // counted and handed out only once the factory has it whole.
    struct Instance {
        void *object;
        bool made;
    };
    std::vector<Instance> m_instances;
};
