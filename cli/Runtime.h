#pragma once
// What every isilonctl command shares: global options, the session, output and exit codes.
#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "cli/Profile.h"
#include "host/LogWriter.h"
#include "isilon/ManageIsilon.h"

namespace ctl {

// By cause, so that a script can tell a typo from a wrong password from a cluster that is down.
// An interrupt exits with 128 + the signal (130 for SIGINT, 143 for SIGTERM).
enum ExitCode {
  kExitOk = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitNotFound = 3,
  kExitLoginRefused = 4,
  kExitUnreachable = 5,  // no connection, name not found, certificate not trusted
  kExitPartial = 6,      // done in part: a walk with directories it could not read
};

struct GlobalOptions {
  // As given on the command line; Runtime::Resolve() fills the empty ones from the environment
  // and the profile.
  std::string server;
  std::string user;
  bool passwordStdin = false;
  std::string passwordFile;
  std::string encryptedPassword;
  std::string keyFile;
  std::string caFile;
  std::string profile;
  bool json = false;
  int logLevel = 0;
  bool logLevelGiven = false;
  // For commands that change the cluster.
  bool yes = false;
  bool dryRun = false;
};

class Runtime {
 public:
  GlobalOptions options;
  int exitCode = kExitOk;
  // The command being run, as typed ("shares list"); names it in failure lines.
  std::string command;

  // The settings in force (after Resolve()).
  Settings settings;

  // Fills the options not given as flags from the environment and the profile, once; false
  // after a printed usage failure (exit 2).
  bool Resolve();
  // The password as the settings say (standard input, a file, the terminal); true without one
  // for an enciphered password. False when none could be read (or on an interrupt).
  bool ReadPassword(std::string& password);
  // The password Session() uses instead of reading one (a command that read it already).
  void UsePassword(const std::string& password);

  // The session object, made with the credentials and opened on first use; null after a
  // printed failure (missing server or user, unreadable password, refused login), with
  // exitCode set. Opening first makes a refused login read as such whatever the command.
  ManageIsilon* Session();
  // The options every session of the tool is given (after Resolve).
  IsilonSessionOptions SessionOptions() const;
  // Ends the session on the cluster if one was opened.
  void Finish();
  // The exit code of the run: 128 + the signal after an interrupt, else exitCode.
  int ExitCode() const;

  // A change to the cluster made by `change` (the library call), guarded: with --dry-run the
  // requests it would send are printed and none is sent; on a terminal without --yes the
  // question is asked first ("Delete share 'data' in zone System?"). kMade: `change` ran and
  // returned true. kFailed: it returned false (nothing printed yet). kNotMade: dry run,
  // declined or interrupted, all printed and exitCode set.
  enum class ChangeOutcome { kMade, kFailed, kNotMade };
  ChangeOutcome Change(const std::string& question, const std::function<bool()>& change);
  // Prints that the command was interrupted and sets the exit code (130, 143).
  int Interrupt();

  // Prints the last error of the session (and the transport's cause) and returns the exit code
  // of its cause (kExitFailed, kExitNotFound, kExitLoginRefused, kExitUnreachable).
  int Failed(const std::string& what);
  // Prints a host error value (or the session's last error) and returns kExitFailed.
  int Failed(const std::string& what, const CZemError& error);
  // Prints `isilonctl: <what> failed: <code>: <message>` (or its JSON) and returns kExitFailed.
  int Failed(const std::string& what, const std::string& code, const std::string& message,
             const std::string& cause = std::string());
  // A named object that is not there: `no such <thing>: <name>`, kExitNotFound.
  int NotFound(const std::string& thing, const std::string& name);
  // Bad usage found after parsing: prints and returns kExitUsage.
  int Usage(const std::string& message);
  // A failure of the tool itself (no cluster error behind it), e.g. an unreadable key file.
  int Error(const std::string& message);
  // True when the session's last error carries this code.
  bool LastErrorIs(const char* code) const;

  // Indented JSON, or one line with -o ndjson.
  void PrintJson(const nlohmann::json& value) const;
  // Columns aligned by display width, fitted to the terminal (all of them with -o wide), the
  // header line unless --no-headers, and `footer` (e.g. "2 shares") on a terminal only.
  void PrintTable(const std::vector<Column>& columns, const std::vector<std::vector<std::string>>& rows,
                  const std::string& footer = std::string()) const;
  // Success output: the JSON value with --json, else `text` (when not empty).
  void PrintResult(const nlohmann::json& value, const std::string& text) const;
  // A progress line on a terminal (standard error), overwritten in place; nothing otherwise.
  void Progress(const std::string& line) const;
  void EndProgress() const;
  // Standard output can no longer be written (a closed pipe, a full disk): long listings stop.
  bool OutputBroken() const;

 private:
  void PrintFailure(const std::string& line, nlohmann::json value);
  int ExitFor(const std::string& code) const;
  void InstallTransport();
  std::unique_ptr<ManageIsilon> session_;
  bool resolved_ = false;
  bool opening_ = false;
  bool passwordGiven_ = false;
  std::string givenPassword_;
};

// A result object with its "exit" member: the run's exit code so far (at least 1 when "ok" is
// false).
nlohmann::json WithExit(nlohmann::json value, int exitCode);
// --yes and --dry-run for a command that changes the cluster.
void AddChangeOptions(CLI::App* cmd, Runtime& rt);

// While it lives, hands the library's log lines up to `level` to `take`, whatever level the user
// asked for; the lines the user asked for are still written as before.
class LogTap : public CLogWriterInterface {
 public:
  using Taker = std::function<void(int level, const std::string& text)>;
  LogTap(int level, Taker take);
  ~LogTap() override;
  void setLevel(int level) override;
  void vwrite(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
              va_list args) override;
  void flush() override;
  void write(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
             ...) override __attribute__((format(printf, 7, 8)));
  const char* name() const override;
  bool enabled(int level) override;
  int level() override;

 private:
  int level_;
  Taker take_;
  boost::shared_ptr<CLogWriterInterface> inner_;
};

// "1 entry", "2 entries".
std::string Count(unsigned long long n, const char* one, const char* many);
// A cluster path as the cluster names it: "/ifs/data/" is "/ifs/data" (but "/" stays).
std::string ClusterPath(std::string path);
// Option checks that give short messages.
CLI::Validator WholeNumber(long long min, long long max);
// For cluster path options: drops trailing slashes.
CLI::Validator PathArgument();
// For --server: a host name, an IPv4 or an IPv6 address (bracketed or not), nothing more.
CLI::Validator ServerArgument();

// After parsing: flushes standard output and turns a failed write into
// `isilonctl: write error: <reason>` and kExitFailed; a reader that went away is no error.
int FinishOutput(int exitCode);
// Keeps descriptors 0 to 2 taken, so that no socket or file becomes "standard output".
void GuardStandardStreams();

// A command installs its subcommands on the root app; its callbacks set rt.exitCode.
using CommandInstaller = void (*)(CLI::App& app, Runtime& rt);
struct CommandRegistration {
  CommandRegistration(const char* name, CommandInstaller installer);
};
void InstallCommands(CLI::App& app, Runtime& rt);

// Reads a password from the terminal without echo (prompt on standard error). The terminal's
// settings are restored on every way out, a signal during the prompt included (the read then
// fails and Interrupted() tells why).
bool ReadPasswordFromTerminal(const char* prompt, std::string& password);

}  // namespace ctl

#define ISILONCTL_COMMAND(name)                                                      \
  static void name##_install(CLI::App& app, ctl::Runtime& rt);                       \
  static const ctl::CommandRegistration name##_registration(#name, &name##_install); \
  static void name##_install(CLI::App& app, ctl::Runtime& rt)
