// Descriptions of device classes, recorded by the drivers for their class names when their
// module loads and read by setting pages and lists of device kinds.
#pragma once

#include "KestLib20/ClassRtc.h"
#include "devext/Devext20Api.h"

#include <cstdint>

// Records `text` as the description of the class `className` (names compare without case);
// a later call replaces it. Answers 0.
DEVEXT20_API int32_t SetDeviceDescription(const char *className, const char *text);
// The recorded description of `className`, or an empty text. The text stays valid for the
// life of the process, also when the description is replaced.
DEVEXT20_API const char *GetDeviceDescription(const char *className);

// Registers a device class when its module loads: its run-time class record (as
// IMPLEMENT_KEST_CLASS, with the record's further texts after the description) and its
// description under the class name.
#define IMPLEMENT_KEST_DEVICE(Class, Base, description, ...)                                       \
    IMPLEMENT_KEST_CLASS(Class, Base __VA_OPT__(, ) __VA_ARGS__)                                   \
    namespace {                                                                                    \
    [[maybe_unused]] const int32_t                                                                 \
        KEST_RTC_JOIN(g_kestDescribed, __LINE__) = SetDeviceDescription(#Class, description);      \
    }
