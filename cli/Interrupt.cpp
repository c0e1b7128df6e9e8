#include "cli/Interrupt.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "host/Sleep.h"

namespace ctl {
namespace {

volatile sig_atomic_t g_signal = 0;

void OnSignal(int number) {
  if (g_signal != 0) {
    // Asked twice: the user wants out now, whatever is still in flight.
    signal(number, SIG_DFL);
    raise(number);
    return;
  }
  g_signal = number;
}

// Sleeps in short steps so that a wait notices a signal soon; its next poll is then refused.
void Sleep(unsigned int milliseconds, const char*, int) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (g_signal == 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
  }
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Interrupted() { return g_signal; }

int InterruptExitCode() { return g_signal == 0 ? 0 : 128 + g_signal; }

std::string InterruptText() { return g_signal == SIGTERM ? "interrupted (SIGTERM)" : "interrupted (SIGINT)"; }

void InstallInterruptibleSleep() { SetZemSleepHook(&Sleep); }

}  // namespace ctl
