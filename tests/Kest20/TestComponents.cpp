#include "tests/Kest20/TestComponents.h"

IMPLEMENT_KEST_CLASS(CHookedDevice, CKestnut)
IMPLEMENT_KEST_CLASS(CTestSource, CHookedDevice, "test source", "Test.Source")
IMPLEMENT_KEST_CLASS(CTestSwitcher, CKestnut)
IMPLEMENT_KEST_CLASS(CJournaled, CKestnut)

std::vector<std::string> &CJournaled::Journal()
{
    // Kept past the exit handlers: the registry deletes what is left at exit.
    static auto *journal = new std::vector<std::string>;
    return *journal;
}
