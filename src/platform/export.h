// Visibility of the platform layer's interface. Only what carries
// HOVANE_PLATFORM_API is exported from libhovane-platform.so.
#pragma once

#if defined(HOVANE_PLATFORM_BUILD)
#define HOVANE_PLATFORM_API __attribute__((visibility("default")))
#else
#define HOVANE_PLATFORM_API
#endif
