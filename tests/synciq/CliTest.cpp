// isilonctl synciq as a real process against the simulated cluster: the tool's arguments, output
// and exit codes (what the operations do is left to the library's tests).
#include "tests/support/Isilonctl.h"
#include "tests/synciq/SyncIQSim.h"

namespace {

class SyncIQCli : public CtlFixture<SyncIQSim> {
 protected:
  SyncIQCli() : CtlFixture("127.0.0.64") {}
};

TEST_F(SyncIQCli, PoliciesTheirCheckJobsAndReports) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  isim::synciq::Policy unfit = FitPolicy("projects", "/ifs/data/projects");
  unfit.schedule = "every day at 22:00";
  unfit.targetSnapshotExpiration = 604800;
  AddPolicy(unfit);
  isim::synciq::Policy off = FitPolicy("off", "/ifs/off");
  off.enabled = false;
  AddPolicy(off);
  // Bad usage is refused before anything is sent.
  ExpectRuns({
      {{"synciq", "report", "home"}, 2, "give --job ID or --state S"},
      {{"synciq", "job", "home", "--state", "bogus"}, 2, "unknown state 'bogus'"},
  });
  EXPECT_TRUE(Requests("/platform/1/sync").empty());
  const std::string missing = "isilonctl: no such policy: missing\n";
  ExpectRuns({
      {{"-o", "ndjson", "synciq", "policies"}, 0, "\"count\":3,"},
      {{"-o", "ndjson", "synciq", "policies", "--path", "/ifs/home/"}, 0, "\"count\":1,"},
      {{"--json", "synciq", "policies", "--name", "missing"}, 0, "\"policies\": []"},
      {{"synciq", "validate", "projects"},
       1,
       "Policy projects has 2 problems:\n  - Schedule should be set to manual. Current value[every day at 22:00].\n"},
      {{"--json", "synciq", "validate", "projects", "--fix"}, 0, "\"fixed\": true,"},
      {{"synciq", "validate", "projects"}, 0, "Policy projects is good for snapshot replication.\n"},
      // A lookup of one policy or report that is not there fails.
      {{"synciq", "validate", "missing"}, 3, missing},
      {{"synciq", "job", "missing"}, 3, missing},
      {{"synciq", "report", "missing", "--job", "1"}, 3, missing},
      {{"synciq", "report", "home", "--job", "7"}, 3, "isilonctl: no such report: job 7 of policy home\n"},
      {{"synciq", "job", "home"}, 0, "Policy home has no current job.\n"},
      {{"--json", "synciq", "start", "home", "home-daily"}, 0, "\"job_id\": 1,"},
      {{"--json", "synciq", "job", "home"}, 0, "\"state\": \"running\""},
      {{"synciq", "start", "off", "snap"}, 1, "isilonctl: synciq start failed: "},
  });
  server().clock().advance(61);
  ExpectRuns({
      {{"--json", "synciq", "report", "home", "--job", "1"},
       0,
       "\"state\": \"finished\",\n  \"target_snapshot\": \"SIQ_isilon-sim_home_"},
      {{"synciq", "report", "home", "--state", "finished"}, 0, "State                   finished\n"},
  });
}

TEST_F(SyncIQCli, AStartedJobNotListedInTimeIsReportedAsStarted) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  isim::synciq::Settings s = siq().settings();
  s.timing.appearAfter = 100000;  // the simulator's clock stands still: never listed
  siq().setSettings(s);
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=1\n");  // the tool really waits: 2 s
  ExpectRuns(
      {{{"synciq", "start", "home", "home-daily"},
        0,
        "Started a job of policy home; its id was not listed yet.\nLook it up with: isilonctl synciq job home"}});
  EXPECT_EQ(Requests("POST /platform/1/sync/jobs").size(), 1u);
}

}  // namespace
