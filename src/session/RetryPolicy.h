#pragma once
// When a request is sent again, and after how long: plain data, built from the settings of the
// operation, with seams for the jitter and the clock so that tests can fix both.
#include <functional>
#include <string>
#include <vector>

#include "host/QuorLibCurl.h"

namespace isilon {

struct Settings;

struct RetryPolicy {
  int retries = 2;               // repeats after the first try (0: none)
  int firstDelayMs = 500;        // the first back-off, doubled each time
  long long maxDelayMs = 60000;  // no wait is longer, Retry-After included
  // The statuses by which the cluster says it did not act on the request (busy, or too many
  // requests): any method may be sent again.
  std::vector<long> retriedStatuses{429, 503};
  // A number from 0 to `most`, both included: the random half of a back-off.
  std::function<long long(long long most)> jitter;
  // Seconds since the epoch, for a Retry-After given as an HTTP date.
  std::function<long long()> now;

  static RetryPolicy FromSettings(const Settings& settings);

  bool RetriesStatus(long httpStatus) const;
  // A transport failure: one that never reached the server may be repeated for any method; one
  // after the request went out only when a second go is safe though the server may have acted
  // on it (a GET, or a change whose step settles it).
  static bool RetriesFailure(TransportResult result, bool repeatable) {
    return result == TransportResult::kNoConnection ||
           ((result == TransportResult::kNoReply || result == TransportResult::kTimedOut) && repeatable);
  }

  // Milliseconds to wait before repeat number `repeat` (0 for the first): the server's
  // Retry-After when it gave a usable one, else exponential back-off with jitter; at most
  // maxDelayMs either way.
  unsigned DelayMs(int repeat, const std::string& retryAfter) const;
};

// A Retry-After value (delta seconds or an HTTP date) in milliseconds from `now` (seconds since
// the epoch), or -1 when it is not usable.
long long RetryAfterMs(const std::string& value, long long now);

}  // namespace isilon
