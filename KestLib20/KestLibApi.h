// Visibility of the framework library's types. Everything of KestLib20 is private to the
// module it is linked into; only value types that exported classes hold as members are
// visible, and those carry no module state, so sharing one definition between modules is safe.
#pragma once

#define KESTLIB_SHARED_TYPE __attribute__((visibility("default")))
