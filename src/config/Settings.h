#pragma once
// Every registry key the library reads, as one value read once per operation. Each key has
// one rule for an absent, zero or out-of-range value (the user guide's configuration table):
// a number that cannot be read counts as absent, absent gives the default, and a value beyond
// the key's bounds gives the bound or the default as NumberRule says.
#include <string>
#include <vector>

#include "isilon/SessionOptions.h"

namespace isilon {

// How one integer key reads.
struct NumberRule {
  const char* section;  // "NAS" or "~Tarvex"
  const char* key;
  long long fallback;  // absent, unreadable, or below `least`
  long long least;     // the smallest value taken as given (0 where 0 has a meaning)
  long long most;      // larger values are cut to this
};

// The rules, by key (exposed for the tests and the documentation).
extern const NumberRule kConnectTimeoutRule;
extern const NumberRule kRequestTimeoutRule;
extern const NumberRule kMaxReplyRule;
extern const NumberRule kRetryCountRule;
extern const NumberRule kRetryDelayRule;
extern const NumberRule kJobStatusRetryRule;
extern const NumberRule kJobWaitLimitRule;
extern const NumberRule kChangeListWaitRule;

// `value` under `rule`; `present` false when the key was absent or not a number.
long long ApplyRule(const NumberRule& rule, bool present, long long value);

// "10.0.0.1, 10.0.0.2" as a list: blanks trimmed, empty and repeated entries dropped.
std::vector<std::string> SplitNodeList(const std::string& text);

struct Settings {
  // [NAS]
  std::string caFile;                      // sIsilonCAFile; empty: the system's store
  bool verifyTLS = true;                   // sIsilonVerifyTLS; off when it starts with n/N
  long connectTimeoutSeconds = 30;         // nIsilonConnectTimeout
  long requestTimeoutSeconds = 1800;       // nIsilonRequestTimeout
  long maxReplyMiB = 512;                  // nIsilonMaxReplyMiB
  bool traceCopy = false;                  // sTraceCurl; on when it starts with y/Y
  std::string keyFile;                     // sIsilonKeyFile (the password cipher reads it itself)
  int retryCount = 2;                      // nIsilonRetryCount
  int retryDelayMs = 500;                  // nIsilonRetryDelayMs
  std::vector<std::string> nodeAddresses;  // sIsilonNodeAddresses
  // [~Tarvex]
  int jobStatusRetryCount = 20;     // nIsilonSyncIQJobStatusRetryCount
  int jobWaitLimitSeconds = 3600;   // nIsilonSyncIQJobWaitLimit
  int changeListWaitSeconds = 900;  // IsilonChangeListGenerationWaitTime

  // The registry as it is now.
  static Settings FromRegistry();
  // The fields a session's options set, under the same rules as the registry's values.
  void Apply(const IsilonSessionOptions& options);
};

}  // namespace isilon
