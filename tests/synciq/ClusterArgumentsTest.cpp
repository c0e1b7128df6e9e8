// The SyncIQ listings' query arguments as a cluster takes them: a following page carries its
// token alone, and a cluster that refuses the job list's undeclared policy_name gets the list
// without it, matched by policy name on the client.
#include <regex>

#include "tests/synciq/SyncIQSim.h"

namespace {

// A cluster's refusal of one query argument: one entry naming it, then the summary.
std::string Refusal(const std::string& code, const std::string& field) {
  return "{\n\"errors\" : \n[\n\n{\n\"code\" : \"" + code + "\",\n\"field\" : \"" + field +
         "\",\n\"message\" : \"Field: " + field +
         " has error: A property was present that is not defined by the schema.\"\n},\n\n{\n\"code\" : "
         "\"AEC_BAD_REQUEST\",\n\"message\" : \"Input validation failed.\"\n}\n]\n}";
}

class SyncIQArguments : public SyncIQSim {
 protected:
  SyncIQArguments() : SyncIQSim("127.0.0.66") {}

  // Every page after the first of the listing under `path` asked with its token alone.
  void ExpectTokenAloneAfterTheFirst(const std::string& path, size_t pages) {
    const std::vector<std::string> sent = Requests("GET " + path);
    ASSERT_EQ(sent.size(), pages);
    const std::regex tokenAlone("GET " + path + "\\?resume=[^&]+");
    for (size_t i = 1; i < sent.size(); ++i) EXPECT_TRUE(std::regex_match(sent[i], tokenAlone)) << sent[i];
  }
  unsigned long long Fallbacks() { return session().GetRequestCounters().argumentFallbacks; }
};

TEST_F(SyncIQArguments, EveryFollowingPageOfEachListingCarriesItsTokenAlone) {
  SetPageSize(1);
  AddPolicy(FitPolicy("a", "/ifs/data/a"));
  AddPolicy(FitPolicy("b", "/ifs/data/b"));
  AddPolicy(FitPolicy("c", "/ifs/data/c"));
  std::vector<_IsilonSyncIQPolicyInfo> policies;
  ASSERT_TRUE(session().GetAllSyncIQPolicies(policies)) << LastMessage();
  EXPECT_EQ(policies.size(), 3u);
  ExpectTokenAloneAfterTheFirst("/platform/1/sync/policies", 3);

  unsigned int first = 0, second = 0;
  ASSERT_TRUE(session().StartSyncIQJob("a", "snap-a", first)) << LastMessage();
  ASSERT_TRUE(session().StartSyncIQJob("b", "snap-b", second)) << LastMessage();
  server().requestLog().clear();
  // The job list is not filtered by policy name on every cluster: the job of "b" may stand on
  // the second page; the token carries the state filter there.
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "b", SYNCIQ_JOB_STATE_RUNNING)) << LastMessage();
  EXPECT_EQ(job.nJobId, second);
  const std::vector<std::string> jobs = Requests("GET /platform/1/sync/jobs");
  ASSERT_FALSE(jobs.empty());
  EXPECT_EQ(jobs[0], "GET /platform/1/sync/jobs?policy_name=b&state=running");
  ExpectTokenAloneAfterTheFirst("/platform/1/sync/jobs", jobs.size());

  for (uint64_t id : {5, 7, 9}) {
    isim::synciq::Report r;
    r.policyName = "c";
    r.jobId = id;
    r.state = "finished";
    siq().addReport(r);
  }
  server().requestLog().clear();
  _IsilonSyncIQJobReportInfo report;
  ASSERT_TRUE(session().GetSyncIQJobReport(report, 5, "c", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(report.nJobId, 5u);
  const std::vector<std::string> reports = Requests("GET /platform/1/sync/reports");
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], "GET /platform/1/sync/reports?policy_name=c");
  ExpectTokenAloneAfterTheFirst("/platform/1/sync/reports", 3);
  EXPECT_EQ(Fallbacks(), 0u);
}

TEST_F(SyncIQArguments, ARefusedPolicyNameIsDroppedAndTheJobsMatchedByName) {
  AddPolicy(FitPolicy("other", "/ifs/data/other"));
  AddPolicy(FitPolicy("nightly", "/ifs/data/nightly"));
  unsigned int otherId = 0, jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("other", "snap-1", otherId));
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId));
  ASSERT_NE(otherId, jobId);
  server().requestLog().clear();

  // The request as asked goes first; the one without the refused argument lists every job.
  isim::Fault refused = isim::Fault::replace("", 400, Refusal("AEC_BAD_REQUEST", "policy_name"));
  refused.regex = "sync/jobs\\?policy_name=";
  server().faults().add(refused);
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(job.strPolicyName, "nightly");
  EXPECT_EQ(Requests(), (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly&state=running",
                                                  "GET /platform/1/sync/jobs?state=running"}));
  EXPECT_EQ(Fallbacks(), 1u);
  EXPECT_EQ(LastCode(), "");

  // Without a state filter the query goes whole; every lookup asks the cluster's way first.
  server().requestLog().clear();
  server().faults().add(refused);
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly", "GET /platform/1/sync/jobs"}));
  EXPECT_EQ(Fallbacks(), 2u);

  // The list without the argument fails: the one reconnection repeats it without the argument.
  server().requestLog().clear();
  server().faults().add(refused);
  server().faults().add(isim::Fault::error("/platform/1/sync/jobs", 500, "AEC_SYSTEM_INTERNAL_ERROR", "hiccup"));
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{"GET /platform/1/sync/jobs?policy_name=nightly&state=running",
                                      "GET /platform/1/sync/jobs?state=running", "DELETE /session/1/session",
                                      "POST /session/1/session", "GET /platform/1/sync/jobs?state=running"}));
  EXPECT_EQ(Fallbacks(), 3u);

  // A start polls the same way.
  isim::Fault every = refused;
  every.times = 0;
  server().clock().advance(61);  // the running job ends
  server().requestLog().clear();
  server().faults().add(every);
  unsigned int restarted = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-2", restarted)) << LastMessage();
  EXPECT_NE(restarted, 0u);
  EXPECT_EQ(Requests("GET /platform/1/sync/jobs").back(), "GET /platform/1/sync/jobs?state=running");
  server().faults().clear();
}

TEST_F(SyncIQArguments, ARefusalOfAnotherArgumentFailsWithTheClustersMessage) {
  AddPolicy(FitPolicy("nightly", "/ifs/data/nightly"));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId));
  server().requestLog().clear();
  // A declared argument, or another code than the cluster's validation failure: nothing dropped.
  for (const auto& refusal : {Refusal("AEC_BAD_REQUEST", "state"), Refusal("AEC_INVALID", "policy_name")}) {
    isim::Fault fault = isim::Fault::replace("/platform/1/sync/jobs", 400, refusal);
    fault.times = 0;
    server().faults().clear();
    server().faults().add(fault);
    server().requestLog().clear();
    _IsilonSyncIQJobInfo job;
    EXPECT_FALSE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING));
    EXPECT_NE(LastCode(), "");
    EXPECT_NE(LastMessage().find("has error"), std::string::npos) << LastMessage();
    for (const std::string& sent : Requests("GET /platform/1/sync/jobs")) {
      EXPECT_EQ(sent, "GET /platform/1/sync/jobs?policy_name=nightly&state=running");
    }
    EXPECT_EQ(Fallbacks(), 0u);
  }
  server().faults().clear();
}

// A simulator that refuses undeclared arguments itself: lookups and starts go through its gate.
class SyncIQStrictArguments : public SyncIQArguments {
 protected:
  SyncIQStrictArguments() { simConfig().strictArgs = true; }
};

TEST_F(SyncIQStrictArguments, LookupsAndStartsPassAClusterThatRefusesPolicyName) {
  AddPolicy(FitPolicy("other", "/ifs/data/other"));
  AddPolicy(FitPolicy("nightly", "/ifs/data/nightly"));
  unsigned int otherId = 0, jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("other", "snap-1", otherId)) << LastMessage();
  ASSERT_TRUE(session().StartSyncIQJob("nightly", "snap-1", jobId)) << LastMessage();
  const unsigned long long afterStarts = Fallbacks();
  EXPECT_GE(afterStarts, 2u);  // each start's poll was refused once, then asked without it
  _IsilonSyncIQJobInfo job;
  ASSERT_TRUE(session().GetSyncIQJobInfo(job, "nightly", SYNCIQ_JOB_STATE_RUNNING)) << LastMessage();
  EXPECT_EQ(job.nJobId, jobId);
  EXPECT_EQ(job.strPolicyName, "nightly");
  EXPECT_EQ(Fallbacks(), afterStarts + 1);
  // A policy with no job is no match for another's job.
  AddPolicy(FitPolicy("idle", "/ifs/data/idle"));
  EXPECT_FALSE(session().GetSyncIQJobInfo(job, "idle", SYNCIQ_JOB_STATE_RUNNING));
  EXPECT_NE(LastCode(), "");
}

}  // namespace
