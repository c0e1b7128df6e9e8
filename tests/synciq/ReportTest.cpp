// Reading job reports from the simulated cluster: a job's own report as it runs and ends, the
// selection by job id or state, the target snapshot, and the first-page rule.
#include "tests/synciq/SyncIQSim.h"

namespace {

class SyncIQReports : public SyncIQSim {
 protected:
  SyncIQReports() : SyncIQSim("127.0.0.63") {}

  void Seed(const std::string& policy, uint64_t jobId, const std::string& state) {
    isim::synciq::Report r;
    r.policyName = policy;
    r.jobId = jobId;
    r.state = state;
    r.filesTransferred = jobId * 10;
    siq().addReport(r);
  }
};

TEST_F(SyncIQReports, JobReportFollowsTheJobToItsEnd) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  unsigned int jobId = 0;
  ASSERT_TRUE(session().StartSyncIQJob("home", "home-daily", jobId)) << LastMessage();

  _IsilonSyncIQJobReportInfo r;
  ASSERT_TRUE(session().GetSyncIQJobReport(r, jobId, "home", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(r.nJobId, jobId);
  EXPECT_EQ(r.strState, "running");
  EXPECT_EQ(r.eState, SYNCIQ_JOB_STATE_RUNNING);
  ASSERT_TRUE(session().GetSyncIQJobReport(r, 0, "home", SYNCIQ_JOB_STATE_RUNNING));
  EXPECT_EQ(r.nJobId, jobId);
  EXPECT_EQ(Requests("GET /platform/1/sync/reports").back(),
            "GET /platform/1/sync/reports?policy_name=home&state=running");

  server().clock().advance(61);
  ASSERT_TRUE(session().GetSyncIQJobReport(r, jobId, "home", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(r.strState, "finished");
  EXPECT_EQ(r.eState, SYNCIQ_JOB_STATE_FINISHED);
  EXPECT_EQ(r.strError, "");
  EXPECT_GT(r.nFilesTransferred, 0u);
  EXPECT_GT(r.nBytesTransferred, 0u);
  EXPECT_EQ(r.nDuration, 60u);
  // The archived snapshot, named by the policy's pattern, not the failover one listed first.
  EXPECT_EQ(r.strTargetSnapshot.rfind("SIQ_isilon-sim_home_", 0), 0u) << r.strTargetSnapshot;
  EXPECT_EQ(r.strTargetSnapshot.find("Failover"), std::string::npos);
  // Ended jobs leave the job list; the policy has a sync state from now on.
  _IsilonSyncIQJobInfo job;
  EXPECT_FALSE(session().GetSyncIQJobInfo(job, "home", SYNCIQ_JOB_STATE_NONE));
  std::vector<_IsilonSyncIQPolicyInfo> policies;
  ASSERT_TRUE(session().GetSyncIQPolicy(policies, "/ifs/home", ""));
  EXPECT_TRUE(policies[0].bHasSyncState);

  // A job that fails reports its error and no snapshot.
  isim::synciq::JobTiming failing = siq().settings().timing;
  failing.failWith = "Target cluster unreachable";
  SetTiming(failing);
  ASSERT_TRUE(session().StartSyncIQJob("home", "home-daily-2", jobId));
  server().clock().advance(61);
  ASSERT_TRUE(session().GetSyncIQJobReport(r, jobId, "home", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(r.eState, SYNCIQ_JOB_STATE_FAILED);
  EXPECT_EQ(r.strError, "Target cluster unreachable");
  EXPECT_EQ(r.strTargetSnapshot, "");
}

TEST_F(SyncIQReports, SelectionByJobIdOrStateAndTheTargetSnapshot) {
  const std::string policy = "p&state=running";
  Seed(policy, 5, "paused");
  isim::synciq::Report seven;
  seven.policyName = policy;
  seven.jobId = 7;
  seven.bytesTransferred = 4294967301ULL;  // above 32 bits
  seven.directoriesReplicated = 2;
  seven.dirsDeleted = 3;
  seven.filesTransferred = 4;
  seven.newFilesReplicated = 5;
  seven.duration = 6;
  seven.error = "partial";
  seven.targetSnapshots = {"SIQ-Failover-p-2024-01-01", "SIQ-p-initial", "SIQ_c_p_2024-01-02_10-00-00", "later"};
  siq().addReport(seven);
  Seed(policy, 9, "finished");
  Seed("p", 11, "running");  // another policy, listed first

  _IsilonSyncIQJobReportInfo r;
  ASSERT_TRUE(session().GetSyncIQJobReport(r, 7, policy, SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(Fields(r), "7|5|2|3|4|5|6|partial|finished|2|SIQ_c_p_2024-01-02_10-00-00");  // bytes: the low 32 bits

  // A wanted state takes the first report of the (filtered) list, even before the wanted id.
  for (const auto& wanted :
       {std::make_pair(0u, SYNCIQ_JOB_STATE_FINISHED), std::make_pair(7u, SYNCIQ_JOB_STATE_FINISHED),
        std::make_pair(0u, SYNCIQ_JOB_STATE_CANCELED)}) {
    ASSERT_TRUE(session().GetSyncIQJobReport(r, wanted.first, policy, wanted.second));
    EXPECT_EQ(r.nJobId, 9u);
  }

  ASSERT_TRUE(session().GetSyncIQJobReport(r, 5, policy, SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(Fields(r), "5|0|0|0|50|0|0||paused|0|");

  for (unsigned int id : {0u, 8u}) {
    EXPECT_FALSE(session().GetSyncIQJobReport(r, id, policy, SYNCIQ_JOB_STATE_NONE));
    ExpectLastError("Internal Error", "No response received from file server for jobid:[" + std::to_string(id) + "].");
  }
}

TEST_F(SyncIQReports, LaterPagesAreReadUntilTheReportIsFound) {
  for (uint64_t id : {5, 7, 9}) Seed("p", id, "finished");
  SetPageSize(1);
  _IsilonSyncIQJobReportInfo r;
  ASSERT_TRUE(session().GetSyncIQJobReport(r, 5, "p", SYNCIQ_JOB_STATE_NONE)) << LastMessage();
  EXPECT_EQ(r.nFilesTransferred, 50u);  // job 5's own report
  std::vector<std::string> pages = Requests("GET /platform/1/sync/reports");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[1].rfind("GET /platform/1/sync/reports?resume=", 0), 0u) << pages[1];

  server().requestLog().clear();
  EXPECT_FALSE(session().GetSyncIQJobReport(r, 8, "p", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(LastMessage(), "No response received from file server for jobid:[8].");
  EXPECT_EQ(Requests("GET /platform/1/sync/reports").size(), 3u);

  // A failing page fails the lookup, without any reconnection.
  server().requestLog().clear();
  server().faults().add(
      isim::Fault::error("/platform/1/sync/reports", 500, "AEC_SYSTEM_INTERNAL_ERROR", "down").after(1));
  EXPECT_FALSE(session().GetSyncIQJobReport(r, 5, "p", SYNCIQ_JOB_STATE_NONE));
  ExpectLastError("AEC_SYSTEM_INTERNAL_ERROR", "down");
  EXPECT_EQ(Requests("GET /platform/1/sync/reports").size(), 2u);
  EXPECT_TRUE(Requests("/session").empty());
  SetPageSize(1000);

  // Reports of the wrong shape: no "reports", entries of the wrong kinds.
  server().faults().add(isim::Fault::replace("/platform/1/sync/reports", 200, R"({"total":0})"));
  EXPECT_FALSE(session().GetSyncIQJobReport(r, 9, "p", SYNCIQ_JOB_STATE_NONE));
  server().faults().add(isim::Fault::replace(
      "/platform/1/sync/reports", 200,
      R"({"reports":[{"job_id":9,"duration":-3,"state":2,"target_snapshots":[5],"files_transferred":1e99}]})"));
  ASSERT_TRUE(session().GetSyncIQJobReport(r, 9, "p", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(Fields(r), "9|0|0|0|4294967295|0|4294967293|||0|");  // -3: the low 32 bits of two's complement
  // A report that is not a record, or target snapshots that are not a list: not read as a report.
  for (const char* reply : {R"({"reports":["x",{"job_id":9,"state":"finished"}]})",
                            R"({"reports":[{"job_id":9,"state":"finished","target_snapshots":"SIQ_a"}]})"}) {
    server().faults().add(isim::Fault::replace("/platform/1/sync/reports", 200, reply));
    EXPECT_FALSE(session().GetSyncIQJobReport(r, 9, "p", SYNCIQ_JOB_STATE_NONE)) << reply;
    EXPECT_EQ(LastCode(), "Internal Error") << reply;
  }
}

}  // namespace
