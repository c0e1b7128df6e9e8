// Commands that change the cluster: acl-set edits rather than replaces, --dry-run sends nothing,
// and on a terminal each change is asked for first.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/CtlProcess.h"
#include "tests/smb/SmbFixture.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/Registry.h"
#include "tests/support/TempFile.h"

namespace {

// Shares are changed through version 3 and deleted through version 1 of the interface.
const char kShares[] = "/platform/3/protocols/smb/shares";
const char kDeleted[] = "/platform/1/protocols/smb/shares";

class SafetyTest : public CtlFixture<SmbFixture> {
 protected:
  SafetyTest() : CtlFixture("127.0.0.161") {}

  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Without a terminal a change goes ahead as before.
    ExpectRuns({{{"shares", "create", "team", "/ifs/team"}, 0, "Created share team"},
                {{"shares", "acl-set", "team", "--replace", "--allow", "Everyone:read", "--deny", "Users:change",
                  "--run-as-root", "root"},
                 0,
                 "Set 2 permission entries and 1 run-as-root user"}});
    server().requestLog().clear();
  }

  std::string Path() { return Ctl({"shares", "path", "team"}).out; }

  // The tool on a terminal, the password from a file.
  std::unique_ptr<CtlProcess> OnTerminal(std::vector<std::string> args) {
    passwordFile_.write(password() + "\n");
    chmod(passwordFile_.path().c_str(), 0600);
    std::vector<std::string> all{"--server", address(), "--user", user(), "--ca-file", certPath()};
    all.insert(all.end(), args.begin(), args.end());
    return std::unique_ptr<CtlProcess>(
        new CtlProcess(CtlProcess::Io::kTerminal, all, {{"ISILON_PASSWORD_FILE", passwordFile_.path()}}));
  }

 private:
  TempFile passwordFile_;
};

}  // namespace

TEST_F(SafetyTest, AclSetEditsOnlyWhatItNames) {
  const std::string everyone = "  allow read  Everyone (SID:S-1-1-0)\n";
  const std::string users = "  deny change  Users (SID:S-1-5-32-545)\n";
  const std::string root = "  run as root  root (UID:0)\n";
  ASSERT_EQ("/ifs/team\n" + everyone + users + root, Path());

  const struct {
    std::vector<std::string> edit;
    std::string shown;  // the difference printed
    std::string after;  // the share's ACL afterwards
  } cases[] = {
      // A trustee's entry of the same kind is replaced in place; the rest stays.
      {{"--allow", "Everyone:full"},
       "- allow Everyone read\n+ allow Everyone full\n",
       "/ifs/team\n  allow full  Everyone (SID:S-1-1-0)\n" + users + root},
      // Names match whatever their case; an allow does not touch the trustee's deny.
      {{"--allow", "users:read"},
       "+ allow users read\n",
       "/ifs/team\n  allow full  Everyone (SID:S-1-1-0)\n" + users + "  allow read  Users (SID:S-1-5-32-545)\n" + root},
      {{"--remove", "Users"},
       "- deny Users change\n- allow Users read\n",
       "/ifs/team\n  allow full  Everyone (SID:S-1-1-0)\n" + root},
      {{"--no-run-as-root", "root", "--run-as-root", "UID:0"},
       "",  // the same account by id: nothing changes
       "/ifs/team\n  allow full  Everyone (SID:S-1-1-0)\n" + root},
      {{"--no-run-as-root", "root"}, "- run-as-root root\n", "/ifs/team\n  allow full  Everyone (SID:S-1-1-0)\n"},
      {{"--replace", "--deny", "Users:read"},
       "- allow Everyone full\n+ deny Users read\n",
       "/ifs/team\n  deny read  Users (SID:S-1-5-32-545)\n"},
      {{"--clear"}, "- deny Users read\n", "/ifs/team\n"},
  };
  size_t puts = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.edit));
    std::vector<std::string> args{"shares", "acl-set", "team"};
    args.insert(args.end(), c.edit.begin(), c.edit.end());
    const CtlRun run = Ctl(args);
    EXPECT_EQ(0, run.exitCode) << run.err;
    if (c.shown.empty()) {
      EXPECT_EQ("Share team: nothing to change.\n", run.out);
    } else {
      EXPECT_EQ(0u, run.out.find("Changes to share team:\n" + c.shown)) << run.out;
      ++puts;
    }
    EXPECT_EQ(c.after, Path());
    EXPECT_EQ(puts, Sent("PUT", kShares).size()) << "a PUT only when something changes";
  }
}

TEST_F(SafetyTest, DryRunPrintsTheRequestAndSendsNothing) {
  const std::string before = Path();
  CtlRun run = Ctl({"shares", "delete", "team", "--dry-run"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("Dry run: nothing was sent. The request would be:\nDELETE https://127.0.0.161:8080" +
                std::string(kDeleted) + "/team\n",
            run.out);

  run = Ctl({"--json", "shares", "acl-set", "team", "--allow", "Administrators:full", "--dry-run"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  const nlohmann::json out = run.Json();
  ASSERT_EQ(1u, out["requests"].size()) << run.out;
  EXPECT_EQ(true, out["dry_run"]);
  EXPECT_EQ(0, out["exit"]);
  EXPECT_EQ("PUT", out["requests"][0]["method"]);
  EXPECT_EQ(3u, out["requests"][0]["body"]["permissions"].size()) << out;
  EXPECT_EQ(std::string::npos, run.out.find(password()));

  run = Ctl({"changelist", "jobtype", "disable", "--dry-run"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("PUT https://")) << run.out;
  EXPECT_EQ(0u, Ctl({"--json", "changelist", "jobtype", "get"}).out.find("{")) << "still readable";
  EXPECT_NE(std::string::npos, Ctl({"--json", "changelist", "jobtype", "get"}).out.find("\"enabled\": true"));

  run = Ctl({"exports", "delete", "7", "--dry-run"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("DELETE https://127.0.0.161:8080/platform/")) << run.out;

  // Nothing but reads and logins reached the cluster, and nothing changed.
  for (const auto& e : server().requestLog().entries()) {
    const bool session = e.target.find("/session/1/session") == 0;
    EXPECT_TRUE(e.method == "GET" || session) << e.method << " " << e.target;
  }
  EXPECT_EQ(before, Path());
}

TEST_F(SafetyTest, OnATerminalAChangeIsAskedFor) {
  const struct {
    std::vector<std::string> extra;
    std::string answer;  // empty: no question expected
    int exitCode;
    bool deleted;
  } cases[] = {
      {{}, "n\r", 1, false},          {{}, "\r", 1, false},  // the default is no
      {{}, "yes-please\r", 1, false}, {{}, "y\r", 0, true}, {{"--yes"}, "", 0, true}, {{"-y"}, "", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer + ::testing::PrintToString(c.extra));
    ASSERT_EQ(0, Ctl({"shares", "create", "team", "/ifs/team"}).exitCode);
    server().requestLog().clear();
    std::vector<std::string> args{"shares", "delete", "team"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    auto tool = OnTerminal(args);
    ASSERT_TRUE(tool->Started());
    if (!c.answer.empty()) {
      ASSERT_TRUE(tool->ReadUntil("Delete share 'team' in zone System? [y/N] ")) << tool->output();
      EXPECT_EQ(0u, Sent("DELETE", kDeleted).size()) << "nothing before the answer";
      tool->Type(c.answer);
    }
    EXPECT_EQ(c.exitCode, tool->Wait()) << tool->output();
    EXPECT_EQ(c.deleted ? 1u : 0u, Sent("DELETE", kDeleted).size());
    EXPECT_EQ(c.answer.empty(), tool->output().find("[y/N]") == std::string::npos) << tool->output();
    if (!c.deleted) {
      EXPECT_NE(std::string::npos, tool->output().find("not confirmed: nothing was changed"));
    }
  }

  // acl-set shows the difference before it asks.
  ASSERT_EQ(0, Ctl({"shares", "create", "team", "/ifs/team"}).exitCode);
  auto tool = OnTerminal({"shares", "acl-set", "team", "--deny", "Everyone:full"});
  ASSERT_TRUE(tool->ReadUntil("(1 change)? [y/N] ")) << tool->output();
  EXPECT_NE(std::string::npos, tool->output().find("+ deny Everyone full\r\n")) << tool->output();
  tool->Type("y\r");
  EXPECT_EQ(0, tool->Wait()) << tool->output();
  EXPECT_EQ(1u, Sent("PUT", kShares).size());
}
