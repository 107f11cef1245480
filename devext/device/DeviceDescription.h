// Descriptions of device classes, recorded by the drivers for their class names when their
// module loads and read by setting pages and lists of device kinds.
#pragma once

#include "devext/Devext20Api.h"

#include <cstdint>

// Records `text` as the description of the class `className` (names compare without case);
// a later call replaces it. Answers 0.
DEVEXT20_API int32_t SetDeviceDescription(const char *className, const char *text);
// The recorded description of `className`, or an empty text. The text stays valid for the
// life of the process, also when the description is replaced.
DEVEXT20_API const char *GetDeviceDescription(const char *className);
