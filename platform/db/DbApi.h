// Export macro of the data layer (libKestDb.so).
#pragma once

// On ELF both the defining and the using side declare default visibility; everything else of
// the layer stays hidden (the build compiles with -fvisibility=hidden).
#define PLATDB_API __attribute__((visibility("default")))
