// What each module of the ring tests answers about the ring, from its own copy of the
// framework library: one table per module (the test program and the two test libraries).
#pragma once

class iRtc;
class CKestModule;
class CClassA;

struct RingProbe {
    const char *module;   // "program", "RingA" or "RingB"
    int (*moduleCount)(); // glGetModuleCount
    CKestModule *(*ownRecord)();
    CKestModule *(*mainRecord)(); // GetMainModulePtr
    bool (*ringValid)();          // IsValidModuleRing of the own record
    // The services met by walking slot `index` round the ring (glFindModuleServEntry),
    // written to `out` (at most `maximum`); returns how many, or -1 when the walk did not end.
    int (*walkSlot)(int index, void **out, int maximum);
    void *(*classManager)(); // this module's own class manager (slot 2)
    void **(*newNamedPtr)(const char *type, const char *name, void *value);
    int (*deleteNamedPtr)(void **slot);
    void **(*selectMain)(const char *type); // SmartSelectMainPtr
    void **(*getMain)(const char *type);    // glGetMainNamedPtr
    // A class of this module derived from CKestnut (null for the program).
    iRtc *(*probeClass)();
    iRtc *(*findClass)(const char *names);         // iRtc::vFindByNames
    bool (*isKindOf)(iRtc *rtc, iRtc *base);       // iRtc::IsKindOf in this module's copy
    CClassA *(*createComponent)(const char *name); // glCreateComponent under CKestnut
};

using RingProbeEntry = const RingProbe *(*)();
