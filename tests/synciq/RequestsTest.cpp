// Request forms and reply reading of the SyncIQ request classes.
#include <gtest/gtest.h>

#include "isilon/IsilonJSON.h"

namespace {

const char kServer[] = "127.0.0.60";

bool Parse(IsilonJsonBase& request, std::string reply) { return request.ParseResponse(reply); }

TEST(SyncIQRequests, PolicyListUriFollowsTheResumeToken) {
  IsilonJsonSyncIQPolicy request;
  request.Initialize(kServer, "ignored");
  std::string uri = "x", body = "y";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/policies");
  EXPECT_EQ(body, "");
  ASSERT_TRUE(Parse(request, R"({"policies":[],"resume":"tok/1+2"})"));
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/policies?resume=tok/1+2");
}

TEST(SyncIQRequests, PolicyPageOddFormsAndNumbers) {
  IsilonJsonSyncIQPolicy request;
  EXPECT_TRUE(Parse(request, R"({"total":0})"));
  std::vector<_IsilonSyncIQPolicyInfo> list;
  request.GetPolicyInfo(list);
  EXPECT_TRUE(list.empty());
  for (const char* bad : {"", "<html>", "{}", "[1]"}) EXPECT_FALSE(Parse(request, bad)) << bad;
  // Expirations keep their low 32 bits, fractions cut toward zero.
  ASSERT_TRUE(Parse(request, R"({"policies":[{"target_snapshot_expiration":4294967297},)"
                             R"({"target_snapshot_expiration":12.9},{"target_snapshot_expiration":-1.5}]})"));
  request.GetPolicyInfo(list);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].nTargetSnapshotExpiration, 1);
  EXPECT_EQ(list[1].nTargetSnapshotExpiration, 12);
  EXPECT_EQ(list[2].nTargetSnapshotExpiration, -1);
}

// Only some states filter; the report query drops "scheduled".
TEST(SyncIQRequests, JobAndReportQueriesEncodeThePolicyName) {
  const struct {
    eIsilonSyncIQJobState state;
    std::string job, report;
  } rows[] = {{SYNCIQ_JOB_STATE_NONE, "", ""},
              {SYNCIQ_JOB_STATE_RUNNING, "&state=running", "&state=running"},
              {SYNCIQ_JOB_STATE_FINISHED, "&state=finished", "&state=finished"},
              {SYNCIQ_JOB_STATE_FAILED, "", ""},
              {SYNCIQ_JOB_STATE_CANCELED, "", ""},
              {SYNCIQ_JOB_STATE_SCHEDULED, "&state=scheduled", ""},
              {SYNCIQ_JOB_STATE_PAUSED, "", ""}};
  const std::string query = "?policy_name=nightly%20copy%26state%3Dfinished";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.state);
    IsilonJsonSyncIQJobInfo job;
    job.Initialize(kServer, "nightly copy&state=finished", row.state);
    std::string uri, body = "y";
    ASSERT_TRUE(job.BuildRequest(uri, body));
    EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/jobs" + query + row.job);
    EXPECT_EQ(body, "");
    IsilonJsonSyncIQJobReport report;
    report.Initialize(kServer, "nightly copy&state=finished", 3, row.state);
    ASSERT_TRUE(report.BuildRequest(uri, body));
    EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/reports" + query + row.report);
  }
}

TEST(SyncIQRequests, JobListMatchesTheFirstActiveJobOfThePolicy) {
  IsilonJsonSyncIQJobInfo request;
  request.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_NONE);
  // A policy whose name starts with ours is another policy; inactive jobs are passed over.
  ASSERT_TRUE(Parse(request, R"({"jobs":[
      {"job_id":4,"state":"running","policy_name":"mine2","error":""},
      {"job_id":5,"state":"needs_attention","policy_name":"mine","error":"e"},
      {"job_id":6.7,"state":"scheduled","policy_name":"mine","error":""},
      {"job_id":8,"state":"running","policy_name":"mine","error":""}]})"));
  _IsilonSyncIQJobInfo job;
  request.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 6u);
  EXPECT_EQ(job.strState, "scheduled");
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_SCHEDULED);
  EXPECT_EQ(job.strPolicyName, "mine");

  // A running job without an id has id 0; case matters in states.
  IsilonJsonSyncIQJobInfo noId;
  noId.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_RUNNING);
  ASSERT_TRUE(Parse(noId, R"({"jobs":[{"state":"Running","policy_name":"mine","error":""},
      {"job_id":"9","state":"paused","policy_name":"mine","error":""}],"resume":"r"})"));
  noId.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 0u);
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_PAUSED);

  IsilonJsonSyncIQJobInfo none;
  none.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_NONE);
  EXPECT_FALSE(
      Parse(none, R"({"jobs":[{"job_id":1,"state":"finished","policy_name":"mine","error":""}],"resume":"t"})"));
  std::string resume;
  none.GetResume(resume);
  EXPECT_EQ(resume, "t");
  none.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 0u);
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_NONE);
  EXPECT_FALSE(Parse(none, R"({"total":0})"));
}

// The states of a report and the snapshot it names; fractions cut (the selection by id: ReportTest).
TEST(SyncIQRequests, ReportStateTargetSnapshotAndDuration) {
  const struct {
    const char* state;
    eIsilonSyncIQJobState expected;
    const char* snapshots;
    const char* target;
  } rows[] = {
      {"paused", SYNCIQ_JOB_STATE_NONE, R"("SIQ-Failover-x","SIQ-initial-y",17,"SIQ_cl_p_2024-01-01_10-00-00","l")",
       "SIQ_cl_p_2024-01-01_10-00-00"},
      {"canceled", SYNCIQ_JOB_STATE_CANCELED, R"("a-Failover","b-initial")", ""},
      {"needs_attention", SYNCIQ_JOB_STATE_FAILED, R"("x-failover")", "x-failover"},  // case-sensitive
      {"failed", SYNCIQ_JOB_STATE_FAILED, "", ""},
      {"Finished", SYNCIQ_JOB_STATE_NONE, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.state);
    IsilonJsonSyncIQJobReport request;
    request.Initialize(kServer, "p", 3, SYNCIQ_JOB_STATE_NONE);
    ASSERT_TRUE(Parse(request, std::string(R"({"reports":[{"job_id":3,"duration":6.9,"state":")") + row.state +
                                   R"(","target_snapshots":[)" + row.snapshots + "]}]}"));
    _IsilonSyncIQJobReportInfo r;
    request.GetJobReportInfo(r);
    EXPECT_EQ(r.strState, row.state);
    EXPECT_EQ(r.eState, row.expected);
    EXPECT_EQ(r.strTargetSnapshot, row.target);
    EXPECT_EQ(r.nDuration, 6u);
  }
}

}  // namespace
