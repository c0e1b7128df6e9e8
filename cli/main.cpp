// isilonctl: manage an Isilon cluster from the command line through the client library.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "cli/Help.h"
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

// The output form asked for, known before parsing so that a parse error is reported in it.
void ScanOutputForm(int argc, char** argv, ctl::Runtime& rt) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    std::string value;
    const std::string arg = argv[i];
    if (arg == "--json") {
      value = "json";
    } else if ((arg == "-o" || arg == "--output") && i + 1 < argc) {
      value = argv[i + 1];
    } else if (arg.rfind("--output=", 0) == 0) {
      value = arg.substr(9);
    } else if (arg.rfind("-o", 0) == 0 && arg.size() > 2) {
      value = arg.substr(2);
    }
    ctl::OutputFormat format;
    if (!value.empty() && ctl::ParseOutputFormat(value, format)) {
      ctl::Out().format = format;
      rt.options.json = format == ctl::OutputFormat::kJson || format == ctl::OutputFormat::kNdjson;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away ends the output quietly (EPIPE), not the process.
  std::signal(SIGPIPE, SIG_IGN);
  ctl::GuardStandardStreams();
  ctl::InstallInterruptHandlers();
  ctl::InstallInterruptibleSleep();

  ctl::SetUpLocale();

  ctl::Runtime rt;
  ScanOutputForm(argc, argv, rt);
  // find's -print0 as find(1) spells it; the parser knows --print0 only.
  std::vector<std::string> words(argv, argv + argc);
  for (size_t i = 1; i < words.size() && words[i] != "--"; ++i) {
    if (words[i] == "-print0") words[i] = "--print0";
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
  app.add_option_function<std::string>(
         "-o,--output",
         [&rt](const std::string& text) {
           ctl::ParseOutputFormat(text, ctl::Out().format);
           rt.options.json =
               ctl::Out().format == ctl::OutputFormat::kJson || ctl::Out().format == ctl::OutputFormat::kNdjson;
         },
         "Output form: table (fitted to the terminal), wide (every column), json, or ndjson (one JSON value a "
         "line, listings streamed one entry a line)")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"table", "wide", "json", "ndjson"}));
  app.add_flag_callback(
      "--json",
      [&rt]() {
        ctl::Out().format = ctl::OutputFormat::kJson;
        rt.options.json = true;
      },
      "The same as -o json: machine-readable output, failures included");
  app.add_flag("--no-headers", ctl::Out().noHeaders, "Tables without their header line (and no footer line)");
  app.add_flag("-H,--human-readable", ctl::Out().human,
               "Sizes in powers of 1024 (1.5K, 20M) and times in the local time zone");
  app.add_option("--log-level", rt.options.logLevel,
                 "Library log on standard error: -1 failures ... 7 traces (default: none)")
      ->check(ctl::WholeNumber(-1, 7))
      ->each([&rt](const std::string&) { rt.options.logLevelGiven = true; });

  ctl::InstallCommands(app, rt);
  ctl::InstallHelp(app, rt);

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
    std::vector<std::string> reversed(words.rbegin(), words.rend() - 1);
    app.parse(reversed);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    return ctl::FinishOutput(app.exit(e));
  } catch (const CLI::ParseError& e) {
    rt.command = CommandPath(app);
    // The message comes from the failure_message hook that InstallHelp sets.
    std::ostringstream out, err;
    app.exit(e, out, err);
    std::string message = err.str();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    rt.Usage(message);
    rt.Finish();
    return ctl::FinishOutput(ctl::kExitUsage);
  }
  rt.Finish();
  return ctl::FinishOutput(rt.ExitCode());
}
