#pragma once
// Runs isilonctl as a real process against a simulated cluster:
//
//   class SharesCli : public CtlFixture<SmbFixture> { ... };
//   ExpectRuns({{{"shares", "path", "x"}, 1, "isilonctl: no such share: x\n"}});
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct CtlRun {
  int exitCode = -1;  // -1: it could not be started; 124 and up: it hung and was killed, or crashed
  std::string out, err;
  // Standard output as JSON (discarded when it is not).
  nlohmann::json Json() const { return nlohmann::json::parse(out, nullptr, false); }
};

// Where to log in: the options every run carries (the password on standard input).
struct CtlTarget {
  std::string address, user, password, caFile;
};

// <build>/tests/<program> -> <build>/cli/isilonctl
std::string IsilonctlPath();
bool IsilonctlBuilt();

// Where the tool's standard output goes.
enum class CtlStdout {
  kFile,        // a file, read back into CtlRun::out
  kFull,        // /dev/full: every write fails with ENOSPC
  kClosed,      // no descriptor 1 at all
  kBrokenPipe,  // a pipe whose reader has gone
};

// The tool with the login options, then `args`, at its default (quiet) log level.
CtlRun RunIsilonctl(const CtlTarget& target, const std::vector<std::string>& args, CtlStdout output = CtlStdout::kFile);
// The tool with exactly `args`, `input` on standard input (a file, so never a terminal), and
// this process's environment without any log settings (ISILON_LOG_*).
CtlRun RunIsilonctlRaw(const std::vector<std::string>& args, const std::string& input,
                       CtlStdout output = CtlStdout::kFile);

// One run of the tool and what it must give: its exit code and a part of its output (standard
// output followed by standard error). A run that succeeds writes nothing to standard error.
struct CtlExpect {
  std::vector<std::string> args;
  int exitCode;
  std::string output;
};
// Runs each in turn against the same cluster, whose state carries over from one to the next.
void ExpectRuns(const CtlTarget& target, const std::vector<CtlExpect>& runs);

// A simulator fixture whose tests run the tool against its cluster, skipped when the tool is not
// built. A derived SetUp returns at once when IsSkipped() or HasFatalFailure().
template <typename Fixture>
class CtlFixture : public Fixture {
 protected:
  using Fixture::Fixture;
  void SetUp() override {
    if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
    Fixture::SetUp();
  }
  CtlTarget Target() const { return {this->address(), this->user(), this->password(), this->certPath()}; }
  CtlRun Ctl(const std::vector<std::string>& args, CtlStdout output = CtlStdout::kFile) {
    return RunIsilonctl(Target(), args, output);
  }
  void ExpectRuns(const std::vector<CtlExpect>& runs) { ::ExpectRuns(Target(), runs); }
};
