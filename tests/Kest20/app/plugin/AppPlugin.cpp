// A library that registers one framework class while it loads, for the tests of the "DLL" key
// and of glUsingLibrary: the class can be started by name only once the library is loaded.
#include "Kest20/ClassA.h"

#include <unistd.h>

class CPluginThing : public CKestnut {
    DECLARE_KEST_CLASS(CPluginThing)

    int32_t OnActiveInstance() override
    {
        static const char line[] = "active CPluginThing\n";
        return write(1, line, sizeof line - 1) >= 0 ? 1 : 0;
    }
};

IMPLEMENT_KEST_CLASS(CPluginThing, CKestnut)
