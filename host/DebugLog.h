#pragma once
#include "host/Export.h"

class EvDebugFileInstance;

// The host's debug log: one automatic object per function. Messages go to the same
// sink as g_ptrLogWriter and are filtered by the same level.
class ISILON_API EvDebug {
 public:
  explicit EvDebug(EvDebugFileInstance* instance);
  void DebugLvl(const char* function, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void DebugLvl(const char* function, int level, long long context, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

 private:
  [[maybe_unused]] EvDebugFileInstance* instance_;  // kept for the host contract; unused here
};
