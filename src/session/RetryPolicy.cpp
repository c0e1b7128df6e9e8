#include "src/session/RetryPolicy.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <random>

#include "host/PlatformInfo.h"

namespace isilon {

namespace {

const long long kMaxDelayMs = 60000;
const int kMaxRetries = 10;

// A key of [NAS] that may be 0: absent or negative gives the fallback.
int NasCount(const char* key, int fallback, int most) {
  int value = 0;
  if (!QuorPlatformInfo::getRegInt("NAS", key, &value) || value < 0) return fallback;
  return std::min(value, most);
}

}  // namespace

RetryPolicy RetryPolicy::FromRegistry() {
  RetryPolicy policy;
  policy.retries = NasCount("nIsilonRetryCount", 2, kMaxRetries);
  const int delay = NasCount("nIsilonRetryDelayMs", 500, static_cast<int>(kMaxDelayMs));
  policy.firstDelayMs = delay > 0 ? delay : 500;
  return policy;
}

unsigned RetryPolicy::DelayMs(int repeat, const std::string& retryAfter) const {
  const long long asked = RetryAfterMs(retryAfter, static_cast<long long>(std::time(nullptr)));
  if (asked >= 0) return static_cast<unsigned>(std::min(asked, kMaxDelayMs));
  long long delay = firstDelayMs;
  for (int i = 0; i < repeat && delay < kMaxDelayMs; ++i) delay *= 2;
  delay = std::min(delay, kMaxDelayMs);
  // Half fixed, half random: sessions that failed together do not all come back together.
  thread_local std::minstd_rand random{std::random_device{}()};
  std::uniform_int_distribution<long long> jitter(0, delay / 2);
  return static_cast<unsigned>(delay - delay / 2 + jitter(random));
}

long long RetryAfterMs(const std::string& value, long long now) {
  size_t begin = 0, end = value.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(value[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1]))) --end;
  if (begin == end) return -1;
  const std::string text = value.substr(begin, end - begin);
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (text.size() > 6) return kMaxDelayMs;  // far beyond the cap anyway
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
