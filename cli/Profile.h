#pragma once
// Where the connection settings come from: flags, then ISILON_* environment variables, then a
// profile of the configuration file ($XDG_CONFIG_HOME/isilonctl/config, else
// ~/.config/isilonctl/config; INI, one section per profile, [default] when none is named).
#include <string>

#include <vector>
#include "isilon/SessionOptions.h"

namespace ctl {

struct GlobalOptions;

// One setting in force and where it came from: "flag --server", "environment ISILON_USER",
// "profile prod in /home/u/.config/isilonctl/config", "registry", "default", or empty (unset).
struct Setting {
  std::string value;
  std::string source;
  bool Set() const { return !source.empty(); }
  bool FromProfile() const { return source.compare(0, 8, "profile ") == 0; }
};

struct Settings {
  std::string configFile;  // the file looked at (it may not exist)
  bool configFound = false;
  Setting profile, server, user, passwordFile, encryptedPassword, keyFile, caFile, connectTimeout, requestTimeout;
  // How the password is read: "standard input", "file PATH", "enciphered", "terminal prompt".
  Setting password;
};

// The configuration file's place by the XDG rules (empty when neither variable is set).
std::string ConfigFilePath();

// Resolves every setting; false with a message when the file or a value is refused (a password
// in clear, a secret in a file others can read, an unknown key or profile, a bad number).
bool ResolveSettings(const GlobalOptions& flags, Settings& out, std::string& error);

// The library's options for every session the tool opens: the CA file and the time-outs
// (seconds) that come from the tool's own settings; the registry gives the rest.
IsilonSessionOptions SessionOptionsFor(const Settings& settings);

}  // namespace ctl
