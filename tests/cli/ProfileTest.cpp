// Connection settings from flags, the environment and a profile of the configuration file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/CtlProcess.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/Registry.h"
#include "tests/support/SimSessionFixture.h"

namespace {

struct ToolRun {
  int exitCode;
  std::string out, err;
  nlohmann::json Json() const { return nlohmann::json::parse(out, nullptr, false); }
};

class ProfileTest : public CtlFixture<SimSessionFixture> {
 protected:
  ProfileTest() : CtlFixture("127.0.0.162") {}
  std::string RegistryText() const override { return "[NAS]\n"; }

  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(0, mkdir(dir_.File("isilonctl").c_str(), 0700));
    WriteFile(PasswordFile(), password() + "\n", 0600);
  }

  std::string ConfigFile() const { return dir_.File("isilonctl/config"); }
  std::string PasswordFile() const { return dir_.File("password"); }
  void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    ASSERT_EQ(0, chmod(path.c_str(), mode));
  }
  // A [default] profile that logs in, then `more` lines.
  void WriteConfig(const std::string& more = "", mode_t mode = 0600) {
    WriteFile(ConfigFile(),
              "[default]\nserver = " + address() + "\nuser = " + user() + "\npassword_file = " + PasswordFile() +
                  "\nca_file = " + certPath() + "\n" + more,
              mode);
  }
  ToolRun Tool(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
    env["XDG_CONFIG_HOME"] = dir_.path();
    for (const char* name :
         {"ISILON_SERVER", "ISILON_USER", "ISILON_PASSWORD_FILE", "ISILON_CA_FILE", "ISILON_PROFILE"}) {
      env.emplace(name, "");
    }
    CtlProcess tool(CtlProcess::Io::kPipe, args, env);
    const int exitCode = tool.Wait();
    return {exitCode, tool.output(), tool.err()};
  }
  // Where `config show` says a setting came from.
  std::string Source(const std::string& name, const std::vector<std::string>& flags,
                     const std::map<std::string, std::string>& env) {
    std::vector<std::string> args = flags;
    args.insert(args.end(), {"--json", "config", "show"});
    const nlohmann::json out = Tool(args, env).Json();
    for (const auto& s : out["settings"]) {
      if (s["name"] == name) return s["source"].is_string() ? s["source"].get<std::string>() : "unset";
    }
    return "missing: " + out.dump();
  }

  TempDir dir_;
};

}  // namespace

TEST_F(ProfileTest, AProfileLogsInWithoutFlags) {
  WriteConfig("\n[other]\nserver = 127.0.0.163\nuser = nobody\n");
  ToolRun run = Tool({"login"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("Logged in to 127.0.0.162 as admin\n", run.out);

  // The environment alone, no file at all.
  const std::map<std::string, std::string> env{{"ISILON_SERVER", address()},
                                               {"ISILON_USER", user()},
                                               {"ISILON_PASSWORD_FILE", PasswordFile()},
                                               {"ISILON_CA_FILE", certPath()}};
  ASSERT_EQ(0, unlink(ConfigFile().c_str()));
  run = Tool({"login"}, env);
  EXPECT_EQ(0, run.exitCode) << run.err;

  // A named profile that is not there is refused before anything is sent.
  WriteConfig();
  server().requestLog().clear();
  for (const auto& [args, env] : std::vector<std::pair<std::vector<std::string>, std::map<std::string, std::string>>>{
           {{"--profile", "prod", "login"}, {}}, {{"login"}, {{"ISILON_PROFILE", "prod"}}}}) {
    run = Tool(args, env);
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("no profile 'prod'")) << run.err;
  }
  WriteConfig("[prod]\nserver = 127.0.0.163\n");
  run = Tool({"--profile", "prod", "--json", "config", "show"});
  EXPECT_NE(std::string::npos, run.out.find("127.0.0.163")) << run.out;
  EXPECT_EQ(0u, server().requestLog().size());
}

TEST_F(ProfileTest, FlagsWinOverTheEnvironmentWhichWinsOverTheProfile) {
  WriteConfig();
  const std::string profile = "profile default in " + ConfigFile();
  EXPECT_EQ(profile, Source("user", {}, {}));
  EXPECT_EQ("environment ISILON_USER", Source("user", {}, {{"ISILON_USER", "env"}}));
  EXPECT_EQ("flag --user", Source("user", {"--user", "flag"}, {{"ISILON_USER", "env"}}));
  EXPECT_EQ("environment ISILON_CA_FILE", Source("ca_file", {}, {{"ISILON_CA_FILE", "/x.pem"}}));
  EXPECT_EQ("flag --password-stdin",
            Source("password", {"--password-stdin"}, {{"ISILON_PASSWORD_FILE", PasswordFile()}}));
  EXPECT_EQ(profile, Source("password", {}, {}));
  EXPECT_EQ("default", Source("connect_timeout", {}, {}));
  WriteConfig("connect_timeout = 5\n");
  EXPECT_EQ(profile, Source("connect_timeout", {}, {}));
  registry().Rewrite("[NAS]\nnIsilonRequestTimeout = 77\n");
  EXPECT_EQ("registry nIsilonRequestTimeout", Source("request_timeout", {}, {}));

  // With a profile's time-out in force the tool still logs in (it rides on the registry).
  EXPECT_EQ(0, Tool({"login"}).exitCode);
}

TEST_F(ProfileTest, SecretsStayOutOfReadableFiles) {
  TempDir keys;
  const CtlRun made = RunIsilonctlRaw(
      {"--password-stdin", "encrypt-password", "--key-file", keys.File("k"), "--create-key"}, password() + "\n");
  ASSERT_EQ(0, made.exitCode) << made.err;
  const std::string cipher = made.out.substr(0, made.out.find('\n'));
  const std::string enciphered = "[default]\nserver = " + address() + "\nuser = " + user() +
                                 "\nca_file = " + certPath() + "\nencrypted_password = " + cipher +
                                 "\nkey_file = " + keys.File("k") + "\n";
  const struct {
    std::string text;
    mode_t configMode, passwordMode;
    int exitCode;
    std::string said;
  } cases[] = {
      {enciphered, 0600, 0600, 0, ""},
      {enciphered, 0640, 0600, 2, "others can read it (mode 0640): run chmod 600"},
      {enciphered, 0604, 0600, 2, "mode 0604"},
      {"[default]\npassword = " + password() + "\n", 0600, 0600, 2, "holds a password in clear"},
      // A file without a secret may be read by anyone.
      {"[default]\nserver = " + address() + "\nuser = " + user() + "\nca_file = " + certPath() +
           "\npassword_file = " + PasswordFile() + "\n",
       0644, 0640, 0, ""},
      {"[default]\npassword_file = " + PasswordFile() + "\n", 0600, 0604, 2, "can be read by others (mode 0604)"},
      {"[default]\npassword_file = " + PasswordFile() + "\nencrypted_password = x\n", 0600, 0600, 2, "keep one"},
      {"[default]\nservr = x\n", 0600, 0600, 2, "unknown key 'servr'"},
      {"server = x\n", 0600, 0600, 2, "outside any [profile] section"},
      {"[default]\nuser = a\nuser = b\n", 0600, 0600, 2, "duplicate key name"},
      {"[default]\nserver = https://x:8080\n", 0600, 0600, 2, "is not a bare host name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(ConfigFile(), c.text, c.configMode);
    ASSERT_EQ(0, chmod(PasswordFile().c_str(), c.passwordMode));
    const ToolRun run = Tool({"--json", "login"});
    EXPECT_EQ(c.exitCode, run.exitCode) << run.out << run.err;
    EXPECT_EQ(c.exitCode, run.Json()["exit"]) << run.out;
    if (!c.said.empty()) {
      EXPECT_NE(std::string::npos, run.Json()["message"].get<std::string>().find(c.said)) << run.out;
    }
    EXPECT_EQ(std::string::npos, (run.out + run.err).find(password()));
  }

  // Shown, the enciphered password is masked.
  WriteFile(ConfigFile(), enciphered, 0600);
  const ToolRun run = Tool({"config", "show"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("encrypted_password  ********")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find(cipher));
}

TEST_F(ProfileTest, TimeoutsAreWholeSecondsInRange) {
  const std::pair<std::string, int> cases[] = {{"0", 2}, {"1", 0}, {"86400", 0}, {"86401", 2}, {"-5", 2}, {"5s", 2}};
  for (const auto& [value, exitCode] : cases) {
    for (const char* key : {"connect_timeout", "request_timeout"}) {
      WriteConfig(std::string(key) + " = " + value + "\n");
      const ToolRun run = Tool({"config", "show"});
      EXPECT_EQ(exitCode, run.exitCode) << key << " = " << value << run.err;
      if (exitCode == 0) {
        EXPECT_NE(std::string::npos, run.out.find(value + "  ")) << run.out;
      }
    }
  }
}
