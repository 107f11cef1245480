// Export macro of the platform layer library (libKestPlatform.so).
#pragma once

// On ELF both the defining and the using side declare default visibility; everything else of
// the layer stays hidden (the build compiles with -fvisibility=hidden).
#define PLAT_API __attribute__((visibility("default")))
