// isilonctl as a real process against an in-process simulated cluster.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"
#include "tests/support/TempFile.h"

extern char** environ;

namespace {

const char kAddress[] = "127.0.0.15";

std::string IsilonctlPath() {
#ifdef ISILONCTL_PATH
  return ISILONCTL_PATH;
#else
  // Next to the tests' build folder: <build>/tests/isilon_cli_tests -> <build>/cli/isilonctl.
  char self[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.rfind('/'));
  return dir + "/../cli/isilonctl";
#endif
}

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs isilonctl with `args`, feeding `input` on standard input (a file, so never a terminal).
// The environment is this process's (registry included) without any log settings.
Outcome Isilonctl(const std::vector<std::string>& args, const std::string& input = std::string()) {
  TempFile in(input), out, err;
  std::vector<std::string> argStore{IsilonctlPath()};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ISILON_LOG_", 11) != 0) envStore.push_back(*e);
  }
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.path().c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.path().c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.path().c_str(), O_WRONLY | O_TRUNC, 0);
  pid_t pid = 0;
  Outcome run;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    run.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
    return run;
  }
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

class CliTest : public SimFixture {
 protected:
  CliTest() : SimFixture(kAddress) {}
  void SetUp() override {
    SimFixture::SetUp();
    registry_.reset(new ScopedRegistry("[NAS]\n"));
  }
  void TearDown() override {
    registry_.reset();
    SimFixture::TearDown();
  }
  // The global options of a login as admin with the password on standard input.
  std::vector<std::string> Login(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--server", kAddress, "--user", "admin", "--password-stdin", "--ca-file", certPath()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("login");
    return args;
  }
  ScopedRegistry& registry() { return *registry_; }

 private:
  std::unique_ptr<ScopedRegistry> registry_;
};

}  // namespace

TEST_F(CliTest, LoginOpensAndClosesASession) {
  Outcome run = Isilonctl(Login(), "secret\n");
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("Logged in to 127.0.0.15 as admin\n", run.out);
  EXPECT_EQ("", run.err) << "the library logs only failures unless asked for more";
  const auto log = server().requestLog().entries();
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("POST", log[0].method);
  EXPECT_EQ("DELETE", log[1].method);
  EXPECT_EQ(0u, server().sessions().liveCount());

  // Machine-readable output; a line end typed as CR LF is not part of the password.
  run = Isilonctl(Login({"--json"}), "secret\r\n");
  ASSERT_EQ(0, run.exitCode) << run.err;
  const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(out.is_object()) << run.out;
  EXPECT_EQ(true, out["ok"]);
  EXPECT_EQ("127.0.0.15", out["server"]);

  // Trust may also come from the registry instead of --ca-file.
  registry().Rewrite("[NAS]\nsIsilonCAFile = " + certPath() + "\n");
  run = Isilonctl({"--server", kAddress, "--user", "admin", "--password-stdin", "login"}, "secret\n");
  EXPECT_EQ(0, run.exitCode) << run.err;
}

TEST_F(CliTest, FailuresExitWithOneAndSayWhy) {
  Outcome run = Isilonctl(Login(), "wrong\n");
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.err.find("[AEC_UNAUTHORIZED] Authorization failed: invalid username or password"))
      << run.err;
  EXPECT_NE(std::string::npos, run.err.find("cause: HTTP status 401")) << run.err;

  run = Isilonctl(Login({"--json"}), "wrong\n");
  EXPECT_EQ(1, run.exitCode);
  const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(out.is_object()) << run.out;
  EXPECT_EQ(false, out["ok"]);
  EXPECT_EQ("AEC_UNAUTHORIZED", out["code"]);

  // Not trusted: the cause names the certificate.
  run = Isilonctl({"--server", kAddress, "--user", "admin", "--password-stdin", "login"}, "secret\n");
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("certificate")) << run.err;

  // Nobody there.
  run = Isilonctl({"--server", "127.0.0.16", "--user", "admin", "--password-stdin", "login"}, "secret\n");
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("cause: ")) << run.err;
}

TEST_F(CliTest, BadUsageExitsWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},                                                              // no command
      {"no-such-command"},                                             // unknown command
      {"--no-such-option", "login"},                                   // unknown option
      {"--user", "admin", "--password-stdin", "login"},                // no server
      {"--server", kAddress, "--password-stdin", "login"},             // no user
      {"--server", kAddress, "--user", "admin", "login"},              // no password source
      {"--server", kAddress, "--user", "admin", "--log-level", "x", "login"},
  };
  for (const auto& args : cases) {
    const Outcome run = Isilonctl(args, "secret\n");
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(2, run.exitCode) << joined << "\n" << run.err;
    EXPECT_FALSE(run.err.empty()) << joined;
  }
  EXPECT_EQ(0u, server().requestLog().size());
}

TEST_F(CliTest, EncipheredPasswordAndLogLevel) {
  TempDir dir;
  const std::string key = dir.File("cluster.key");
  Outcome run = Isilonctl({"--password-stdin", "encrypt-password", "--key-file", key, "--create-key"}, "secret\n");
  ASSERT_EQ(0, run.exitCode) << run.err;
  std::string text = run.out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::string::npos, text.find("secret"));

  run = Isilonctl({"--server", kAddress, "--user", "admin", "--encrypted-password", text, "--key-file", key,
                   "--ca-file", certPath(), "--log-level", "7", "login"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  // The library's log goes to standard error, without the secrets.
  EXPECT_NE(std::string::npos, run.err.find("Successfully opened connection to file server[127.0.0.15]")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("secret"));
  const auto log = server().requestLog().entries();
  ASSERT_FALSE(log.empty());
  const std::string cookie = log.back().header("Cookie");
  ASSERT_GT(cookie.size(), 10u);
  EXPECT_EQ(std::string::npos, run.err.find(cookie.substr(10)));
  EXPECT_EQ(std::string::npos, run.err.find(log.back().header("X-CSRF-Token")));

  // Another key cannot decipher it.
  const std::string otherKey = dir.File("other.key");
  run = Isilonctl({"--password-stdin", "encrypt-password", "--key-file", otherKey, "--create-key"}, "x\n");
  ASSERT_EQ(0, run.exitCode);
  run = Isilonctl({"--server", kAddress, "--user", "admin", "--encrypted-password", text, "--key-file", otherKey,
                   "--ca-file", certPath(), "login"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("decipher")) << run.err;
}
