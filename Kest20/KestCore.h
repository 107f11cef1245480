// The framework's cores: process-wide objects (the instance registry, the log core) that are
// opened on first use, at most once per process, and shut down in reverse order of opening by
// CloseApplication and again at process exit. A core is added by instantiating CKestCore with
// its class and core number.
#pragma once

#include "Kest20/Kest20Api.h"
#include "KestLib20/CDataLock.h"

class KEST20_API CKestCore_Mgr {
public:
    static constexpr int kMaxCores = 64;
    using SHUTDOWN = void (*)(void *core);
    using CREATE = void *(*)();

    // The process's core manager. It is never destroyed; its exit handler shuts every core
    // still open down.
    static CKestCore_Mgr &Mgr();

    // Records the core's shutdown function; the first registration of a number holds.
    void Register(int core, SHUTDOWN shutdown);
    // The open core object: created by `create` on the first call, null once it has been shut
    // down (or while it shuts down).
    void *Open(int core, SHUTDOWN shutdown, CREATE create);
    // The open core object without opening it, also while it shuts down; null otherwise.
    void *Current(int core);
    // Shuts an open core down (its shutdown function deletes it): 1, or 0 for a core number
    // without a record.
    int ShotDown(int core);
    // Shuts every core down, the last opened first.
    void ShutDownAll();

    CKestCore_Mgr(const CKestCore_Mgr &) = delete;
    CKestCore_Mgr &operator=(const CKestCore_Mgr &) = delete;

private:
    CKestCore_Mgr() = default;

    struct Record {
        SHUTDOWN shutdown = nullptr;
        void *core = nullptr;
        bool registered = false;
        bool openedOnce = false;
        bool closing = false;
    };

    Record *RecordOf(int core);

    CDataLock m_lock;
    Record m_cores[kMaxCores];
    int m_order[kMaxCores] = {};
    int m_nOrder = 0;
};

// Core `kCore` of class TCore, created with its default constructor and shut down by deleting
// it.
template <class TCore, int kCore> class CKestCore {
    static_assert(kCore >= 0 && kCore < CKestCore_Mgr::kMaxCores, "core numbers are 0..63");

public:
    static void Register() { CKestCore_Mgr::Mgr().Register(kCore, &ShutKestCore); }
    static TCore *OpenCore()
    {
        return static_cast<TCore *>(CKestCore_Mgr::Mgr().Open(kCore, &ShutKestCore, &NewCore));
    }
    // For leaving a core (unregistering) without opening it.
    static TCore *GetCore() { return static_cast<TCore *>(CKestCore_Mgr::Mgr().Current(kCore)); }
    static void ShutKestCore(void *core) { delete static_cast<TCore *>(core); }

private:
    static void *NewCore() { return new TCore; }
};

// Shuts every framework core down (CKestCore_Mgr::ShutDownAll).
KEST20_API void glCoreShutDown();
