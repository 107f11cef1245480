// Component classes of the framework tests, registered by this test program.
#pragma once

#include "Kest20/ClassA.h"

#include <atomic>
#include <string>
#include <vector>

// Hooks whose results the test chooses; every call is counted.
class CHookedDevice : public CKestnut {
    DECLARE_KEST_CLASS(CHookedDevice)

    CHookedDevice() = default;
    CHookedDevice(const CHookedDevice &other) : CKestnut(other) {}

    int32_t OnInitInstance() override
    {
        ++inits;
        return initResult;
    }
    int32_t OnActiveInstance() override
    {
        ++actives;
        return activeResult;
    }
    int32_t OnDeactiveInstance() override
    {
        ++deactives;
        return deactiveResult;
    }
    int32_t OnKillInstance() override
    {
        ++kills;
        return 1;
    }

    int32_t initResult = 1;
    int32_t activeResult = 1;
    int32_t deactiveResult = 1;
    std::atomic<int> inits{0}, actives{0}, deactives{0}, kills{0};
};

// A source, a kind of hooked device.
class CTestSource : public CHookedDevice {
    DECLARE_KEST_CLASS(CTestSource)
};

// A class beside the sources.
class CTestSwitcher : public CKestnut {
    DECLARE_KEST_CLASS(CTestSwitcher)
};

// Records what happens to it in one shared journal.
class CJournaled : public CKestnut {
    DECLARE_KEST_CLASS(CJournaled)

    ~CJournaled() override { Journal().push_back("delete " + std::string(GetInstanceName())); }
    int32_t OnDeactiveInstance() override
    {
        Journal().push_back("deactivate " + std::string(GetInstanceName()));
        return 1;
    }
    static std::vector<std::string> &Journal();
};
