// isilonctl as a real process against an in-process simulated cluster.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/Isilonctl.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"
#include "tests/support/TempFile.h"

namespace {

const char kAddress[] = "127.0.0.15";

using Outcome = CtlRun;

Outcome Isilonctl(const std::vector<std::string>& args, const std::string& input = std::string()) {
  return RunIsilonctlRaw(args, input);
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
