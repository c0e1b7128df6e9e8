// isilonctl: manage an Isilon cluster from the command line through the client library.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/Interrupt.h"
#include "cli/Runtime.h"
#include "host/LogWriter.h"

namespace {

// "shares list": the names of the subcommands chosen so far.
std::string CommandPath(CLI::App& app) {
  std::string path;
  for (CLI::App* at = &app; !at->get_subcommands().empty();) {
    at = at->get_subcommands().front();
    path += (path.empty() ? "" : " ") + at->get_name();
  }
  return path;
}

// The deepest chosen subcommand.
CLI::App* Deepest(CLI::App& app) {
  CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return at;
}

// CLI11's message, with an unknown command named as such.
std::string UsageMessage(CLI::App& app, const CLI::ParseError& e) {
  std::string message = e.what();
  CLI::App* at = Deepest(app);
  const bool wantsCommand = at->get_require_subcommand_min() > 0 && at->get_subcommands().empty();
  if (wantsCommand) {
    const std::string where = CommandPath(app);
    const std::string extraText = "not expected: ";
    const size_t extra = message.find(extraText);
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && extra != std::string::npos) {
      std::string name = message.substr(extra + extraText.size());
      name = name.substr(0, name.find(' '));
      return "unknown command '" + (where.empty() ? name : where + " " + name) + "' (see isilonctl " +
             (where.empty() ? "" : where + " ") + "--help)";
    }
    // An unknown word where a command belongs is left over unparsed.
    std::string unknown;
    for (CLI::App* level = at; level != nullptr && unknown.empty(); level = level->get_parent()) {
      for (const std::string& arg : level->remaining()) {
        if (!arg.empty() && arg[0] != '-') {
          unknown = arg;
          break;
        }
      }
    }
    if (!unknown.empty()) {
      return "unknown command '" + (where.empty() ? unknown : where + " " + unknown) + "' (see isilonctl " +
             (where.empty() ? "" : where + " ") + "--help)";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
      return "a command is needed after 'isilonctl" + (where.empty() ? "" : " " + where) + "' (see isilonctl " +
             (where.empty() ? "" : where + " ") + "--help)";
    }
  }
  return message;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away ends the output quietly (EPIPE), not the process.
  std::signal(SIGPIPE, SIG_IGN);
  ctl::GuardStandardStreams();
  ctl::InstallInterruptHandlers();
  ctl::InstallInterruptibleSleep();

  ctl::Runtime rt;
  // Known before parsing, so that a parse error is reported in the form asked for.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) rt.options.json = true;
  }

  CLI::App app{"Manage an Isilon cluster through its HTTPS interface"};
  app.name("isilonctl");
  app.require_subcommand(1);
  // Global options may also follow the command ("isilonctl login --password-stdin").
  app.fallthrough();
  app.set_version_flag("--version", std::string("isilonctl ") + ISILONCTL_VERSION);
  app.add_option("--server", rt.options.server, "Cluster host name or address (port 8080 is implied)")
      ->check(ctl::ServerArgument());
  app.add_option("--user", rt.options.user, "User name (DOMAIN\\user for a domain user)");
  app.add_flag("--password-stdin", rt.options.passwordStdin, "Read the password from standard input");
  app.add_option("--encrypted-password", rt.options.encryptedPassword,
                 "The password enciphered with 'isilonctl encrypt-password'");
  app.add_option("--key-file", rt.options.keyFile,
                 "Key file for --encrypted-password (default: the registry's sIsilonKeyFile)");
  app.add_option("--ca-file", rt.options.caFile,
                 "PEM file of certificates to trust (else sIsilonCAFile); checks certificates even when the "
                 "registry's sIsilonVerifyTLS turns checks off");
  app.add_flag("--json", rt.options.json, "Machine-readable output, failures included");
  app.add_option("--log-level", rt.options.logLevel,
                 "Library log on standard error: -1 failures ... 7 traces (default: none)")
      ->check(ctl::WholeNumber(-1, 7))
      ->each([&rt](const std::string&) { rt.options.logLevelGiven = true; });

  ctl::InstallCommands(app, rt);

  // Options are applied before any command callback runs.
  app.parse_complete_callback([&rt, &app]() {
    rt.command = CommandPath(app);
    if (!g_ptrLogWriter) return;
    if (rt.options.logLevelGiven) {
      g_ptrLogWriter->setLevel(rt.options.logLevel);
    } else if (std::getenv("ISILON_LOG_LEVEL") == nullptr) {
      // The tool reports every outcome itself; the library's log is there when asked for.
      g_ptrLogWriter->setLevel(-2);
    }
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    return ctl::FinishOutput(app.exit(e));
  } catch (const CLI::ParseError& e) {
    rt.command = CommandPath(app);
    rt.Usage(UsageMessage(app, e));
    rt.Finish();
    return ctl::FinishOutput(ctl::kExitUsage);
  }
  rt.Finish();
  return ctl::FinishOutput(rt.ExitCode());
}
