// Export macro of the headless window layer (libKestUi.so).
#pragma once

// On ELF both the defining and the using side declare default visibility; everything else of
// the layer stays hidden (the build compiles with -fvisibility=hidden).
#define PLATUI_API __attribute__((visibility("default")))
