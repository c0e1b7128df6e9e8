// isilonctl synciq as a real process against the simulated cluster.
#include <nlohmann/json.hpp>

#include "tests/support/Isilonctl.h"
#include "tests/synciq/SyncIQSim.h"

namespace {

class SyncIQCli : public SyncIQSim {
 protected:
  SyncIQCli() : SyncIQSim("127.0.0.64") {}

  void SetUp() override {
    SyncIQSim::SetUp();
    if (HasFatalFailure()) return;
    if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    return RunIsilonctl({address(), user(), password(), certPath()}, args);
  }
};

TEST_F(SyncIQCli, ListsValidatesAndFixesPolicies) {
  SetPageSize(2);
  AddPolicy(FitPolicy("home", "/ifs/home"));
  isim::synciq::Policy unfit = FitPolicy("projects", "/ifs/data/projects");
  unfit.schedule = "every day at 22:00";
  unfit.targetSnapshotExpiration = 604800;
  AddPolicy(unfit);
  AddPolicy(FitPolicy("media", "/ifs/data/media"));

  const CtlRun all = Ctl({"--json", "synciq", "policies"});
  ASSERT_EQ(all.exitCode, 0) << all.out;
  const nlohmann::json policies = all.Json().at("policies");
  ASSERT_EQ(policies.size(), 3u);  // over two pages
  EXPECT_EQ(policies[2].at("name"), "media");
  const CtlRun byPath = Ctl({"--json", "synciq", "policies", "--path", "/ifs/home"});
  ASSERT_EQ(byPath.exitCode, 0);
  EXPECT_EQ(byPath.Json().at("policies").size(), 1u);

  const CtlRun check = Ctl({"synciq", "validate", "projects"});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_NE(check.out.find("has 2 problems:"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("Schedule should be set to manual. Current value[every day at 22:00]."), std::string::npos);

  const CtlRun fix = Ctl({"--json", "synciq", "validate", "projects", "--fix"});
  ASSERT_EQ(fix.exitCode, 0) << fix.out;
  EXPECT_TRUE(fix.Json().at("fixed").get<bool>());
  EXPECT_EQ(fix.Json().at("problems").size(), 2u);
  EXPECT_EQ(Ctl({"synciq", "validate", "projects"}).exitCode, 0);  // fixed on the cluster

  // A lookup of one policy that is not there fails; a listing that finds none is empty.
  const struct {
    std::vector<std::string> args;
    std::string err;
  } missing[] = {
      {{"synciq", "validate", "missing"}, "isilonctl: no such policy: missing\n"},
      {{"synciq", "job", "missing"}, "isilonctl: no such policy: missing\n"},
      {{"synciq", "report", "missing", "--job", "1"}, "isilonctl: no such policy: missing\n"},
      {{"synciq", "report", "home", "--job", "7"}, "isilonctl: no such report: job 7 of policy home\n"},
  };
  for (const auto& c : missing) {
    const CtlRun run = Ctl(c.args);
    EXPECT_EQ(run.exitCode, 1) << c.err;
    EXPECT_EQ(run.err, c.err);
  }
  const CtlRun none = Ctl({"--json", "synciq", "policies", "--name", "missing"});
  EXPECT_EQ(none.exitCode, 0) << none.out;
  EXPECT_EQ(none.Json().at("policies"), nlohmann::json::array());
  const CtlRun idle = Ctl({"synciq", "job", "home"});
  EXPECT_EQ(idle.exitCode, 0) << idle.err;
  EXPECT_EQ(idle.out, "Policy home has no current job.\n");
  const CtlRun slash = Ctl({"synciq", "policies", "--path", "/ifs/home/"});
  EXPECT_NE(slash.out.find("\n1 policy\n"), std::string::npos) << slash.out;
}

TEST_F(SyncIQCli, StartsAJobAndShowsItsReport) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  const CtlRun start = Ctl({"--json", "synciq", "start", "home", "home-daily"});
  ASSERT_EQ(start.exitCode, 0) << start.out;
  EXPECT_EQ(start.Json().at("job_id"), 1);

  const CtlRun job = Ctl({"--json", "synciq", "job", "home"});
  ASSERT_EQ(job.exitCode, 0);
  EXPECT_EQ(job.Json().at("state"), "running");

  server().clock().advance(61);
  const CtlRun report = Ctl({"--json", "synciq", "report", "home", "--job", "1"});
  ASSERT_EQ(report.exitCode, 0) << report.out;
  EXPECT_EQ(report.Json().at("state"), "finished");
  EXPECT_EQ(report.Json().at("target_snapshot").get<std::string>().rfind("SIQ_isilon-sim_home_", 0), 0u);
  const CtlRun latest = Ctl({"synciq", "report", "home", "--state", "finished"});
  ASSERT_EQ(latest.exitCode, 0);
  EXPECT_NE(latest.out.find("finished"), std::string::npos);

  // Bad usage is refused before anything is sent; the cluster's refusal is a failure.
  server().requestLog().clear();
  EXPECT_EQ(Ctl({"synciq", "report", "home"}).exitCode, 2);
  EXPECT_EQ(Ctl({"synciq", "job", "home", "--state", "bogus"}).exitCode, 2);
  EXPECT_TRUE(Requests("/platform/1/sync").empty());
  isim::synciq::Policy off = FitPolicy("off", "/ifs/off");
  off.enabled = false;
  AddPolicy(off);
  EXPECT_EQ(Ctl({"synciq", "start", "off", "snap"}).exitCode, 1);
}

TEST_F(SyncIQCli, AStartedJobNotListedInTimeIsReportedAsStarted) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  isim::synciq::Settings s = siq().settings();
  s.timing.appearAfter = 100000;  // the simulator's clock stands still: never listed
  siq().setSettings(s);
  SetTarvex("nIsilonSyncIQJobStatusRetryCount=1\n");  // the tool really waits: 2 s
  const CtlRun start = Ctl({"synciq", "start", "home", "home-daily"});
  EXPECT_EQ(start.exitCode, 0) << start.err;
  EXPECT_EQ(start.out.rfind("Started a job of policy home; its id was not listed yet.\n", 0), 0u) << start.out;
  EXPECT_NE(start.out.find("isilonctl synciq job home"), std::string::npos) << start.out;
  EXPECT_EQ(start.err, "");
  EXPECT_EQ(Requests("POST /platform/1/sync/jobs").size(), 1u);
}

}  // namespace
