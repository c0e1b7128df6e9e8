#pragma once
#include "host/Export.h"

// Blocks the calling thread for `milliseconds`.
ISILON_API void ZemSleep(unsigned int milliseconds, const char* file, int line);
// A test may replace the sleeper (for example to count or shorten waits); null restores the real one.
using ZemSleepHook = void (*)(unsigned int milliseconds, const char* file, int line);
ISILON_API void SetZemSleepHook(ZemSleepHook hook);

#define ZEMSLEEP(milliseconds, file, line) ZemSleep((milliseconds), (file), (line))
