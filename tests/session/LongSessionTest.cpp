// Sessions that outlive the cluster's time-outs and ride out transient failures: one object kept
// across expiries, restarts and bursts of 503, through the real transport against the simulator.
#include <string>
#include <vector>

#include "sim/core/Faults.h"
#include "sim/snapshot/SnapshotModule.h"
#include "sim/synciq/SyncIQ.h"
#include "tests/session/SessionFixture.h"

namespace {

using sessiontest::SessionFixture;

const char kShares[] = "/platform/1/protocols/smb/shares";
const char kSnapshots[] = "/platform/1/snapshot/snapshots";
const char kLogin[] = "/session/1/session";

isim::Config ShortSessions() {
  isim::Config config;
  config.idleTimeout = 2;
  config.absoluteTimeout = 7;
  return config;
}

class LongSessionTest : public SessionFixture {
 protected:
  LongSessionTest() : SessionFixture(ShortSessions()) {}

  size_t Logins() { return Sent("POST", kLogin).size(); }
  isim::SnapshotModule& Snapshots() { return module<isim::SnapshotModule>(); }
};

TEST_F(LongSessionTest, ExpiredSessionIsReopenedAndTheRequestRepeatedOnce) {
  ASSERT_TRUE(session().CreateCIFSShare("kept", "/ifs", "", ""));
  // Idle expiry, then the absolute one: both are an HTTP 401 the caller never sees.
  for (double wait : {2.5, 8.0}) {
    SCOPED_TRACE(wait);
    server().clock().advance(wait);
    server().requestLog().clear();
    std::vector<_IsilonShareInfo> shares;
    ASSERT_TRUE(session().GetCIFSSharesList(shares, "kept", "", ""));
    ASSERT_EQ(1u, shares.size());
    const std::vector<isim::LoggedRequest> trail = Requests();
    ASSERT_EQ(3u, trail.size());
    EXPECT_EQ(trail[0].method + trail[0].target, trail[2].method + trail[2].target);  // the failed request again
    EXPECT_EQ("POST/session/1/session", trail[1].method + trail[1].target);
    ExpectLastError("", "");
  }
  EXPECT_EQ(2u, session().GetRequestCounters().reopenedSessions);
}

TEST_F(LongSessionTest, ListingReasksTheSamePageAfterAnExpiryBetweenPages) {
  for (int i = 0; i < 120; ++i) ASSERT_TRUE(session().CreateCIFSShare("s" + std::to_string(i), "/ifs", "", ""));
  server().requestLog().clear();
  // The second page finds the session gone.
  server().faults().add(isim::Fault::error(kShares, 401, "AEC_UNAUTHORIZED", "Authorization required").after(1));
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", ""));
  EXPECT_EQ(120u, shares.size());
  const std::vector<isim::LoggedRequest> pages = Sent("GET", kShares);
  ASSERT_EQ(4u, pages.size());
  EXPECT_EQ(pages[1].target, pages[2].target);
  EXPECT_NE(pages[2].target, pages[3].target);
  EXPECT_EQ(1u, Logins());
}

TEST_F(LongSessionTest, ChangeListWalkAndWaitSurviveExpiry) {
  Snapshots().addSyntheticChangeList(1001, 1002, 2500);
  isim::SnapshotModule::JobPlan plan;
  plan.states = {};
  plan.seconds = 20;  // ten 2-second polls: the absolute time-out passes during the wait
  Snapshots().setJobPlan(plan);
  int id = 0;
  ASSERT_TRUE(session().CreateSnapshot("/ifs", "old", id));
  ASSERT_TRUE(session().CreateSnapshot("/ifs", "new", id));
  unsigned long long older = static_cast<unsigned long long>(Snapshots().snapshotId("old"));
  unsigned long long newer = static_cast<unsigned long long>(Snapshots().snapshotId("new"));
  const size_t loginsBefore = Logins();
  CZemError error = session().CreateSnapshotChangeList(older, newer, /*wait=*/true);
  ASSERT_FALSE(error.IsError());
  EXPECT_GT(Logins(), loginsBefore);

  // A walk with an expiry between every two pages reads every entry once.
  unsigned long long first = 1001, second = 1002;
  _IsilonChangeListInfo info;
  size_t read = 0;
  do {
    server().clock().advance(3);
    ASSERT_FALSE(session().GetSnapshotChangeList(first, second, info).IsError());
    read += info.lstItems.size();
  } while (!info.strResume.empty());
  EXPECT_EQ(2500u, read);
}

TEST_F(LongSessionTest, SyncIQJobWaitSurvivesExpiry) {
  auto& siq = module<isim::synciq::SyncIQModule>();
  isim::synciq::Policy policy;
  policy.name = "nightly";
  policy.sourceRootPath = "/ifs/data";
  policy.targetHost = "dr.example.com";
  policy.targetPath = "/ifs/dr";
  ASSERT_TRUE(siq.addPolicy(policy));
  isim::synciq::Settings settings = siq.settings();
  settings.timing.appearAfter = 0;
  settings.timing.pendingFor = 12;  // five-second waits past the absolute time-out
  settings.timing.runFor = 60;
  siq.setSettings(settings);
  const size_t logins = Logins();
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap", jobId));
  EXPECT_NE(0u, jobId);
  EXPECT_GT(Logins(), logins);
}

TEST_F(LongSessionTest, RestartedClusterIsLoggedIntoAgain) {
  std::vector<_IsilonSnapInfo> snaps;
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  // A restarted node knows no session, and its kept-alive connections are gone.
  ASSERT_TRUE(server().stopNode(0));
  std::string error;
  ASSERT_TRUE(server().startNode(0, &error)) << error;
  EXPECT_TRUE(session().GetSnapshotList(snaps, "", ""));
  ExpectLastError("", "");
}

TEST_F(LongSessionTest, WrongOrChangedPasswordFailsAfterOneLoginAttempt) {
  std::unique_ptr<ManageIsilon> wrong = NewSession(address(), user(), "not-the-password");
  std::vector<_IsilonSnapInfo> snaps;
  for (int call = 1; call <= 2; ++call) {
    EXPECT_FALSE(wrong->GetSnapshotList(snaps, "", ""));
    EXPECT_EQ(static_cast<size_t>(call), Logins());
  }
  const std::string wrongError = LastError(*wrong);

  // The password changes on the cluster while the session is open: one re-open, then a clear
  // failure with the login's error.
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  server().config().users = {{user(), "changed"}};
  server().sessions().clear();
  server().requestLog().clear();
  EXPECT_FALSE(session().GetSnapshotList(snaps, "", ""));
  EXPECT_EQ(1u, Logins());
  EXPECT_EQ(wrongError, LastError(session()));
  EXPECT_EQ(1u, Sent("GET", kSnapshots).size());
}

// Sessions of the default length, so that long back-offs do not also expire them.
class BurstTest : public SessionFixture {};

TEST_F(BurstTest, TransientStatusIsRetriedWithBackOff) {
  struct Case {
    const char* name;
    int status;
    int failures;
    const char* retryAfter;             // empty: none
    bool succeeds;                      // with the default two retries
    std::vector<unsigned> exactSleeps;  // when Retry-After fixes them
  };
  const Case cases[] = {{"two503", 503, 2, "", true, {}},
                        {"three503", 503, 3, "", false, {}},
                        {"one429", 429, 1, "", true, {}},
                        {"retryAfter", 503, 2, "3", true, {3000, 3000}},
                        {"retryAfterCapped", 503, 1, "600", true, {60000}},
                        {"retryAfterJunk", 503, 1, "soon", true, {}}};
  std::vector<_IsilonSnapInfo> snaps;
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    isim::Fault fault = isim::Fault::error(kSnapshots, c.status, "AEC_BUSY", "Busy").count(c.failures);
    if (*c.retryAfter) fault.headers.push_back({"Retry-After", c.retryAfter});
    server().faults().clear();
    server().faults().add(fault);
    server().requestLog().clear();
    const size_t sleptBefore = sleeps().size();
    EXPECT_EQ(c.succeeds, session().GetSnapshotList(snaps, "", ""));
    EXPECT_EQ(static_cast<size_t>(c.succeeds ? c.failures + 1 : 3), Sent("GET", kSnapshots).size());
    const std::vector<unsigned> slept(sleeps().begin() + sleptBefore, sleeps().end());
    ASSERT_EQ(static_cast<size_t>(c.succeeds ? c.failures : 2), slept.size());
    if (!c.exactSleeps.empty()) {
      EXPECT_EQ(c.exactSleeps, slept);
    } else {
      // Exponential back-off from 500 ms, each delay between half and all of its step.
      for (size_t i = 0; i < slept.size(); ++i) {
        EXPECT_GE(slept[i], 250u << i);
        EXPECT_LE(slept[i], 500u << i);
      }
    }
  }
}

TEST_F(LongSessionTest, RetryKeysAndWhatIsNeverRepeated) {
  std::vector<_IsilonSnapInfo> snaps;
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  int id = 0;
  ASSERT_TRUE(session().CreateSnapshot("/ifs", "gone", id));

  // A DELETE cut off after it was sent is repeated (its second answer tells), as a GET is.
  server().faults().add(isim::Fault::closeBeforeReply(kSnapshots).on("DELETE"));
  server().requestLog().clear();
  EXPECT_TRUE(session().DeleteSnapshot("/ifs", "gone", 0));
  EXPECT_EQ(2u, Sent("DELETE", kSnapshots).size());
  server().faults().add(isim::Fault::closeBeforeReply(kSnapshots).on("GET"));
  EXPECT_TRUE(session().GetSnapshotList(snaps, "", ""));
  EXPECT_EQ(2u, Sent("GET", kSnapshots).size());

  // A POST answered 503 was not acted on, so it is sent again.
  server().faults().add(isim::Fault::error(kSnapshots, 503, "AEC_BUSY", "Busy").on("POST"));
  EXPECT_TRUE(session().CreateSnapshot("/ifs", "again", id));
  EXPECT_EQ(2u, Sent("POST", kSnapshots).size());

  // Retries off: the first 503 is the answer; three retries outlast three 503s.
  for (int retries : {0, 3}) {
    SetRegistry("nIsilonRetryCount=" + std::to_string(retries) + "\nnIsilonRetryDelayMs=40\n");
    server().faults().add(isim::Fault::error(kSnapshots, 503, "AEC_BUSY", "Busy").count(3));
    server().requestLog().clear();
    EXPECT_EQ(retries == 3, session().GetSnapshotList(snaps, "", "")) << retries;
    EXPECT_EQ(static_cast<size_t>(retries + 1), Sent("GET", kSnapshots).size());
    server().faults().clear();
  }
  const unsigned firstDelay = sleeps()[sleeps().size() - 3];
  EXPECT_GE(firstDelay, 20u);
  EXPECT_LE(firstDelay, 40u);
}

}  // namespace
