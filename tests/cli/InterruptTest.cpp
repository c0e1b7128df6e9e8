// Signals stop the tool cleanly: the terminal is restored, the sessions end, the output stays a
// valid document; exit codes tell the cause of a failure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/CtlProcess.h"
#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/TempFile.h"

namespace {

isim::Config Slow() {
  isim::Config config;
  config.latencyMs = 20;  // every page takes a while, so a walk is still going when the signal comes
  return config;
}

class InterruptTest : public CtlFixture<NamespaceFixture> {
 protected:
  InterruptTest() : CtlFixture("127.0.0.164", Slow()) {}

  std::vector<std::string> Login() const { return {"--server", address(), "--user", user(), "--ca-file", certPath()}; }
  std::map<std::string, std::string> PasswordFile() {
    password_.write(password() + "\n");
    chmod(password_.path().c_str(), 0600);
    return {{"ISILON_PASSWORD_FILE", password_.path()}};
  }

 private:
  TempFile password_;
};

}  // namespace

TEST_F(InterruptTest, ASignalAtThePasswordPromptRestoresEcho) {
  const struct {
    std::string typed;  // a key the terminal turns into a signal, or empty
    int signal, exitCode;
    std::string said;
  } cases[] = {
      {"\x03", 0, 130, "interrupted (SIGINT)"},   // Ctrl-C
      {"\x1c", 0, 131, "interrupted (SIGQUIT)"},  // Ctrl-backslash
      {"", SIGTERM, 143, "interrupted (SIGTERM)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    std::vector<std::string> args = Login();
    args.push_back("login");
    CtlProcess tool(CtlProcess::Io::kTerminal, args);
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.ReadUntil("Password: ")) << tool.output();
    EXPECT_EQ(0u, tool.LocalModes() & ECHO) << "no echo while the password is typed";
    tool.Type("sec");  // half typed
    if (c.typed.empty()) {
      tool.Signal(c.signal);
    } else {
      tool.Type(c.typed);
    }
    EXPECT_EQ(c.exitCode, tool.Wait()) << tool.output();
    EXPECT_NE(0u, tool.LocalModes() & ECHO) << "echo is back";
    EXPECT_NE(std::string::npos, tool.output().find(c.said)) << tool.output();
  }
  EXPECT_EQ(0u, Sent("", "/session").size()) << "no login was tried";
}

TEST_F(InterruptTest, ASignalStopsAWalkAndEndsEverySession) {
  for (int d = 0; d < 400; ++d) AddFile("/ifs/t/d" + std::to_string(d) + "/f", 1);
  const struct {
    const char* command;
    int signal, exitCode;
  } cases[] = {{"find", SIGINT, 130}, {"find", SIGTERM, 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    std::vector<std::string> args = Login();
    args.insert(args.end(), {"--json", c.command, "/ifs/t", "--parallel", "8"});
    CtlProcess tool(CtlProcess::Io::kPipe, args, PasswordFile());
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.ReadUntil("\"path\":\"/ifs/t/d")) << tool.output();  // the walk is under way
    tool.Signal(c.signal);
    EXPECT_EQ(c.exitCode, tool.Wait()) << tool.err();
    const nlohmann::json out = nlohmann::json::parse(tool.output(), nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << tool.output();
    EXPECT_EQ(true, out["interrupted"]);
    EXPECT_EQ(false, out["complete"]);
    EXPECT_EQ(c.exitCode, out["exit"]);
    EXPECT_EQ(nlohmann::json::array(), out["failures"]) << "requests refused after the signal are no failures";
    EXPECT_LT(out["directories"].get<int>(), 401);
    EXPECT_EQ(0u, server().sessions().liveCount()) << "every session of the walk ended on the cluster";
  }
}

TEST_F(InterruptTest, ExitCodesTellTheCause) {
  AddFile("/ifs/data/a", 1);
  const std::vector<std::string> good = Login();
  std::vector<std::string> wrongUser = good;
  wrongUser[3] = "nobody";
  std::vector<std::string> unreachable = good;
  unreachable[1] = "127.0.0.165";  // nothing listens there
  std::vector<std::string> unknownName = good;
  unknownName[1] = "no-such-host.invalid";
  const struct {
    std::vector<std::string> login, command;
    int exitCode;
  } cases[] = {
      {good, {"stat", "/ifs/data"}, 0},
      {good, {"stat", "/ifs/nothing"}, 3},
      {good, {"stat", "--no-such-option"}, 2},
      {wrongUser, {"stat", "/ifs/data"}, 4},
      {unreachable, {"stat", "/ifs/data"}, 5},
      {unknownName, {"stat", "/ifs/data"}, 5},
      {good, {"copy", "/ifs/data/a", "/ifs/data/a"}, 1},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.login;
    args.push_back("--json");
    args.insert(args.end(), c.command.begin(), c.command.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    CtlProcess tool(CtlProcess::Io::kPipe, args, PasswordFile());
    EXPECT_EQ(c.exitCode, tool.Wait()) << tool.output() << tool.err();
    const nlohmann::json out = nlohmann::json::parse(tool.output(), nullptr, false);
    EXPECT_EQ(c.exitCode, out["exit"]) << tool.output();
  }
}
