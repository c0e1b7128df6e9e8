// isilonctl snapshots / changelist as a real process against the simulated cluster.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/snapshot/SnapshotSim.h"
#include "tests/support/TempFile.h"

extern char** environ;

namespace {

struct CtlRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string IsilonctlPath() {
  // <build>/tests/isilon_snapshot_tests -> <build>/cli/isilonctl
  char self[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.rfind('/')) + "/../cli/isilonctl";
}

class SnapshotCliTest : public SnapshotSim {
 protected:
  SnapshotCliTest() : SnapshotSim("127.0.0.53") {}

  void SetUp() override {
    if (access(IsilonctlPath().c_str(), X_OK) != 0) GTEST_SKIP() << "isilonctl is not built";
    SnapshotSim::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(ifs().AddFile("/ifs/data/a.txt", isim::ns::NewEntry(), true), isim::ns::Status::kOk);
    // The tool really sleeps between polls: one poll is enough.
    isim::SnapshotModule::JobPlan plan;
    plan.states.clear();
    snaps().setJobPlan(plan);
  }

  // isilonctl with the login options, the password on standard input (a file, not a terminal).
  CtlRun Ctl(std::vector<std::string> args) {
    std::vector<std::string> all{IsilonctlPath(), "--server", address(), "--user", user(), "--password-stdin",
                                 "--ca-file", certPath(), "--log-level", "-1"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    TempFile in(password() + "\n"), out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.path().c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.path().c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.path().c_str(), O_WRONLY | O_TRUNC, 0);
    pid_t pid = 0;
    CtlRun run;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    // A guard against a hung tool, not a measure of its speed.
    int status = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > giveUp) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = out.read();
    run.err = err.read();
    return run;
  }
};

TEST_F(SnapshotCliTest, SnapshotsCreateListDelete) {
  CtlRun run = Ctl({"snapshots", "create", "/ifs/data", "before"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Created snapshot before (id 1) of /ifs/data\n");
  ASSERT_EQ(Ctl({"snapshots", "create", "/ifs/data", "after"}).exitCode, 0);

  run = Ctl({"--json", "snapshots", "list", "--path", "/ifs/data"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json list = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(list.is_object()) << run.out;
  ASSERT_EQ(list["snapshots"].size(), 2u);
  EXPECT_EQ(list["snapshots"][1]["name"], "after");

  run = Ctl({"snapshots", "delete", "--id", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Deleted snapshot before (id 1)\n");
  EXPECT_EQ(Requests("DELETE", "/platform/1/snapshot/snapshots").back().target, "/platform/1/snapshot/snapshots/1");
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
  const nlohmann::json page = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(page.is_object()) << run.out;
  ASSERT_EQ(page["items"].size(), 1u);
  EXPECT_EQ(page["items"][0]["path"], "/ifs/data/b.txt");
  EXPECT_EQ(page["complete"], true);

  run = Ctl({"changelist", "jobtype", "disable"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Requests("PUT", "/platform/3/job/types/ChangelistCreate").at(0).body, "{\"enabled\": false}");
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
