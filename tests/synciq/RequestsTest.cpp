// Request forms and reply reading of the SyncIQ request classes.
#include <gtest/gtest.h>

#include "isilon/IsilonJSON.h"

namespace {

const char kServer[] = "127.0.0.60";

TEST(SyncIQRequests, PolicyListUriFollowsTheResumeToken) {
  IsilonJsonSyncIQPolicy request;
  request.Initialize(kServer, "ignored");
  std::string uri = "x", body = "y";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/policies");
  EXPECT_EQ(body, "");
  std::string page = R"({"policies":[],"resume":"tok/1+2"})";
  ASSERT_TRUE(request.ParseResponse(page));
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/policies?&resume=tok/1+2");
}

TEST(SyncIQRequests, PolicyPageOddFormsAndNumbers) {
  IsilonJsonSyncIQPolicy request;
  std::string noList = R"({"total":0})";
  EXPECT_TRUE(request.ParseResponse(noList));
  std::vector<_IsilonSyncIQPolicyInfo> list;
  request.GetPolicyInfo(list);
  EXPECT_TRUE(list.empty());
  for (std::string bad : {std::string(), std::string("<html>"), std::string("{}"), std::string("[1]")}) {
    EXPECT_FALSE(request.ParseResponse(bad)) << bad;
  }
  // Expirations keep their low 32 bits, fractions cut toward zero.
  std::string odd = R"({"policies":[{"target_snapshot_expiration":4294967297},{"target_snapshot_expiration":12.9},)"
                    R"({"target_snapshot_expiration":-1.5}]})";
  ASSERT_TRUE(request.ParseResponse(odd));
  request.GetPolicyInfo(list);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].nTargetSnapshotExpiration, 1);
  EXPECT_EQ(list[1].nTargetSnapshotExpiration, 12);
  EXPECT_EQ(list[2].nTargetSnapshotExpiration, -1);
}

// The body of every kind is checked end to end (ValidateTest). Here: a quote in a string value stays
// inside its string, and an id cannot reach another resource.
TEST(SyncIQRequests, ModifyEscapesStringsAndEncodesTheId) {
  IsilonJsonSyncIQPolicyModify request;
  request.Initialize(kServer, "../x?y=1", {{SYNCIQ_PROPERTY_SCHEDULE, "a\",\"enabled\" : false"}});
  std::string uri, body;
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/policies/../x%3Fy%3D1");
  EXPECT_EQ(body, "{\"schedule\" : \"a\\\",\\\"enabled\\\" : false\"}");
}

TEST(SyncIQRequests, JobAndReportQueriesEncodeThePolicyName) {
  const std::pair<eIsilonSyncIQJobState, std::string> jobFilters[] = {{SYNCIQ_JOB_STATE_NONE, ""},
                                                                      {SYNCIQ_JOB_STATE_RUNNING, "&state=running"},
                                                                      {SYNCIQ_JOB_STATE_FINISHED, "&state=finished"},
                                                                      {SYNCIQ_JOB_STATE_FAILED, ""},
                                                                      {SYNCIQ_JOB_STATE_CANCELED, ""},
                                                                      {SYNCIQ_JOB_STATE_SCHEDULED, "&state=scheduled"},
                                                                      {SYNCIQ_JOB_STATE_PAUSED, ""}};
  for (const auto& f : jobFilters) {
    IsilonJsonSyncIQJobInfo request;
    request.Initialize(kServer, "p&state=finished", f.first);
    std::string uri, body;
    ASSERT_TRUE(request.BuildRequest(uri, body));
    EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/jobs?policy_name=p%26state%3Dfinished" + f.second);
    EXPECT_EQ(body, "");
  }
  const std::pair<eIsilonSyncIQJobState, std::string> reportFilters[] = {{SYNCIQ_JOB_STATE_NONE, ""},
                                                                         {SYNCIQ_JOB_STATE_RUNNING, "&state=running"},
                                                                         {SYNCIQ_JOB_STATE_FINISHED, "&state=finished"},
                                                                         {SYNCIQ_JOB_STATE_SCHEDULED, ""},
                                                                         {SYNCIQ_JOB_STATE_CANCELED, ""}};
  for (const auto& f : reportFilters) {
    IsilonJsonSyncIQJobReport request;
    request.Initialize(kServer, "nightly copy", 3, f.first);
    std::string uri, body;
    ASSERT_TRUE(request.BuildRequest(uri, body));
    EXPECT_EQ(uri, "https://127.0.0.60:8080/platform/1/sync/reports?policy_name=nightly%20copy" + f.second);
  }
}

TEST(SyncIQRequests, JobListMatchesTheFirstActiveJobOfThePolicy) {
  IsilonJsonSyncIQJobInfo request;
  request.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_NONE);
  // A policy whose name starts with ours is another policy; inactive jobs are passed over.
  std::string reply = R"({"jobs":[
      {"job_id":4,"state":"running","policy_name":"mine2","error":""},
      {"job_id":5,"state":"needs_attention","policy_name":"mine","error":"e"},
      {"job_id":6.7,"state":"scheduled","policy_name":"mine","error":""},
      {"job_id":8,"state":"running","policy_name":"mine","error":""}]})";
  ASSERT_TRUE(request.ParseResponse(reply));
  _IsilonSyncIQJobInfo job;
  request.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 6u);
  EXPECT_EQ(job.strState, "scheduled");
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_SCHEDULED);
  EXPECT_EQ(job.strPolicyName, "mine");

  // A running job without an id has id 0; case matters in states.
  IsilonJsonSyncIQJobInfo noId;
  noId.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_RUNNING);
  std::string reply2 = R"({"jobs":[{"state":"Running","policy_name":"mine","error":""},
                                   {"job_id":"9","state":"paused","policy_name":"mine","error":""}],"resume":"r"})";
  ASSERT_TRUE(noId.ParseResponse(reply2));
  noId.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 0u);
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_PAUSED);

  IsilonJsonSyncIQJobInfo none;
  none.Initialize(kServer, "mine", SYNCIQ_JOB_STATE_NONE);
  std::string finished = R"({"jobs":[{"job_id":1,"state":"finished","policy_name":"mine","error":""}],"resume":"t"})";
  EXPECT_FALSE(none.ParseResponse(finished));
  std::string resume;
  none.GetResume(resume);
  EXPECT_EQ(resume, "t");
  none.GetJobInfo(job);
  EXPECT_EQ(job.nJobId, 0u);
  EXPECT_EQ(job.eState, SYNCIQ_JOB_STATE_NONE);
  std::string noJobs = R"({"total":0})";
  EXPECT_FALSE(none.ParseResponse(noJobs));
}

std::string Report(unsigned int id, const std::string& state, const std::string& snapshots) {
  return "{\"job_id\":" + std::to_string(id) +
         ",\"bytes_transferred\":4294967301,\"directories_replicated\":2,\"dirs_deleted\":3,"
         "\"files_transferred\":4,\"new_files_replicated\":5,\"duration\":6.9,\"error\":\"\",\"state\":\"" +
         state + "\",\"target_snapshots\":[" + snapshots + "]}";
}

_IsilonSyncIQJobReportInfo Select(unsigned int jobId, eIsilonSyncIQJobState state, std::string reply) {
  IsilonJsonSyncIQJobReport request;
  request.Initialize(kServer, "p", jobId, state);
  EXPECT_TRUE(request.ParseResponse(reply));
  _IsilonSyncIQJobReportInfo out;
  request.GetJobReportInfo(out);
  return out;
}

// The states of a report and the snapshot it names; fractions cut (the selection by id: ReportTest).
TEST(SyncIQRequests, ReportStateTargetSnapshotAndCounters) {
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
    const _IsilonSyncIQJobReportInfo r =
        Select(3, SYNCIQ_JOB_STATE_NONE, "{\"reports\":[" + Report(3, row.state, row.snapshots) + "]}");
    EXPECT_EQ(r.strState, row.state);
    EXPECT_EQ(r.eState, row.expected);
    EXPECT_EQ(r.strTargetSnapshot, row.target);
    EXPECT_EQ(r.nDuration, 6u);
  }
}

}  // namespace
