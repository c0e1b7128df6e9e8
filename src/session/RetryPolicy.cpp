#include "src/session/RetryPolicy.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <random>

#include "src/config/Settings.h"

namespace isilon {

namespace {

long long RandomUpTo(long long most) {
  thread_local std::minstd_rand random{std::random_device{}()};
  std::uniform_int_distribution<long long> pick(0, most);
  return pick(random);
}

long long WallClock() { return static_cast<long long>(std::time(nullptr)); }

}  // namespace

RetryPolicy RetryPolicy::FromSettings(const Settings& settings) {
  RetryPolicy policy;
  policy.retries = settings.retryCount;
  policy.firstDelayMs = settings.retryDelayMs;
  return policy;
}

bool RetryPolicy::RetriesStatus(long httpStatus) const {
  return std::find(retriedStatuses.begin(), retriedStatuses.end(), httpStatus) != retriedStatuses.end();
}

unsigned RetryPolicy::DelayMs(int repeat, const std::string& retryAfter) const {
  const long long asked = RetryAfterMs(retryAfter, now ? now() : WallClock());
  if (asked >= 0) return static_cast<unsigned>(std::min(asked, maxDelayMs));
  long long delay = std::max(firstDelayMs, 0);
  for (int i = 0; i < repeat && delay < maxDelayMs; ++i) delay *= 2;
  delay = std::min(delay, maxDelayMs);
  // Half fixed, half random: sessions that failed together do not all come back together.
  const long long half = delay / 2;
  const long long random = std::min(std::max(jitter ? jitter(half) : RandomUpTo(half), 0LL), half);
  return static_cast<unsigned>(delay - half + random);
}

long long RetryAfterMs(const std::string& value, long long now) {
  size_t begin = 0, end = value.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(value[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1]))) --end;
  if (begin == end) return -1;
  const std::string text = value.substr(begin, end - begin);
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (text.size() > 6) return 1000000000LL;  // far beyond any cap anyway
    return std::stoll(text) * 1000;
  }
  struct tm parts;
  std::memset(&parts, 0, sizeof parts);
  const char* rest = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  if (rest == nullptr || *rest != '\0') return -1;
  const long long at = static_cast<long long>(timegm(&parts));
  return at <= now ? 0 : (at - now) * 1000;
}

}  // namespace isilon
