#pragma once
// One measurement in a child process of its own, so that its peak memory and CPU are its own
// and not those of the walks before it.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <initializer_list>

namespace bench {

struct Measure {
  unsigned long long entries = 0;
  double seconds = 0;
  long maxRssKiB = 0;
  double cpuSeconds = 0;         // the child's own, user and system
  unsigned long long pages = 0;  // the requests its walk made, where it counts them
  bool ok = false;
};

// In a forked child: runs the walk, writes what it measured to `fd` and exits.
template <typename Walk>
[[noreturn]] void MeasureAndExit(Walk& walk, int fd) {
  Measure mine;
  const auto start = std::chrono::steady_clock::now();
  mine.ok = walk(mine);
  mine.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  mine.maxRssKiB = usage.ru_maxrss;
  mine.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  const ssize_t written = write(fd, &mine, sizeof mine);
  _exit(written == static_cast<ssize_t>(sizeof mine) ? 0 : 1);
}

// What a child wrote before it ended; not ok when it failed or died first.
inline Measure Collect(pid_t pid, int fd) {
  Measure m;
  if (pid > 0) {
    if (read(fd, &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m.ok = false;
    waitpid(pid, nullptr, 0);
  }
  close(fd);
  return m;
}

// Runs `walk(Measure&)` (returning whether it read everything) in a forked child and hands back
// what it measured; not ok when the child failed or died.
template <typename Walk>
Measure InChild(Walk walk) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return Measure();
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    MeasureAndExit(walk, pipeFds[1]);
  }
  close(pipeFds[1]);
  return Collect(pid, pipeFds[0]);
}

// Two processes taking turns, one page each: Take waits for this side's turn, Pass hands it
// over, and Leave hands it over for good, after which the other side goes on alone. Walks that
// take turns meet the machine in the same state page by page, so that a change of its speed
// (the caches another process left, the host's other guests) weighs on both alike.
class Turns {
 public:
  Turns(int in, int out) : in_(in), out_(out) {}
  // Waits for the turn, unless the other side left (or ended: its end of the pipe closed).
  void Take() {
    if (alone_) return;
    char c = 0;
    if (read(in_, &c, 1) != 1 || c == kLeft) alone_ = true;
  }
  void Pass() {
    if (!alone_) Send(kTurn);
  }
  // After a page: hands the turn over and waits for it back.
  void HandOver() {
    Pass();
    Take();
  }
  void Leave() {
    if (!alone_) Send(kLeft);
  }

 private:
  static const char kTurn = 't', kLeft = 'l';
  void Send(char c) {
    if (write(out_, &c, 1) != 1) alone_ = true;
  }
  int in_, out_;
  bool alone_ = false;
};

// `walkA(Measure&, Turns&)` and `walkB(Measure&, Turns&)`, each in a child of its own, started
// together and taking turns: A has the first, B waits for it before it starts (its start-up is
// in its measure, after its turn came). Either is not ok when its child failed or died.
template <typename WalkA, typename WalkB>
void InTwoChildren(WalkA walkA, WalkB walkB, Measure& a, Measure& b) {
  a = b = Measure();
  // toA, toB: the turns; fromA, fromB: the measures.
  int fds[4][2];
  int made = 0;
  while (made < 4 && pipe(fds[made]) == 0) ++made;
  auto closeAllBut = [&](std::initializer_list<int> kept) {
    for (int i = 0; i < made; ++i) {
      for (int fd : fds[i]) {
        if (std::find(kept.begin(), kept.end(), fd) == kept.end()) close(fd);
      }
    }
  };
  if (made < 4) {
    closeAllBut({});
    return;
  }
  const int *toA = fds[0], *toB = fds[1], *fromA = fds[2], *fromB = fds[3];
  auto child = [&](int in, int out, int result, bool first, auto& walk) {
    closeAllBut({in, out, result});
    // A side that ended closes its end: the other's last Pass fails rather than killing it.
    signal(SIGPIPE, SIG_IGN);
    Turns turns(in, out);
    auto measured = [&](Measure& m) {
      if (!first) turns.Take();
      const bool ok = walk(m, turns);
      turns.Leave();
      return ok;
    };
    MeasureAndExit(measured, result);
  };
  const pid_t pidA = fork();
  if (pidA == 0) child(toA[0], toB[1], fromA[1], /*first=*/true, walkA);
  const pid_t pidB = pidA > 0 ? fork() : -1;
  if (pidB == 0) child(toB[0], toA[1], fromB[1], /*first=*/false, walkB);
  const int resultA = fromA[0], resultB = fromB[0];
  closeAllBut({resultA, resultB});
  a = Collect(pidA, resultA);
  b = Collect(pidB, resultB);
}

}  // namespace bench
