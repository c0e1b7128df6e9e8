#pragma once
// The simulator's monotonic clock. Tests move it forward instead of sleeping, so that session
// expiry (and any module's timed behaviour) can be checked without waiting.
#include <atomic>
#include <chrono>

namespace isim {

class Clock {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;

  TimePoint now() const {
    const TimePoint base = frozen_.load() ? TimePoint(Duration(frozenAt_.load())) : std::chrono::steady_clock::now();
    return base + Duration(offset_.load());
  }
  // Moves the clock forward by `seconds` (fractions allowed; negative values are ignored).
  void advance(double seconds) {
    if (!(seconds > 0)) return;
    offset_ += std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds)).count();
  }
  // Stops the clock where it is: from then on only advance() moves it, so that a test can
  // stand exactly on a time-out.
  void freeze() {
    frozenAt_ = std::chrono::steady_clock::now().time_since_epoch().count();
    frozen_ = true;
  }

 private:
  std::atomic<Duration::rep> offset_{0};
  std::atomic<Duration::rep> frozenAt_{0};
  std::atomic<bool> frozen_{false};
};

}  // namespace isim
