// isilonctl's help, its messages for misspelt commands and options, its manual page and its
// completion scripts, the real tool (against the simulated cluster where names come from it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/smb/SmbModule.h"
#include "tests/cli/Terminal.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/ModuleSession.h"
#include "tests/support/Registry.h"
#include "tests/support/TempFile.h"

namespace {

CtlRun Bare(const std::vector<std::string>& args) { return RunIsilonctlRaw(args, ""); }

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line; its exit status.
int Shell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HelpTest, EachCommandShowsItsExamplesAndTheGlobalOptions) {
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"shares", "list"}, {"find"}, {"changelist", "get"}, {"synciq", "policies"}, {"shares"}}) {
    SCOPED_TRACE(::testing::PrintToString(command));
    std::vector<std::string> asked = command;
    asked.push_back("--help");
    const CtlRun help = Bare(asked);
    ASSERT_EQ(0, help.exitCode) << help.err;
    EXPECT_NE(std::string::npos, help.out.find("Examples:\n  isilonctl ")) << help.out;
    for (const char* global : {"\n  --server HOST ", "\n  -o,--output FORMAT ", "\n  --no-headers ", "\n  -H,"}) {
      EXPECT_NE(std::string::npos, help.out.find(global)) << global << "\n" << help.out;
    }
    // `help COMMAND...` shows the same.
    std::vector<std::string> viaHelp{"help"};
    viaHelp.insert(viaHelp.end(), command.begin(), command.end());
    const CtlRun same = Bare(viaHelp);
    EXPECT_EQ(0, same.exitCode) << same.err;
    EXPECT_EQ(help.out, same.out);
  }
  const CtlRun top = Bare({"help"});
  EXPECT_EQ(0, top.exitCode);
  EXPECT_NE(std::string::npos, top.out.find("Usage: isilonctl [OPTIONS] SUBCOMMAND")) << top.out;
  EXPECT_EQ(std::string::npos, top.out.find("__complete")) << "hidden commands stay hidden";
}

TEST(HelpTest, MisspeltCommandsAndOptionsAreNamedWithTheNearestOne) {
  // Each side of the suggestion threshold: words of 3 to 5 letters allow one edit, longer ones
  // two (a swap of neighbours is one); shorter ones none.
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"shares", "--hlep"}, "unknown option '--hlep', did you mean '--help'? (see isilonctl shares --help)"},
      {{"shares", "list", "--zon", "x"}, "unknown option '--zon', did you mean '--zone'?"},
      {{"shares", "list", "--zonx", "x"}, "unknown option '--zonx', did you mean '--zone'?"},
      {{"shares", "list", "--zoxx", "x"}, "unknown option '--zoxx' (see isilonctl shares list --help)"},
      {{"shares", "list", "--all-zonse"}, "unknown option '--all-zonse', did you mean '--all-zones'?"},
      {{"ls", "--zz", "/ifs"}, "unknown option '--zz' (see isilonctl ls --help)"},
      {{"ls", "/ifs", "--lmit", "3"}, "unknown option '--lmit', did you mean '--limit'?"},
      {{"shraes", "list"}, "unknown command 'shraes', did you mean 'shares'? (see isilonctl --help)"},
      {{"sharxx", "list"}, "unknown command 'sharxx', did you mean 'shares'?"},
      {{"shaxxx", "list"}, "unknown command 'shaxxx' (see isilonctl --help)"},
      {{"shares", "lst"}, "unknown command 'shares lst', did you mean 'shares list'?"},
      {{"shares", "lxxt"}, "unknown command 'shares lxxt' (see isilonctl shares --help)"},
      {{"help", "shares", "lits"}, "unknown command 'shares lits', did you mean 'shares list'?"},
      {{"shares"}, "a command is needed after 'isilonctl shares' (see isilonctl shares --help)"},
      {{"shares", "list", "extra"}, "unexpected argument 'extra' (see isilonctl shares list --help)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CtlRun run = Bare(c.args);
    EXPECT_EQ(2, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0u, run.err.rfind("isilonctl: ", 0)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
    EXPECT_EQ(1u, Lines(run.err).size()) << run.err;
    // The same words in the JSON failure.
    std::vector<std::string> json{"-o", "json"};
    json.insert(json.end(), c.args.begin(), c.args.end());
    const CtlRun asJson = Bare(json);
    EXPECT_EQ(2, asJson.exitCode);
    EXPECT_NE(std::string::npos, asJson.Json().value("message", "").find(c.message)) << asJson.out;
  }
}

TEST(HelpTest, TheManualPageListsEveryCommandWithItsOptionsAndExamples) {
  TempFile extra("[EXIT STATUS]\n0 done.\n[>DESCRIPTION]\nMore words.\n"), page;
  const CtlRun run = Bare({"__man", extra.path(), page.path()});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const std::string roff = page.read();
  EXPECT_EQ(0u, roff.rfind(".TH ISILONCTL 1 ", 0)) << roff.substr(0, 200);
  for (const char* part : {".SS \"isilonctl shares list [OPTIONS]\"", ".SS \"isilonctl find PATH [OPTIONS]\"",
                           ".SS \"isilonctl changelist jobtype disable [OPTIONS]\"", "\\fB\\-\\-all\\-zones\\fR",
                           "\\fB\\-\\-print0\\fR", "isilonctl shares list \\-\\-zone eng", ".SH \"GLOBAL OPTIONS\"",
                           "\\fB\\-\\-server\\fR \\fIHOST\\fR", ".SH \"EXIT STATUS\"\n0 done.\n", "More words.\n"}) {
    EXPECT_NE(std::string::npos, roff.find(part)) << part;
  }
  // Every command of the top-level help is on the page.
  const CtlRun top = Bare({"--help"});
  for (const std::string& line : Lines(top.out.substr(top.out.find("Subcommands:")))) {
    if (line.size() < 3 || line[0] != ' ') continue;
    std::string name = line.substr(2, line.find(' ', 2) - 2);
    if (name == "help") continue;
    for (size_t dash = name.find('-'); dash != std::string::npos; dash = name.find('-', dash + 2)) {
      name.replace(dash, 1, "\\-");
    }
    EXPECT_NE(std::string::npos, roff.find(".SS \"isilonctl " + name + " ")) << name;
  }
  if (Installed("groff")) {
    EXPECT_EQ(0, Shell("groff -man -Tutf8 -ww -z " + page.path() + " 2>&1 | grep -q . && exit 1 || exit 0"));
  }
}

class CompletionTest : public CtlFixture<ModuleSession> {
 protected:
  CompletionTest() : CtlFixture("127.0.0.222") {}
  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const char* name : {"zeta", "alpha", "beta"}) {
      isim::SmbModule::Share share;
      share.name = name;
      share.path = std::string("/ifs/") + name;
      ASSERT_TRUE(module<isim::SmbModule>().addShare("System", share));
    }
    const CtlRun made = RunIsilonctlRaw(
        {"--password-stdin", "encrypt-password", "--key-file", keys_.File("k"), "--create-key"}, password() + "\n");
    ASSERT_EQ(0, made.exitCode) << made.err;
    enciphered_ = made.out.substr(0, made.out.find('\n'));
  }
  std::vector<std::string> Login(const std::string& pass) const {
    return {"--server", address(),    "--user",        user(),      "--encrypted-password",
            pass,       "--key-file", keys_.File("k"), "--ca-file", certPath()};
  }
  TempDir keys_;
  std::string enciphered_;
};

TEST_F(CompletionTest, ScriptsLoadInEveryShellThereIs) {
  for (const char* shell : {"bash", "zsh", "fish"}) {
    SCOPED_TRACE(shell);
    const CtlRun run = Bare({"completion", shell});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("acl-set")) << "made from the command tree";
    EXPECT_NE(std::string::npos, run.out.find("all-zones"));
    if (!Installed(shell)) continue;  // checked where the shell exists
    TempFile script(run.out);
    EXPECT_EQ(0, Shell(std::string(shell) + " -n " + script.path()));
  }
  EXPECT_EQ(2, Bare({"completion", "tcsh"}).exitCode);
}

TEST_F(CompletionTest, NamesComeFromTheClusterAndNothingOnFailure) {
  std::vector<std::string> args = Login(enciphered_);
  args.insert(args.end(), {"__complete", "shares"});
  CtlRun run = Bare(args);
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("alpha\nbeta\nzeta\n", run.out);

  // A wrong password, no server at all, an unknown kind: quietly nothing.
  std::vector<std::string> wrong = Login("not-enciphered");
  wrong.insert(wrong.end(), {"__complete", "shares"});
  for (const auto& failing : {wrong, std::vector<std::string>{"__complete", "shares"},
                              std::vector<std::string>{"--json", "__complete", "shares"}}) {
    run = Bare(failing);
    EXPECT_NE(0, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("", run.err);
  }

  // Through bash's completion, as typed at a prompt.
  if (!Installed("bash") || access("/usr/share/bash-completion/bash_completion", R_OK) != 0) return;
  TempFile script(Bare({"completion", "bash"}).out);
  auto complete = [&](std::vector<std::string> words) {
    std::string line = "source /usr/share/bash-completion/bash_completion; source " + script.path() + "; COMP_WORDS=(";
    for (const std::string& w : words) line += "'" + w + "' ";
    line +=
        "); COMP_CWORD=" + std::to_string(words.size() - 1) +
        "; COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}; _isilonctl; printf '%s\\n' \"${COMPREPLY[@]}\"";
    TempFile command(line), out;
    Shell("bash " + command.path() + " > " + out.path() + " 2>/dev/null");
    return out.read();
  };
  std::vector<std::string> words{IsilonctlPath()};
  for (const std::string& w : Login(enciphered_)) words.push_back(w);
  words.insert(words.end(), {"shares", "path", "b"});
  EXPECT_EQ("beta\n", complete(words));
  EXPECT_EQ("shares\n", complete({IsilonctlPath(), "sha"}));
  EXPECT_EQ("--zone\n", complete({IsilonctlPath(), "shares", "list", "--zo"}));
  EXPECT_EQ("ndjson\n", complete({IsilonctlPath(), "-o", "nd"}));
}

}  // namespace
