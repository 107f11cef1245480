// The instance registry (framework core 2): the list of every live framework object, the list
// of the objects it created itself, and creation of components by instance name. Closing it
// deletes the objects it created.
#pragma once

#include "Kest20/ClassA.h"
#include "Kest20/InstanceRegistryIndex.h"
#include "Kest20/KestCore.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CNamedLocks.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Sync.h"

#include <mutex>
#include <vector>

class CKestCore_ClassA {
public:
    CKestCore_ClassA() = default;
    // Deletes the created objects (see CClassA_DeleteObjects) and frees the lists.
    ~CKestCore_ClassA();
    CKestCore_ClassA(const CKestCore_ClassA &) = delete;
    CKestCore_ClassA &operator=(const CKestCore_ClassA &) = delete;

    CClassA *exGetInstanceByName(iRtc *base, const char *name);
    CClassA *exCreateComponent(const char *name, const char *setting, iRtc *base, int activate);
    // 1 when `object` is in the list of live objects.
    int exIsValidAddress(const void *object);
    // A copy of the list of live objects, in registration order.
    std::vector<CClassA *> GetLiveObjects();
    int FindObjectInResource(CString &setting, const char *name, iRtc *base, CStringArray &roots);

    void CClassA_RegisterInstance(CClassA *object);
    void CClassA_UnRegisterInstance(CClassA *object);
    // Lists the object again under the name it has now.
    void CClassA_RenameInstance(CClassA *object);
    // Deactivates with kill from last to first, then deletes from last to first; only entries
    // that are live objects are touched.
    void CClassA_DeleteObjects(const std::vector<CClassA *> &objects);

private:
    CClassA *CreateNamed(const CString &name, const CString &setting, iRtc *base);
    bool IsLive(CClassA *object);
    // The first live object named `name` below `base`, breadth-first over the class records.
    CClassA *ScanByName(iRtc *base, const char *name);

    // Over the lists and the index; never held while an object is called but for the getters
    // of its name and class.
    CDataLock m_lock;
    std::vector<CClassA *> m_live;
    CInstanceIndex m_index;
    std::vector<CClassA *> m_created;
    CNamedLocks m_creation; // one thread at a time finds, creates and activates a name
};

using CClassACore = CKestCore<CKestCore_ClassA, 2>;
