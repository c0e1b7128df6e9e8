// isilonctl as a real process against an in-process simulated cluster.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/Isilonctl.h"
#include "tests/support/SimSessionFixture.h"

namespace {

const char kAddress[] = "127.0.0.15";
const char kLoggedIn[] = "Logged in to 127.0.0.15 as admin\n";

// The tool with exactly `args` (no login options).
CtlRun Bare(const std::vector<std::string>& args, const std::string& input = "secret\n") {
  return RunIsilonctlRaw(args, input);
}

class CliTest : public SimSessionFixture {
 protected:
  CliTest() : SimSessionFixture(kAddress) {}
  // Nothing trusted unless a test says so.
  std::string RegistryText() const override { return "[NAS]\n"; }

  // The options of a login as admin with the password on standard input, then `tail`.
  std::vector<std::string> Args(std::vector<std::string> tail, const std::string& server = kAddress) const {
    std::vector<std::string> args{"--server", server, "--user", "admin", "--password-stdin", "--ca-file", certPath()};
    args.insert(args.end(), tail.begin(), tail.end());
    return args;
  }
  CtlRun Ctl(std::vector<std::string> tail, const std::string& input = "secret\n",
             CtlStdout output = CtlStdout::kFile) {
    return RunIsilonctlRaw(Args(std::move(tail)), input, output);
  }
};

}  // namespace

TEST_F(CliTest, LoginOpensAndClosesASession) {
  // A line end typed as CR LF is not part of the password; global options may follow the command.
  const struct {
    std::vector<std::string> args;
    std::string input, out;
  } cases[] = {
      {Args({"login"}), "secret\n", kLoggedIn},
      {Args({"--json", "login"}), "secret\r\n",
       "{\n  \"exit\": 0,\n  \"ok\": true,\n  \"server\": \"127.0.0.15\",\n  \"user\": \"admin\"\n}\n"},
      {{"login", "--server", kAddress, "--user", "admin", "--ca-file", certPath(), "--password-stdin"},
       "secret\n",
       kLoggedIn},
      {{"--version"}, "", "isilonctl 1.0.0\n"},
  };
  for (const auto& c : cases) {
    const CtlRun run = Bare(c.args, c.input);
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(c.out, run.out);
    EXPECT_EQ("", run.err) << "the library logs only failures unless asked for more";
  }
}

TEST_F(CliTest, FailuresPrintOneLineWithTheClustersError) {
  // A refused login reads as such whatever the command (not as the step that needed it).
  const char kUnauthorized[] =
      " failed: AEC_UNAUTHORIZED: Authorization failed: invalid username or password; cause: HTTP status 401\n";
  const std::pair<std::vector<std::string>, std::string> commands[] = {{{"login"}, "login"},
                                                                       {{"stat", "/ifs"}, "stat"},
                                                                       {{"cluster", "ips"}, "cluster ips"},
                                                                       {{"shares", "list"}, "shares list"}};
  for (const auto& command : commands) {
    const CtlRun run = Ctl(command.first, "wrong\n");
    EXPECT_EQ(4, run.exitCode);
    EXPECT_EQ("isilonctl: " + command.second + kUnauthorized, run.err);
    EXPECT_EQ("", run.out);
  }

  CtlRun run = Ctl({"--json", "login"}, "wrong\n");
  EXPECT_EQ(4, run.exitCode);
  EXPECT_EQ("", run.err);
  EXPECT_EQ(run.Json(), nlohmann::json({{"ok", false},
                                        {"code", "AEC_UNAUTHORIZED"},
                                        {"message", "Authorization failed: invalid username or password"},
                                        {"cause", "HTTP status 401"},
                                        {"operation", "login"},
                                        {"exit", 4}}))
      << run.out;
}

// Trust comes from --ca-file or the registry; an explicit --ca-file keeps certificate checks on
// although the registry turns them off. A certificate not trusted is a transport cause (exit 5).
TEST_F(CliTest, CertificateTrust) {
  const std::vector<std::string> login{"--server", kAddress, "--user", "admin", "--password-stdin", "login"};
  std::vector<std::string> otherCa = login;
  otherCa.insert(otherCa.begin(), {"--ca-file", "/etc/ssl/certs/ca-certificates.crt"});
  const std::tuple<std::string, std::vector<std::string>, int> cases[] = {
      {"", login, 5},
      {"sIsilonCAFile = " + certPath() + "\n", login, 0},
      {"sIsilonVerifyTLS = no\n", login, 0},
      {"sIsilonVerifyTLS = no\n", otherCa, 5},
  };
  for (const auto& [registryLines, args, exitCode] : cases) {
    registry().Rewrite("[NAS]\n" + registryLines);
    const CtlRun run = Bare(args);
    EXPECT_EQ(exitCode, run.exitCode) << registryLines << run.err;
    EXPECT_EQ(exitCode != 0, run.err.find("certificate") != std::string::npos) << run.err;
  }
}

TEST_F(CliTest, BadUsageExitsWithTwoAndSaysWhy) {
  const std::string host = kAddress;
  const char kBareServer[] = "must be a bare host name or address because port 8080 is implied";
  struct Refused {
    std::vector<std::string> args;
    std::string said;  // part of the message
  };
  std::vector<Refused> cases = {
      {{}, "a command is needed"},
      {{"no-such-command"}, "unknown command 'no-such-command'"},
      {{"shares", "frobnicate"}, "unknown command 'shares frobnicate'"},
      {{"--no-such-option", "login"}, "--no-such-option"},
      {{"--user", "admin", "--password-stdin", "login"}, "--server and --user are required"},
      {{"--server", kAddress, "--password-stdin", "login"}, "--server and --user are required"},
      {{"--server", kAddress, "--user", "admin", "login"}, "no password"},
      {{"--log-level", "x", "login"}, "'x' is not a whole number from -1 to 7"},
      {Args({"login"}, host + ":8080"), kBareServer},
      {Args({"login"}, "https://" + host), kBareServer},
      {Args({"login"}, host + "/"), kBareServer},
      {Args({"login"}, "admin@" + host), kBareServer},
      {Args({"login"}, host + " "), kBareServer},
      {Args({"login"}, "[::1]:8080"), kBareServer},
      {Args({"login"}, ""), kBareServer},
  };
  // Each bound of a number: the values just outside are refused, those just inside taken.
  const struct {
    std::vector<std::string> command;  // "" stands for the value
    std::string below, lowest, highest, above, range;
  } bounds[] = {
      {{"--log-level", "", "login"}, "-2", "-1", "7", "8", "from -1 to 7"},
      {{"ls", "/ifs", "--limit", ""}, "0", "1", "999999999", "1000000000", "from 1 to 999999999"},
      {{"exports", "delete", ""}, "0", "1", "4294967295", "4294967296", "from 1 to 4294967295"},
      {{"snapshots", "delete", "--id", ""}, "0", "1", "2147483647", "2147483648", "from 1 to 2147483647"},
      {{"changelist", "get", "", "2"}, "0", "1", "9223372036854775807", "9223372036854775808", "from 1 up"},
      {{"changelist", "get", "1", ""}, "0", "1", "9223372036854775807", "9223372036854775808", "from 1 up"},
      {{"synciq", "report", "p", "--job", ""}, "0", "1", "4294967295", "4294967296", "from 1 to 4294967295"},
  };
  std::vector<std::vector<std::string>> taken;
  for (const auto& b : bounds) {
    std::vector<std::string> args = Args(b.command);
    std::string& value = *std::find(args.begin(), args.end(), "");
    for (const std::string& refused : {b.below, b.above}) {
      value = refused;
      cases.push_back({args, "'" + refused + "' is not a whole number " + b.range});
    }
    for (const std::string& inside : {b.lowest, b.highest}) {
      value = inside;
      taken.push_back(args);
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    CtlRun run = Bare(c.args);
    EXPECT_EQ(2, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(c.said)) << run.err;
    EXPECT_LT(run.err.size(), 300u);
    // The same in JSON: one object on standard output.
    std::vector<std::string> json{"--json"};
    json.insert(json.end(), c.args.begin(), c.args.end());
    run = Bare(json);
    EXPECT_EQ(2, run.exitCode);
    const nlohmann::json out = run.Json();
    ASSERT_TRUE(out.is_object()) << run.out;
    EXPECT_EQ(false, out["ok"]);
    EXPECT_EQ("usage", out["code"]);
    EXPECT_NE(std::string::npos, out["message"].get<std::string>().find(c.said)) << out;
    EXPECT_EQ("", out["cause"]);
  }
  EXPECT_EQ(0u, server().requestLog().size());

  // The cluster may still refuse what the tool takes.
  for (const auto& args : taken) EXPECT_NE(2, Bare(args).exitCode) << ::testing::PrintToString(args);

  // Addresses in every accepted form; the check comes before anything else.
  TempDir dir;
  for (const char* accepted : {"127.0.0.15", "::1", "[::1]", "fe80::1", "cluster-1.example.com", "isilon_a"}) {
    const CtlRun run = Bare(
        {"--server", accepted, "--password-stdin", "encrypt-password", "--key-file", dir.File("k"), "--create-key"},
        "x\n");
    EXPECT_EQ(0, run.exitCode) << accepted << "\n" << run.err;
  }
}

TEST_F(CliTest, UnwritableOutputIsAnErrorButAGoneReaderIsNot) {
  const struct {
    CtlStdout output;
    int exitCode;
    std::string err;
  } cases[] = {
      {CtlStdout::kFull, 1, "isilonctl: write error: No space left on device\n"},
      {CtlStdout::kClosed, 1, "isilonctl: write error: Bad file descriptor\n"},
      {CtlStdout::kBrokenPipe, 0, ""},
  };
  for (const auto& c : cases) {
    for (const bool json : {false, true}) {
      server().requestLog().clear();
      const CtlRun run = Ctl(json ? std::vector<std::string>{"--json", "login"} : std::vector<std::string>{"login"},
                             "secret\n", c.output);
      EXPECT_EQ(c.exitCode, run.exitCode) << c.err;
      EXPECT_EQ(c.err, run.err);
      // The session was ended all the same.
      EXPECT_EQ(1u, server().requestLog().find("DELETE", "/session/1/session").size()) << c.err;
    }
  }
}

TEST_F(CliTest, NfsClientsGetRootAccessOnlyWhenNamedForIt) {
  const CtlRun run = Ctl({"exports", "create", "/ifs/data/", "--client", "10.0.0.1", "--root-client", "10.0.0.2"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const auto posts = server().requestLog().find("POST", "/platform/1/protocols/nfs/exports");
  ASSERT_EQ(1u, posts.size());
  const nlohmann::json body = nlohmann::json::parse(posts[0].body, nullptr, false);
  EXPECT_EQ(nlohmann::json({"/ifs/data"}), body["paths"]) << posts[0].body;
  EXPECT_EQ(nlohmann::json({"10.0.0.1"}), body["read_write_clients"]) << posts[0].body;
  EXPECT_EQ(nlohmann::json({"10.0.0.2"}), body["root_clients"]) << posts[0].body;
}

TEST_F(CliTest, EncipheredPasswordAndLogLevel) {
  TempDir dir;
  const std::string key = dir.File("cluster.key"), otherKey = dir.File("other.key");
  CtlRun run = Bare({"--password-stdin", "encrypt-password", "--key-file", key, "--create-key"}, "secret\n");
  ASSERT_EQ(0, run.exitCode) << run.err;
  const std::string text = run.out.substr(0, run.out.find('\n'));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::string::npos, text.find("secret"));

  run = Bare({"--server", kAddress, "--user", "admin", "--encrypted-password", text, "--key-file", key, "--ca-file",
              certPath(), "--log-level", "7", "login"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  // The library's log goes to standard error, without the secrets.
  EXPECT_NE(std::string::npos, run.err.find("Successfully opened connection to file server[127.0.0.15]")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("secret"));

  // Another key cannot decipher it.
  ASSERT_EQ(0, Bare({"--password-stdin", "encrypt-password", "--key-file", otherKey, "--create-key"}, "x\n").exitCode);
  run = Bare({"--server", kAddress, "--user", "admin", "--encrypted-password", text, "--key-file", otherKey,
              "--ca-file", certPath(), "login"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_EQ("isilonctl: cannot decipher the password (wrong key file or damaged text)\n", run.err);
}
