#include "cli/Confirm.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "cli/Interrupt.h"

namespace ctl {
namespace {

std::mutex g_mutex;
bool g_holding = false;
std::vector<HeldRequest> g_held;

}  // namespace

void HoldChanges(bool on) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_holding = on;
}

bool HoldingChanges() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_holding;
}

void Hold(HeldRequest request) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_held.push_back(std::move(request));
}

std::vector<HeldRequest> HeldRequests() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_held;
}

bool CanAsk() { return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1; }

Answer Ask(const std::string& question) {
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string line;
  const bool read = ReadLineUnlessInterrupted(STDIN_FILENO, line);
  if (Interrupted() != 0) {
    std::fprintf(stderr, "\n");
    return Answer::kInterrupted;
  }
  if (!read) std::fprintf(stderr, "\n");
  std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line == "y" || line == "yes" ? Answer::kYes : Answer::kNo;
}

}  // namespace ctl
