#pragma once
// What every isilonctl command shares: global options, the session, output and exit codes.
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "isilon/ManageIsilon.h"

namespace ctl {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

struct GlobalOptions {
  std::string server;
  std::string user;
  bool passwordStdin = false;
  std::string encryptedPassword;
  std::string keyFile;
  std::string caFile;
  bool json = false;
  int logLevel = 0;
  bool logLevelGiven = false;
};

class Runtime {
 public:
  GlobalOptions options;
  int exitCode = kExitOk;

  // The session object, made with the credentials on first use; null after a printed failure
  // (missing server or user, unreadable password), with exitCode set.
  ManageIsilon* Session();
  // Ends the session on the cluster if one was opened.
  void Finish();

  // Prints the last error of the session (and the transport's cause) and returns kExitFailed.
  int Failed(const std::string& what);
  // Prints a host error value (and the session's last error) and returns kExitFailed.
  int Failed(const std::string& what, const CZemError& error);
  // Bad usage found after parsing: prints and returns kExitUsage.
  int Usage(const std::string& message);

  void PrintJson(const nlohmann::json& value) const;
  void PrintTable(const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& rows) const;
  // Success output: the JSON value with --json, else `text` (when not empty).
  void PrintResult(const nlohmann::json& value, const std::string& text) const;
  // A progress line on a terminal (standard error), overwritten in place; nothing otherwise.
  void Progress(const std::string& line) const;
  void EndProgress() const;

 private:
  bool ReadPassword(std::string& password);
  std::unique_ptr<ManageIsilon> session_;
};

// A command installs its subcommands on the root app; its callbacks set rt.exitCode.
using CommandInstaller = void (*)(CLI::App& app, Runtime& rt);
struct CommandRegistration {
  CommandRegistration(const char* name, CommandInstaller installer);
};
void InstallCommands(CLI::App& app, Runtime& rt);

// Reads a password from the terminal without echo (prompt on standard error).
bool ReadPasswordFromTerminal(const char* prompt, std::string& password);

}  // namespace ctl

#define ISILONCTL_COMMAND(name)                                                        \
  static void name##_install(CLI::App& app, ctl::Runtime& rt);                         \
  static const ctl::CommandRegistration name##_registration(#name, &name##_install); \
  static void name##_install(CLI::App& app, ctl::Runtime& rt)
