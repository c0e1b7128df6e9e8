#pragma once
// When a request is sent again, and after how long. Read from the registry per request, so a
// host can change it without making a new session object.
#include <string>

#include "host/QuorLibCurl.h"

namespace isilon {

struct RetryPolicy {
  int retries = 2;         // [NAS] nIsilonRetryCount: repeats after the first try (0: none)
  int firstDelayMs = 500;  // [NAS] nIsilonRetryDelayMs: the first back-off, doubled each time

  static RetryPolicy FromRegistry();

  // The cluster says it did not act on the request (busy, or too many requests): any method
  // may be sent again.
  static bool RetriesStatus(long httpStatus) { return httpStatus == 429 || httpStatus == 503; }
  // A transport failure: one that never reached the server may be repeated for any method; one
  // after the request went out only when a second go is safe though the server may have acted
  // on it (a GET, or a change whose step settles it).
  static bool RetriesFailure(TransportResult result, bool repeatable) {
    return result == TransportResult::kNoConnection ||
           ((result == TransportResult::kNoReply || result == TransportResult::kTimedOut) && repeatable);
  }

  // Milliseconds to wait before repeat number `repeat` (0 for the first): the server's
  // Retry-After when it gave a usable one, else exponential back-off with jitter; at most a
  // minute either way.
  unsigned DelayMs(int repeat, const std::string& retryAfter) const;
};

// A Retry-After value (delta seconds or an HTTP date) in milliseconds from `now` (seconds since
// the epoch), or -1 when it is not usable.
long long RetryAfterMs(const std::string& value, long long now);

}  // namespace isilon
