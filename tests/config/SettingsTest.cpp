// The settings value: one rule per registry key for absent, zero, negative, unreadable and huge
// values, and the session options over the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/SessionOptions.h"
#include "src/config/Settings.h"
#include "src/session/RetryPolicy.h"
#include "tests/support/Registry.h"

namespace {

using isilon::Settings;

struct NumberCase {
  const char* section;
  const char* key;
  long long (*field)(const Settings&);
  // What absent, 0, -1, 1, the largest taken value, one above it, and an unreadable value give.
  long long absent, zero, negative, one, most, aboveMost, unreadable;
};

long long ConnectTimeout(const Settings& s) { return s.connectTimeoutSeconds; }
long long RequestTimeout(const Settings& s) { return s.requestTimeoutSeconds; }
long long MaxReply(const Settings& s) { return s.maxReplyMiB; }
long long RetryCount(const Settings& s) { return s.retryCount; }
long long RetryDelay(const Settings& s) { return s.retryDelayMs; }
long long JobStatusRetries(const Settings& s) { return s.jobStatusRetryCount; }
long long JobWaitLimit(const Settings& s) { return s.jobWaitLimitSeconds; }
long long ChangeListWait(const Settings& s) { return s.changeListWaitSeconds; }

const NumberCase kNumbers[] = {
    {"NAS", "nIsilonConnectTimeout", ConnectTimeout, 30, 30, 30, 1, 604800, 604800, 30},
    {"NAS", "nIsilonRequestTimeout", RequestTimeout, 1800, 1800, 1800, 1, 604800, 604800, 1800},
    {"NAS", "nIsilonMaxReplyMiB", MaxReply, 512, 512, 512, 1, 65536, 65536, 512},
    // 0 has a meaning here: no retries.
    {"NAS", "nIsilonRetryCount", RetryCount, 2, 0, 2, 1, 10, 10, 2},
    {"NAS", "nIsilonRetryDelayMs", RetryDelay, 500, 500, 500, 1, 60000, 60000, 500},
    {"~Tarvex", "nIsilonSyncIQJobStatusRetryCount", JobStatusRetries, 20, 20, 20, 1, 86400, 86400, 20},
    {"~Tarvex", "nIsilonSyncIQJobWaitLimit", JobWaitLimit, 3600, 3600, 3600, 1, 604800, 604800, 3600},
    {"~Tarvex", "IsilonChangeListGenerationWaitTime", ChangeListWait, 900, 900, 900, 1, 604800, 604800, 900},
};

long long MostOf(const char* key) {
  for (const isilon::NumberRule* rule :
       {&isilon::kConnectTimeoutRule, &isilon::kRequestTimeoutRule, &isilon::kMaxReplyRule, &isilon::kRetryCountRule,
        &isilon::kRetryDelayRule, &isilon::kJobStatusRetryRule, &isilon::kJobWaitLimitRule,
        &isilon::kChangeListWaitRule}) {
    if (std::string(rule->key) == key) return rule->most;
  }
  ADD_FAILURE() << "no rule for " << key;
  return 0;
}

TEST(Settings, EveryNumberKeyFollowsItsRule) {
  ScopedRegistry registry("");
  for (const NumberCase& c : kNumbers) {
    SCOPED_TRACE(c.key);
    registry.Rewrite("");
    EXPECT_EQ(c.field(Settings::FromRegistry()), c.absent);
    const long long most = MostOf(c.key);
    const std::vector<std::pair<std::string, long long>> values = {
        {"0", c.zero},
        {"-1", c.negative},
        {"1", c.one},
        {std::to_string(most), c.most},
        {std::to_string(most + 1), c.aboveMost},
        {"2147483647", c.aboveMost},
        {"99999999999", c.unreadable},  // beyond an int: not a number the registry reads
        {"12abc", c.unreadable},
        {"", c.unreadable},
    };
    for (const auto& [text, expected] : values) {
      registry.Rewrite(std::string("[") + c.section + "]\n" + c.key + " = " + text + "\n");
      EXPECT_EQ(c.field(Settings::FromRegistry()), expected) << "value [" << text << "]";
    }
    // A key in the other section is not this key.
    registry.Rewrite(std::string("[") + (std::string(c.section) == "NAS" ? "~Tarvex" : "NAS") + "]\n" + c.key +
                     " = 7\n");
    EXPECT_EQ(c.field(Settings::FromRegistry()), c.absent);
  }
}

TEST(Settings, SwitchesAndTexts) {
  ScopedRegistry registry("");
  Settings absent = Settings::FromRegistry();
  EXPECT_TRUE(absent.verifyTLS);
  EXPECT_FALSE(absent.traceCopy);
  EXPECT_TRUE(absent.caFile.empty());
  EXPECT_TRUE(absent.nodeAddresses.empty());

  struct Switch {
    const char* value;
    bool verify;  // sIsilonVerifyTLS: off only when it starts with n/N
    bool trace;   // sTraceCurl: on only when it starts with y/Y
  };
  for (const Switch& s :
       {Switch{"no", false, false}, Switch{"N", false, false}, Switch{"yes", true, true}, Switch{"Y", true, true},
        Switch{"0", true, false}, Switch{"false", true, false}, Switch{"", true, false}}) {
    registry.Rewrite(std::string("[NAS]\nsIsilonVerifyTLS = ") + s.value + "\nsTraceCurl = " + s.value + "\n");
    const Settings read = Settings::FromRegistry();
    EXPECT_EQ(read.verifyTLS, s.verify) << s.value;
    EXPECT_EQ(read.traceCopy, s.trace) << s.value;
  }

  registry.Rewrite(
      "[NAS]\nsIsilonCAFile = /etc/ca.pem\nsIsilonKeyFile = /etc/key\n"
      "sIsilonNodeAddresses = 10.0.0.1 , ,10.0.0.2,10.0.0.1,\t[::1]\n");
  const Settings read = Settings::FromRegistry();
  EXPECT_EQ(read.caFile, "/etc/ca.pem");
  EXPECT_EQ(read.keyFile, "/etc/key");
  EXPECT_EQ(read.nodeAddresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "[::1]"}));
}

TEST(Settings, OptionsWinOverTheRegistryAndFollowTheSameRules) {
  ScopedRegistry registry(
      "[NAS]\nsIsilonCAFile = /registry.pem\nnIsilonRetryCount = 5\nnIsilonConnectTimeout = 7\n"
      "sIsilonNodeAddresses = 10.0.0.9\n");
  IsilonSessionOptions options;
  Settings unset = Settings::FromRegistry();
  unset.Apply(options);
  EXPECT_EQ(unset.caFile, "/registry.pem");
  EXPECT_EQ(unset.retryCount, 5);
  EXPECT_EQ(unset.connectTimeoutSeconds, 7);

  options.caFile = "/own.pem";
  options.verifyTLS = false;
  options.retryCount = 0;                     // 0 is taken: no retries
  options.retryDelayMs = -3;                  // below the bound: the default
  options.connectTimeoutSeconds = 1LL << 40;  // above the bound: the bound
  options.requestTimeoutSeconds = 0;          // the default
  options.maxReplyMiB = 1;
  options.nodeAddresses = std::vector<std::string>{" 127.0.0.1", "127.0.0.1", ""};
  Settings set = Settings::FromRegistry();
  set.Apply(options);
  EXPECT_EQ(set.caFile, "/own.pem");
  EXPECT_FALSE(set.verifyTLS);
  EXPECT_EQ(set.retryCount, 0);
  EXPECT_EQ(set.retryDelayMs, 500);
  EXPECT_EQ(set.connectTimeoutSeconds, 604800);
  EXPECT_EQ(set.requestTimeoutSeconds, 1800);
  EXPECT_EQ(set.maxReplyMiB, 1);
  EXPECT_EQ(set.nodeAddresses, std::vector<std::string>{"127.0.0.1"});

  // An empty list set in the options means: resolve the name, whatever the registry lists.
  options.nodeAddresses = std::vector<std::string>{};
  Settings none = Settings::FromRegistry();
  none.Apply(options);
  EXPECT_TRUE(none.nodeAddresses.empty());
}

TEST(RetryPolicy, DataFromSettingsWithFixedJitterAndClock) {
  Settings settings;
  settings.retryCount = 3;
  settings.retryDelayMs = 400;
  isilon::RetryPolicy policy = isilon::RetryPolicy::FromSettings(settings);
  EXPECT_EQ(policy.retries, 3);
  EXPECT_TRUE(policy.RetriesStatus(503));
  EXPECT_TRUE(policy.RetriesStatus(429));
  EXPECT_FALSE(policy.RetriesStatus(500));
  EXPECT_FALSE(policy.RetriesStatus(401));
  policy.retriedStatuses = {502};
  EXPECT_TRUE(policy.RetriesStatus(502));
  EXPECT_FALSE(policy.RetriesStatus(503));

  // The jitter's seam: none, all of the random half, and a seam out of range held to it.
  for (auto [jitter, first, third] :
       {std::tuple<long long, unsigned, unsigned>{0, 200, 800}, {1000000, 400, 1600}, {-5, 200, 800}}) {
    policy.jitter = [jitter = jitter](long long) { return jitter; };
    EXPECT_EQ(policy.DelayMs(0, ""), first) << jitter;
    EXPECT_EQ(policy.DelayMs(2, ""), third) << jitter;
  }
  // The back-off bound: doubling stops at the cap, which holds the random half too.
  policy.jitter = [](long long most) { return most; };
  EXPECT_EQ(policy.DelayMs(7, ""), 51200u);
  EXPECT_EQ(policy.DelayMs(8, ""), 60000u);
  EXPECT_EQ(policy.DelayMs(60, ""), 60000u);

  // Retry-After in seconds and as an HTTP date, against the clock's seam; capped as well.
  policy.now = [] { return 784111777LL; };  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(policy.DelayMs(0, "3"), 3000u);
  EXPECT_EQ(policy.DelayMs(0, "0"), 0u);
  EXPECT_EQ(policy.DelayMs(0, "60"), 60000u);
  EXPECT_EQ(policy.DelayMs(0, "61"), 60000u);
  EXPECT_EQ(policy.DelayMs(0, "Sun, 06 Nov 1994 08:49:42 GMT"), 5000u);
  EXPECT_EQ(policy.DelayMs(0, "Sun, 06 Nov 1994 08:49:36 GMT"), 0u);  // past: at once
  EXPECT_EQ(policy.DelayMs(0, "Mon, 07 Nov 1994 08:49:37 GMT"), 60000u);
  // Not usable: the back-off applies.
  EXPECT_EQ(policy.DelayMs(0, "soon"), 400u);
  EXPECT_EQ(policy.DelayMs(0, "-3"), 400u);
}

}  // namespace
