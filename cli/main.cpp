// isilonctl: manage an Isilon cluster from the command line through the client library.
#include <cstdlib>
#include <iostream>

#include "cli/Runtime.h"
#include "host/LogWriter.h"

int main(int argc, char** argv) {
  ctl::Runtime rt;
  CLI::App app{"Manage an Isilon cluster through its HTTPS interface"};
  app.name("isilonctl");
  app.require_subcommand(1);
  app.add_option("--server", rt.options.server, "Cluster host name or address");
  app.add_option("--user", rt.options.user, "User name (DOMAIN\\user for a domain user)");
  app.add_flag("--password-stdin", rt.options.passwordStdin, "Read the password from standard input");
  app.add_option("--encrypted-password", rt.options.encryptedPassword,
                 "The password enciphered with 'isilonctl encrypt-password'");
  app.add_option("--key-file", rt.options.keyFile,
                 "Key file for --encrypted-password (default: the registry's sIsilonKeyFile)");
  app.add_option("--ca-file", rt.options.caFile, "PEM file of certificates to trust (else sIsilonCAFile)");
  app.add_flag("--json", rt.options.json, "Machine-readable output");
  app.add_option("--log-level", rt.options.logLevel,
                 "Library log level on standard error (-1 failures, the default, ... 7 traces)")
      ->each([&rt](const std::string&) { rt.options.logLevelGiven = true; });

  ctl::InstallCommands(app, rt);

  // Options are applied before any command callback runs.
  app.parse_complete_callback([&rt]() {
    if (!g_ptrLogWriter) return;
    if (rt.options.logLevelGiven) {
      g_ptrLogWriter->setLevel(rt.options.logLevel);
    } else if (std::getenv("ISILON_LOG_LEVEL") == nullptr) {
      // The tool prints its own outcome; the library adds only its failure lines.
      g_ptrLogWriter->setLevel(-1);
    }
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    rt.Finish();
    return ctl::kExitUsage;
  }
  rt.Finish();
  return rt.exitCode;
}
