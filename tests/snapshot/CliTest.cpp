// isilonctl snapshots / changelist as a real process against the simulated cluster.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/snapshot/SnapshotSim.h"
#include "tests/support/Isilonctl.h"

namespace {

class SnapshotCliTest : public SnapshotSim {
 protected:
  SnapshotCliTest() : SnapshotSim("127.0.0.53") {}

  void SetUp() override {
    if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
    SnapshotSim::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(ifs().AddFile("/ifs/data/a.txt", isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk);
    isim::SnapshotModule::JobPlan plan;
    plan.states.clear();  // done at the first poll: the tool really sleeps between polls
    snaps().setJobPlan(plan);
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    return RunIsilonctl({address(), user(), password(), certPath()}, args);
  }
};

TEST_F(SnapshotCliTest, SnapshotsCreateListDelete) {
  CtlRun run = Ctl({"snapshots", "create", "/ifs/data", "before"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Created snapshot before (id 1) of /ifs/data\n");
  ASSERT_EQ(Ctl({"snapshots", "create", "/ifs/data", "after"}).exitCode, 0);

  run = Ctl({"--json", "snapshots", "list", "--path", "/ifs/data"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json list = run.Json();
  ASSERT_EQ(list.value("snapshots", nlohmann::json()).size(), 2u) << run.out;
  EXPECT_EQ(list["snapshots"][1]["name"], "after");

  run = Ctl({"snapshots", "delete", "--id", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Deleted snapshot before (id 1)\n");
  EXPECT_EQ(Sent("DELETE", "/platform/1/snapshot/snapshots").back().target, "/platform/1/snapshot/snapshots/1");
  run = Ctl({"snapshots", "delete", "--name", "before"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("nothing to delete"), std::string::npos);
  EXPECT_EQ(Ctl({"snapshots", "delete"}).exitCode, 2);
  EXPECT_EQ(Ctl({"snapshots", "delete", "--id", "1", "--name", "x"}).exitCode, 2);
}

TEST_F(SnapshotCliTest, ChangeListCreateGetAndJobType) {
  ASSERT_EQ(Ctl({"snapshots", "create", "/ifs/data", "before"}).exitCode, 0);
  ASSERT_EQ(ifs().AddFile("/ifs/data/b.txt"), isim::ns::Status::kOk);
  ASSERT_EQ(Ctl({"snapshots", "create", "/ifs/data", "after"}).exitCode, 0);

  CtlRun run = Ctl({"changelist", "create", "1", "2", "--wait"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Change list 1_2 is ready.\n");

  run = Ctl({"--json", "changelist", "get", "1", "2", "--all"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json page = run.Json();
  ASSERT_EQ(page.value("items", nlohmann::json()).size(), 1u) << run.out;
  EXPECT_EQ(page["items"][0]["path"], "/ifs/data/b.txt");
  EXPECT_EQ(page["complete"], true);

  run = Ctl({"changelist", "jobtype", "disable"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Sent("PUT", "/platform/3/job/types/ChangelistCreate").at(0).body, "{\"enabled\": false}");
  run = Ctl({"changelist", "create", "1", "2"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("AEC_BAD_REQUEST"), std::string::npos) << run.err;
  ASSERT_EQ(Ctl({"changelist", "jobtype", "enable"}).exitCode, 0);
  run = Ctl({"changelist", "jobtype", "get"});
  EXPECT_NE(run.out.find("Enabled:                  yes"), std::string::npos) << run.out;

  // A missing change list is a failure with the cluster's reason.
  run = Ctl({"changelist", "get", "2", "1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("AEC_NOT_FOUND"), std::string::npos) << run.err;
}

}  // namespace
