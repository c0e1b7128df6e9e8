#pragma once
/// @file
/// The host's debug log.
#include "host/Export.h"

class EvDebugFileInstance;

/// The host's debug log: one automatic object per function. Messages go to the same
/// sink as g_ptrLogWriter and are filtered by the same level: a message is formatted and
/// written only when the writer's level() is at least the message's level. Safe from any
/// thread (the writer keeps lines whole).
class ISILON_API EvDebug {
 public:
  /// `instance` is kept for the host contract and never used.
  explicit EvDebug(EvDebugFileInstance* instance);
  /// Writes one printf-style message at `level` (-1 failures, 0 milestones, up to 7 traces),
  /// under the name `function`, with log context 0.
  void DebugLvl(const char* function, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  /// Same, with the log context `context` (the host's identifier of the job, for example).
  void DebugLvl(const char* function, int level, long long context, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

 private:
  [[maybe_unused]] EvDebugFileInstance* instance_;  // kept for the host contract; unused here
};
