#include "cli/Interrupt.h"

#include <signal.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>

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
  // SIGHUP and SIGQUIT too: killed by them at a password prompt, the tool would leave the
  // terminal without echo.
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(number, &action, nullptr);
}

int Interrupted() { return g_signal; }

int InterruptExitCode() { return g_signal == 0 ? 0 : 128 + g_signal; }

std::string InterruptText() {
  switch (g_signal) {
    case SIGTERM: return "interrupted (SIGTERM)";
    case SIGHUP: return "interrupted (SIGHUP)";
    case SIGQUIT: return "interrupted (SIGQUIT)";
    default: return "interrupted (SIGINT)";
  }
}

bool ReadLineUnlessInterrupted(int fd, std::string& line) {
  line.clear();
  sigset_t block, original;
  sigemptyset(&block);
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&block, number);
  for (;;) {
    sigprocmask(SIG_BLOCK, &block, &original);
    if (g_signal != 0) {
      sigprocmask(SIG_SETMASK, &original, nullptr);
      return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    // The signals are let in only while waiting, so one that came after the check ends the wait.
    const int ready = pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &original);
    sigprocmask(SIG_SETMASK, &original, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line.empty();
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void InstallInterruptibleSleep() { SetZemSleepHook(&Sleep); }

}  // namespace ctl
