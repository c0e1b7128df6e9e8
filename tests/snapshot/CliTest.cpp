// isilonctl snapshots / changelist as a real process against the simulated cluster: the tool's
// arguments, output and exit codes (what the operations do is left to the library's tests).
#include "tests/snapshot/SnapshotSim.h"
#include "tests/support/Isilonctl.h"

namespace {

class SnapshotCli : public CtlFixture<SnapshotSim> {
 protected:
  SnapshotCli() : CtlFixture("127.0.0.53") {}

  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(ifs().AddFile("/ifs/data/a.txt", isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk);
    isim::SnapshotModule::JobPlan plan;
    plan.states.clear();  // done at the first poll: the tool really sleeps between polls
    snaps().setJobPlan(plan);
  }
};

TEST_F(SnapshotCli, SnapshotsTheirChangeListAndTheJobType) {
  ExpectRuns({{{"snapshots", "create", "/ifs/data/", "before"}, 0, "Created snapshot before (id 1) of /ifs/data\n"}});
  ASSERT_EQ(ifs().AddFile("/ifs/data/b.txt"), isim::ns::Status::kOk);
  ExpectRuns({
      {{"snapshots", "create", "/ifs/data", "after"}, 0, "Created snapshot after (id 2) of /ifs/data\n"},
      {{"-o", "ndjson", "snapshots", "list", "--path", "/ifs/data/"}, 0, "{\"count\":2,"},
      {{"--json", "snapshots", "list", "--name", "after"}, 0, "\"name\": \"after\""},
      {{"-o", "ndjson", "snapshots", "list", "--name", "nosuch"},
       0,
       "{\"count\":0,\"exit\":0,\"ok\":true,\"snapshots\":[]}\n"},
      {{"changelist", "create", "1", "2", "--wait"}, 0, "Change list 1_2 is ready.\n"},
      {{"--json", "changelist", "get", "1", "2", "--all"}, 0, "\"path\":\"/ifs/data/b.txt\""},
      {{"--json", "changelist", "get", "1", "2", "--all"}, 0, "\"complete\": true,\n  \"count\": 1,"},
      {{"changelist", "get", "2", "1"}, 3, "isilonctl: changelist get failed: AEC_NOT_FOUND"},
      {{"snapshots", "delete", "--id", "1"}, 0, "Deleted snapshot before (id 1)\n"},
      {{"snapshots", "delete", "--id", "1"}, 0, "No snapshot id 1: nothing to delete.\n"},
      {{"snapshots", "delete", "--name", "after"}, 0, "Deleted snapshot after (id 2)\n"},
      {{"snapshots", "delete", "--name", "after"}, 0, "No snapshot after: nothing to delete.\n"},
      {{"snapshots", "delete"}, 2, "snapshots delete needs --id or --name"},
      {{"snapshots", "delete", "--id", "1", "--name", "x"}, 2, "excludes"},
      {{"changelist", "jobtype", "disable"}, 0, "ChangelistCreate jobs disabled.\n"},
      {{"changelist", "jobtype", "get"}, 0, "Enabled:                  no\n"},
      {{"changelist", "jobtype", "enable"}, 0, "ChangelistCreate jobs enabled.\n"},
      {{"changelist", "jobtype", "get"}, 0, "Enabled:                  yes\n"},
  });
}

}  // namespace
