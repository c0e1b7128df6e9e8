#pragma once
// One measurement in a child process of its own, so that its peak memory and CPU are its own
// and not those of the walks before it.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace bench {

struct Measure {
  unsigned long long entries = 0;
  double seconds = 0;
  long maxRssKiB = 0;
  double cpuSeconds = 0;  // the child's own, user and system
  bool ok = false;
};

// Runs `walk(Measure&)` (returning whether it read everything) in a forked child and hands back
// what it measured; not ok when the child failed or died.
template <typename Walk>
Measure InChild(Walk walk) {
  int pipeFds[2];
  Measure m;
  if (pipe(pipeFds) != 0) return m;
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    Measure mine;
    const auto start = std::chrono::steady_clock::now();
    mine.ok = walk(mine);
    mine.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    mine.maxRssKiB = usage.ru_maxrss;
    mine.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const ssize_t written = write(pipeFds[1], &mine, sizeof mine);
    _exit(written == static_cast<ssize_t>(sizeof mine) ? 0 : 1);
  }
  close(pipeFds[1]);
  if (pid > 0) {
    if (read(pipeFds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m.ok = false;
    waitpid(pid, nullptr, 0);
  }
  close(pipeFds[0]);
  return m;
}

}  // namespace bench
