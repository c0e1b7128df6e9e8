#pragma once
/// @file
/// The host's sleep: every wait of the library (retry back-offs, the change-list and SyncIQ
/// polls) goes through ZemSleep.
#include "host/Export.h"

/// Blocks the calling thread for `milliseconds`, or calls the installed hook instead.
/// `file` and `line` name the caller, for the hook. Safe from any thread.
ISILON_API void ZemSleep(unsigned int milliseconds, const char* file, int line);
/// A replacement sleeper: gets what ZemSleep was given. It runs on the waiting thread and may
/// be called from several threads at once.
using ZemSleepHook = void (*)(unsigned int milliseconds, const char* file, int line);
/// Installs `hook` for every later ZemSleep (a test counts or skips the waits this way); null
/// restores the real sleep. Safe from any thread.
ISILON_API void SetZemSleepHook(ZemSleepHook hook);

/// ZemSleep, as the host's code calls it.
#define ZEMSLEEP(milliseconds, file, line) ZemSleep((milliseconds), (file), (line))
