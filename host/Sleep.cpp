#include "host/Sleep.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<ZemSleepHook> g_hook{nullptr};
}  // namespace

void ZemSleep(unsigned int milliseconds, const char* file, int line) {
  if (ZemSleepHook hook = g_hook.load()) {
    hook(milliseconds, file, line);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SetZemSleepHook(ZemSleepHook hook) { g_hook.store(hook); }
