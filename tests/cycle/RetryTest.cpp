// When the cycle sends a request again, and how long it waits first: busy statuses, the
// server's Retry-After in both its forms, the back-off and its bound, the retry count.
#include <time.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/cycle/CycleFixture.h"

namespace cycletest {
namespace {

class RetryTest : public CycleTest {};

// An HTTP date `ahead` seconds from now.
std::string HttpDate(long long ahead) {
  const std::time_t at = std::time(nullptr) + static_cast<std::time_t>(ahead);
  struct tm parts;
  gmtime_r(&at, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

TEST_F(RetryTest, OnlyBusyStatusesAreSentAgain) {
  struct Case {
    long status;
    bool retried;
  };
  const Case cases[] = {{400, false}, {404, false}, {428, false}, {429, true}, {430, false},
                        {500, false}, {502, false}, {503, true},  {504, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Reply::Error(c.status, "AEC_SOMETHING", "status reply"), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_EQ(c.retried, session->GetExternalIPs(ips));
    EXPECT_EQ(c.retried ? 2u : 1u, cluster.script().Operations().size());
    EXPECT_EQ(c.retried ? 1u : 0u, ScopedScriptedCluster::Sleeps().size());
    EXPECT_EQ(c.retried ? 1u : 0u, session->GetRequestCounters().retries);
    if (c.retried) {
      EXPECT_EQ(std::vector<std::string>{"127.0.0.5"}, ips);
      EXPECT_EQ("|", LastError(*session));
    } else {
      EXPECT_EQ("AEC_SOMETHING|status reply", LastError(*session));
    }
  }
}

TEST_F(RetryTest, TheRepeatIsTheSameRequestOnTheSameSession) {
  script().Add({Login("first"), Busy(), Addresses()});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  ASSERT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
  const std::vector<SentRequest> sent = script().Operations();
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ(1u, script().Logins());
  EXPECT_EQ(sent[0].uri, sent[1].uri);
  EXPECT_EQ(sent[0].method, sent[1].method);
  EXPECT_EQ("isisessid=first", sent[1].Header("Cookie"));
  EXPECT_EQ("csrf-first", sent[1].Header("X-CSRF-Token"));
}

TEST_F(RetryTest, RetryAfterInSecondsIsWaitedUpToAMinute) {
  struct Case {
    long status;
    const char* retryAfter;
    unsigned waitMs;
  };
  const Case cases[] = {
      {503, "0", 0},      {503, "1", 1000},   {429, "3", 3000},     {503, " 7 ", 7000},       {429, "59", 59000},
      {503, "60", 60000}, {503, "61", 60000}, {429, "3600", 60000}, {503, "99999999", 60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.retryAfter);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Busy(c.status).With("Retry-After", c.retryAfter), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips));
    EXPECT_EQ(std::vector<unsigned>{c.waitMs}, ScopedScriptedCluster::Sleeps());
  }
}

TEST_F(RetryTest, RetryAfterAsAnHttpDate) {
  struct Case {
    const char* name;
    std::string retryAfter;
    unsigned leastMs, mostMs;
  };
  const Case cases[] = {
      {"long past", "Wed, 21 Oct 2015 07:28:00 GMT", 0, 0},
      {"a minute ago", HttpDate(-60), 0, 0},
      // The clock may pass a second boundary between here and the library's look at it.
      {"5 s ahead", HttpDate(5), 3000, 5000},
      {"59 s ahead", HttpDate(59), 57000, 59000},
      {"an hour ahead", HttpDate(3600), 60000, 60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Busy(429).With("Retry-After", c.retryAfter), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips));
    ASSERT_EQ(1u, ScopedScriptedCluster::Sleeps().size());
    EXPECT_LE(c.leastMs, ScopedScriptedCluster::Sleeps()[0]);
    EXPECT_GE(c.mostMs, ScopedScriptedCluster::Sleeps()[0]);
  }
}

TEST_F(RetryTest, AnUnusableRetryAfterFallsBackToTheBackOff) {
  const char* values[] = {"", "soon", "-5", "2.5", "5s", "Wed, 21 Oct 2015", "Wed, 21 Oct 2015 07:28:00 GMT+1"};
  for (const char* value : values) {
    SCOPED_TRACE(value);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Busy().With("Retry-After", value), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips));
    ASSERT_EQ(1u, ScopedScriptedCluster::Sleeps().size());
    // The first back-off of 500 ms, of which up to half is jitter.
    EXPECT_LE(250u, ScopedScriptedCluster::Sleeps()[0]);
    EXPECT_GE(500u, ScopedScriptedCluster::Sleeps()[0]);
  }
}

TEST_F(RetryTest, TheRetryCountComesFromTheRegistry) {
  struct Case {
    const char* setting;  // the [NAS] line, or empty for none
    size_t sends;
  };
  const Case cases[] = {{"", 3},
                        {"nIsilonRetryCount=0\n", 1},
                        {"nIsilonRetryCount=1\n", 2},
                        {"nIsilonRetryCount=2\n", 3},
                        {"nIsilonRetryCount=3\n", 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    Settings(c.setting);
    ScopedScriptedCluster cluster;
    cluster.script().Add(Login());
    for (size_t i = 0; i < c.sends; ++i) cluster.script().Add(Busy());
    cluster.script().Add(Addresses());  // used only by one retry too many
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_FALSE(session->GetExternalIPs(ips));
    EXPECT_EQ(c.sends, cluster.script().Operations().size());
    EXPECT_EQ(1u, cluster.script().Unused());
    EXPECT_EQ(c.sends - 1, ScopedScriptedCluster::Sleeps().size());
    EXPECT_EQ(c.sends - 1, session->GetRequestCounters().retries);
    // The failure is the cluster's last answer.
    EXPECT_EQ("AEC_UNAVAILABLE|try again later", LastError(*session));
  }
}

TEST_F(RetryTest, TheBackOffDoublesWithJitterAndStopsAtAMinute) {
  struct Case {
    const char* setting;
    std::vector<std::pair<unsigned, unsigned>> waits;  // least and most of each wait
  };
  const Case cases[] = {
      {"nIsilonRetryCount=3\n", {{250, 500}, {500, 1000}, {1000, 2000}}},
      {"nIsilonRetryCount=2\nnIsilonRetryDelayMs=100\n", {{50, 100}, {100, 200}}},
      {"nIsilonRetryCount=3\nnIsilonRetryDelayMs=20000\n", {{10000, 20000}, {20000, 40000}, {30000, 60000}}},
      // Just below the bound: the second wait would be twice that without it.
      {"nIsilonRetryCount=2\nnIsilonRetryDelayMs=59999\n", {{29999, 59999}, {30000, 60000}}},
      {"nIsilonRetryCount=3\nnIsilonRetryDelayMs=60000\n", {{30000, 60000}, {30000, 60000}, {30000, 60000}}},
      // A first delay beyond the bound is held to it.
      {"nIsilonRetryCount=2\nnIsilonRetryDelayMs=60001\n", {{30000, 60000}, {30000, 60000}}},
      {"nIsilonRetryCount=2\nnIsilonRetryDelayMs=600000\n", {{30000, 60000}, {30000, 60000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    Settings(c.setting);
    ScopedScriptedCluster cluster;
    cluster.script().Add(Login());
    for (size_t i = 0; i <= c.waits.size(); ++i) cluster.script().Add(Busy());
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_FALSE(session->GetExternalIPs(ips));
    const std::vector<unsigned>& sleeps = ScopedScriptedCluster::Sleeps();
    ASSERT_EQ(c.waits.size(), sleeps.size());
    for (size_t i = 0; i < sleeps.size(); ++i) {
      EXPECT_LE(c.waits[i].first, sleeps[i]) << "wait " << i;
      EXPECT_GE(c.waits[i].second, sleeps[i]) << "wait " << i;
    }
  }
}

TEST_F(RetryTest, TransportFailuresAreRetriedWhereASecondGoIsSafe) {
  struct Case {
    const char* name;
    TransportResult failure;
    bool get;  // a GET (GetExternalIPs) or a PUT (ModifySyncIQPolicy)
    bool retried;
  };
  const Case cases[] = {
      {"GET refused", TransportResult::kNoConnection, true, true},
      {"GET reset", TransportResult::kNoReply, true, true},
      {"GET timed out", TransportResult::kTimedOut, true, true},
      {"GET untrusted", TransportResult::kNotSent, true, false},
      // A refused connection never reached the cluster: any method goes again.
      {"PUT refused", TransportResult::kNoConnection, false, true},
      {"PUT reset", TransportResult::kNoReply, false, false},
      {"PUT timed out", TransportResult::kTimedOut, false, false},
      {"PUT untrusted", TransportResult::kNotSent, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Reply::Failure(c.failure), c.get ? Addresses() : Reply::Status(204)});
    std::unique_ptr<ManageIsilon> session = NewSession();
    bool done;
    if (c.get) {
      std::vector<std::string> ips;
      done = session->GetExternalIPs(ips);
    } else {
      done = Disable(*session);
    }
    EXPECT_EQ(c.retried, done);
    EXPECT_EQ(c.retried ? 2u : 1u, cluster.script().Operations().size());
    EXPECT_EQ(c.retried ? 0u : 1u, cluster.script().Unused());
    if (!done) {
      ExpectReason(*session);
      EXPECT_NE("", session->GetLastTransportError());
    }
  }
}

TEST_F(RetryTest, AChangeAnsweredBusyIsSentAgain) {
  // The cluster did not act on it, so a PUT or a POST may go again.
  script().Add({Login(), Busy(503), Busy(429), Reply::Status(204)});
  std::unique_ptr<ManageIsilon> session = NewSession();
  EXPECT_TRUE(Disable(*session)) << LastError(*session);
  ASSERT_EQ(3u, script().Operations().size());
  EXPECT_EQ(HTTP_REQ_PUT, script().Operations()[2].method);
  EXPECT_EQ(script().Operations()[0].body, script().Operations()[2].body);
}

}  // namespace
}  // namespace cycletest

namespace cycletest {
namespace {

TEST_F(RetryTest, ABusyLoginIsSentAgain) {
  script().Add({Busy(503).With("Retry-After", "2"), Login(), Addresses()});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
  EXPECT_EQ(2u, script().Logins());
  EXPECT_EQ(std::vector<unsigned>{2000}, Sleeps());
}

// With nIsilonRetryCount 0 and a cluster of one node, a GET cut off goes out once: there is no
// other node to open the session on, and no retry is allowed.
TEST_F(RetryTest, WithoutRetriesAGetCutOffOnTheOnlyNodeIsSentOnce) {
  Settings("nIsilonRetryCount=0\n");
  script().Add({Login("one"), Reply::Failure(TransportResult::kNoReply), Login("two"), Addresses()});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  EXPECT_FALSE(session->GetExternalIPs(ips));
  ExpectReason(*session);
  EXPECT_EQ(1u, script().Operations().size());
  EXPECT_EQ(1u, script().Logins());
}

}  // namespace
}  // namespace cycletest
