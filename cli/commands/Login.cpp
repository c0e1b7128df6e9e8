// isilonctl login: open and close a session, to check address, trust and credentials.
#include "cli/Runtime.h"

ISILONCTL_COMMAND(login) {
  CLI::App* login = app.add_subcommand("login", "Open and close a session with the cluster");
  login->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    if (!session->OpenConnection()) {
      rt.Failed("login");
      return;
    }
    rt.PrintResult({{"ok", true}, {"server", rt.options.server}, {"user", rt.options.user}},
                   "Logged in to " + rt.options.server + " as " + rt.options.user);
  });
}
