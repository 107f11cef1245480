// Export macro of libDevext20.so: marks what the deliverable exports to the modules that load it.
#pragma once

// ELF needs default visibility on both the defining and the using side; the rest of the
// deliverable (its own copy of KestLib20 included) stays hidden.
#define DEVEXT20_API __attribute__((visibility("default")))
