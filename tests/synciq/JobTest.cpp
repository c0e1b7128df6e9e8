// Starting jobs on the simulated cluster and following them to their id: the retry budget,
// the waits for a scheduled or paused job and their limit, the reconnection after a failed query.
#include "tests/synciq/SyncIQSim.h"

#include "sim/core/Paging.h"
#include "tests/support/LogCapture.h"

namespace {

class SyncIQJobs : public SyncIQSim {
 protected:
  SyncIQJobs() : SyncIQSim("127.0.0.62") {}

  isim::synciq::JobTiming Timing(double appear, const std::string& pendingState, double pending) {
    isim::synciq::JobTiming t;
    t.appearAfter = appear;
    t.pendingState = pendingState;
    t.pendingFor = pending;
    t.runFor = 1e6;  // still running after any advance of the clock here
    return t;
  }
};

TEST_F(SyncIQJobs, JobThatIsThereAtOnceNeedsNoWait) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/projects"));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 1u);
  EXPECT_TRUE(sleeps().empty());
  EXPECT_EQ(Requests("GET /platform/1/sync/jobs"),
            (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly&state=running"}));

  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(job.nJobId, 1u);
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_RUNNING);
  EXPECT_EQ(job.strState, "running");
  EXPECT_EQ(job.strPolicyName, "nightly");

  // The cluster refuses a second job of the same policy, and jobs of unknown or disabled ones.
  EXPECT_FALSE(session().StartSyncIQJob("nightly", "snap-2", jobId));
  EXPECT_EQ(jobId, 0u);
  EXPECT_EQ(LastCode(), "AEC_CONFLICT");
  EXPECT_FALSE(session().StartSyncIQJob("nope", "snap-2", jobId));
  ExpectLastError("AEC_NOT_FOUND", "Policy nope not found");
  isim::synciq::Policy off = FitPolicy("off", "/ifs/data/off");
  off.enabled = false;
  AddPolicy(off);
  EXPECT_FALSE(session().StartSyncIQJob("off", "snap-2", jobId));
  EXPECT_EQ(LastCode(), "AEC_CONFLICT");
  EXPECT_TRUE(sleeps().empty());
}

TEST_F(SyncIQJobs, RetryBudgetComesFromTheRegistry) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/projects"));
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=3\n");

  // Listed after one second: found on the second poll.
  SetTiming(Timing(1, "scheduled", 0));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 1u);
  EXPECT_EQ(sleeps(), std::vector<unsigned int>{1000});
  EXPECT_EQ(Requests("GET /platform/1/sync/jobs"),
            (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly&state=running",
                                      "GET /platform/1/sync/jobs?policy_name=nightly",
                                      "GET /platform/1/sync/jobs?policy_name=nightly&state=running"}));

  // Never listed: four one-second waits, the last with nothing left, then the failure.
  AddPolicy(FitPolicy("late", "/ifs/data/late"));
  SetTiming(Timing(100000, "scheduled", 0));
  ScopedLogCapture log;
  EXPECT_FALSE(session().StartSyncIQJob("late", "snap-1", jobId));
  EXPECT_EQ(jobId, 0u);
  EXPECT_EQ(sleeps().size(), 5u);
  EXPECT_EQ(LastMessage(), "No response received from file server.");
  for (int left = 3; left >= 0; --left) {
    EXPECT_TRUE(log.Contains("Error[No response received from file server.]. Retry after 1 sec, Retry count[" +
                             std::to_string(left) + "]"))
        << left;
  }

  // A value below 1 gives 20 retries: 21 waits.
  AddPolicy(FitPolicy("later", "/ifs/data/later"));
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=-5\n");
  EXPECT_FALSE(session().StartSyncIQJob("later", "snap-1", jobId));
  EXPECT_EQ(sleeps().size(), 5u + 21u);
}

TEST_F(SyncIQJobs, PausedOrScheduledJobIsWaitedForWithoutTheBudget) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/projects"));
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=1\n");
  SetTiming(Timing(0, "paused", 10));
  ScopedLogCapture log;
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 1u);
  EXPECT_EQ(sleeps(), (std::vector<unsigned int>{5000, 5000}));
  EXPECT_TRUE(
      log.Contains("SyncIQ policy[nightly] on File server[127.0.0.62] has job in [paused] state. "
                   "Retry after 5 seconds"));

  // A running job that shows no id yet costs retries, not waits.
  AddPolicy(FitPolicy("noid", "/ifs/data/noid"));
  isim::synciq::JobTiming t = Timing(0, "scheduled", 0);
  t.jobIdAfter = 2;
  SetTiming(t);
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=3\n");
  ASSERT_TRUE(session().StartSyncIQJob("noid", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 2u);
  EXPECT_EQ(sleeps(), (std::vector<unsigned int>{5000, 5000, 1000, 1000}));
}

TEST_F(SyncIQJobs, WaitLimitEndsAJobThatStaysScheduled) {
  // Five-second waits while the next one still fits the limit: a limit on a multiple of five
  // allows its last wait, one just under it does not.
  const struct {
    int limit;
    size_t waits;
  } rows[] = {{12, 2}, {10, 2}, {9, 1}, {5, 1}, {4, 0}};
  SetTiming(Timing(0, "scheduled", 100000));
  for (const auto& row : rows) {
    const std::string name = "stuck" + std::to_string(row.limit);
    AddPolicy(FitPolicy(name, "/ifs/data/" + name));
    SetTarvex("nIsilonSyncIQJobWaitLimit=" + std::to_string(row.limit) + "\n");
    const size_t before = sleeps().size();
    unsigned int jobId = 7;
    EXPECT_FALSE(session().StartSyncIQJob(name, "snap-1", jobId));
    EXPECT_EQ(jobId, 0u);
    EXPECT_EQ(std::vector<unsigned int>(sleeps().begin() + before, sleeps().end()),
              std::vector<unsigned int>(row.waits, 5000))
        << row.limit;
    EXPECT_EQ(LastCode(), "Internal Error");
    EXPECT_EQ(LastMessage(), "SyncIQ job of policy[" + name + "] stayed in [scheduled] state; gave up after waiting [" +
                                 std::to_string(5 * row.waits) + "] seconds (nIsilonSyncIQJobWaitLimit[" +
                                 std::to_string(row.limit) + "]).");
  }
}

TEST_F(SyncIQJobs, FailedJobQueryReconnectsOnce) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/projects"));
  SetTiming(Timing(0, "scheduled", 0));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId));
  server().requestLog().clear();

  server().faults().add(isim::Fault::error("/platform/1/sync/jobs", 500, "AEC_SYSTEM_INTERNAL_ERROR", "hiccup"));
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly&state=running",
                                                  "DELETE /session/1/session", "POST /session/1/session",
                                                  "GET /platform/1/sync/jobs?policy_name=nightly&state=running"}));
  EXPECT_NE(LastCode(), "AEC_SYSTEM_INTERNAL_ERROR");  // made good by the repeat

  // The session ran out on the cluster: the repeat on a fresh one succeeds.
  server().requestLog().clear();
  server().clock().advance(server().config().idleTimeout + 60);
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(Requests("POST /session").size(), 1u);

  // Failing twice: the cluster's error, and no second reconnection.
  server().requestLog().clear();
  server().faults().add(
      isim::Fault::error("/platform/1/sync/jobs", 500, "AEC_SYSTEM_INTERNAL_ERROR", "still down").count(2));
  EXPECT_FALSE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING));
  ExpectLastError("AEC_SYSTEM_INTERNAL_ERROR", "still down");
  EXPECT_EQ(Requests("GET /platform/1/sync/jobs").size(), 2u);
  EXPECT_EQ(Requests("POST /session").size(), 1u);
}

TEST_F(SyncIQJobs, JobOnALaterPageIsFound) {
  AddPolicy(FitPolicy("second", "/ifs/data/second"));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("second", "snap-1", jobId));
  server().requestLog().clear();

  // A first page that holds only another policy's job and names the page with ours.
  isim::PageCursor next;
  next.limit = 1;
  next.query = {{"policy_name", "second"}};
  const std::string token = isim::Pager("sync/jobs", 1).encode(next);
  const isim::Fault firstPage = isim::Fault::replace(
      "/platform/1/sync/jobs", 200,
      R"({"jobs":[{"job_id":7,"state":"running","policy_name":"first"}],"resume":")" + token + "\"}");
  server().faults().add(firstPage);
  // The second page fails once: the one reconnection repeats it.
  server().faults().add(isim::Fault::error("/platform/1/sync/jobs", 500, "AEC_SYSTEM_INTERNAL_ERROR", "lost"));
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "second", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=second",
                                      "GET /platform/1/sync/jobs?resume=" + token, "DELETE /session/1/session",
                                      "POST /session/1/session", "GET /platform/1/sync/jobs?resume=" + token}));

  // Nowhere on any page: the lookup fails instead of reporting an empty job. The token of a
  // first page asked with a state filter carries that filter.
  next.query = {{"policy_name", "second"}, {"state", "finished"}};
  server().faults().add(
      isim::Fault::replace("/platform/1/sync/jobs", 200,
                           R"({"jobs":[{"job_id":7,"state":"running","policy_name":"first"}],"resume":")" +
                               isim::Pager("sync/jobs", 1).encode(next) + "\"}"));
  EXPECT_FALSE(session().GetSyncIQJobInfo(job, "second", SYNCIQ_JOB_STATE_FINISHED));
  EXPECT_EQ(LastMessage(), "No response received from file server.");
}

TEST_F(SyncIQJobs, NamesAreEscapedInTheBodyAndEncodedInTheQuery) {
  // A name that would end the JSON string, and one that would add a filter to the query.
  const std::string name = "q\"uote&state=finished";
  AddPolicy(FitPolicy(name, "/ifs/data/odd"));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob(name, "snap\\1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 1u);
  EXPECT_EQ(server().requestLog().find("POST", "/platform/1/sync/jobs").at(0).body,
            "{\"id\" : \"q\\\"uote&state=finished\",\"source_snapshot\" : \"snap\\\\1\"}");
  EXPECT_EQ(
      Requests("GET /platform/1/sync/jobs"),
      (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=q%22uote%26state%3Dfinished&state=running"}));

  // A job list entry of the wrong kinds and a non-JSON reply are handled, not trusted.
  server().faults().add(isim::Fault::replace(
      "/platform/1/sync/jobs", 200,
      R"({"jobs":[{"job_id":-1,"state":"running","policy_name":"x"},)"
      R"({"job_id":1e40,"state":"running","policy_name":"q\"uote&state=finished","error":["e"]}]})"));
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, name, SYNCIQ_JOB_STATE_RUNNING));
  EXPECT_EQ(job.nJobId, 4294967295u);
  EXPECT_EQ(job.strError, "");
  // An entry that is not a record, or a reply that is not JSON: the job is not found there.
  for (const char* reply :
       {R"({"jobs":[7,{"job_id":3,"state":"running","policy_name":"q\"uote&state=finished"}]})", "<html>busy</html>"}) {
    server().faults().add(isim::Fault::replace("/platform/1/sync/jobs", 200, reply));
    EXPECT_FALSE(session().GetSyncIQJobInfo(job, name, SYNCIQ_JOB_STATE_RUNNING)) << reply;
    ExpectLastError("Internal Error", "No response received from file server.");
  }
}

// The poll's observer: what it sees, and a cancel at the poll it answers false to.
TEST_F(SyncIQJobs, WaitObserverSeesEachPollAndCanEndThePoll) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/projects"));
  std::vector<std::string> seen;  // state@seconds of each call
  session().SetWaitObserver([&](const ManageIsilon::WaitProgress& p) {
    seen.push_back(p.state + "@" + std::to_string(p.secondsWaited) + "#" + std::to_string(p.jobId));
    return true;
  });
  // Not listed for a second, then paused for ten (listed without an id): seconds grow by the
  // waits, one- and five-second.
  SetTiming(Timing(1, "paused", 10));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(jobId, 1u);
  EXPECT_EQ(sleeps(), (std::vector<unsigned int>{1000, 5000, 5000}));
  EXPECT_EQ(seen, (std::vector<std::string>{"@0#0", "paused@1#0", "paused@6#0"}));
  ExpectLastError("", "");

  // Answering false on the first poll or on the second ends the poll there, before its wait.
  for (size_t cancelAt : {1u, 2u}) {
    const std::string policy = "p" + std::to_string(cancelAt);
    AddPolicy(FitPolicy(policy, "/ifs/data/" + policy));
    size_t calls = 0;
    session().SetWaitObserver([&](const ManageIsilon::WaitProgress&) { return ++calls < cancelAt; });
    SetTiming(Timing(0, "scheduled", 100));
    const size_t before = sleeps().size();
    EXPECT_FALSE(session().StartSyncIQJob(policy, "snap-1", jobId));
    EXPECT_EQ(jobId, 0u);
    ExpectLastError("Internal Error", "Wait cancelled by the caller.");
    EXPECT_EQ(calls, cancelAt);
    EXPECT_EQ(sleeps().size() - before, cancelAt - 1);
  }

  // No observer: the poll runs as without one.
  session().SetWaitObserver(nullptr);
  AddPolicy(FitPolicy("plain", "/ifs/data/plain"));
  SetTiming(Timing(0, "scheduled", 5));
  const size_t before = sleeps().size();
  ASSERT_TRUE(session().StartSyncIQJob("plain", "snap-1", jobId)) << LastMessage();
  EXPECT_EQ(sleeps().size() - before, 1u);
}

}  // namespace
