#include "cli/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/Runtime.h"
#include "host/PlatformInfo.h"
#include "isilon/ManageIsilon.h"

namespace ctl {
namespace {

namespace pt = boost::property_tree;

// Keys hold no "." but may one day; sections may hold anything but "]".
const char kNoSeparator = '\x1f';

const char* const kKeys[] = {"server",   "user",    "password_file",   "encrypted_password",
                             "key_file", "ca_file", "connect_timeout", "request_timeout"};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// flag > environment > profile.
void Pick(Setting& out, const std::string& flag, const char* flagName, const char* variable, const pt::ptree* section,
          const char* key, const std::string& where) {
  if (!flag.empty()) {
    out = {flag, std::string("flag ") + flagName};
    return;
  }
  if (variable != nullptr && !Env(variable).empty()) {
    out = {Env(variable), std::string("environment ") + variable};
    return;
  }
  if (section != nullptr) {
    const auto value = section->get_optional<std::string>(pt::ptree::path_type(key, kNoSeparator));
    if (value && !value->empty()) out = {*value, where};
  }
}

bool Seconds(Setting& setting, const char* key, const char* registryKey, int fallback, std::string& error) {
  if (setting.Set()) {
    const std::string& text = setting.value;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > 86400 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
      error = std::string(key) + " '" + text + "' (" + setting.source +
              ") is not a whole number of seconds from 1 to 86400";
      return false;
    }
    return true;
  }
  int registered = 0;
  if (QuorPlatformInfo::getRegInt("NAS", registryKey, &registered) && registered > 0) {
    setting = {std::to_string(registered), std::string("registry ") + registryKey};
  } else {
    setting = {std::to_string(fallback), "default"};
  }
  return true;
}

// A file others can read must not hold anything that opens the cluster.
bool CheckFile(const std::string& path, const pt::ptree& tree, std::string& error) {
  bool secret = false;
  for (const auto& section : tree) {
    if (section.second.empty() && !section.second.data().empty()) {
      error = path + ": '" + section.first + "' is outside any [profile] section";
      return false;
    }
    std::set<std::string> known(std::begin(kKeys), std::end(kKeys));
    for (const auto& entry : section.second) {
      if (entry.first == "password") {
        error = path + ": profile [" + section.first +
                "] holds a password in clear, which is refused: use password_file, or encrypted_password with "
                "key_file (see isilonctl encrypt-password)";
        return false;
      }
      if (known.count(entry.first) == 0) {
        error = path + ": profile [" + section.first + "] has an unknown key '" + entry.first + "'";
        return false;
      }
      if (entry.first == "encrypted_password") secret = true;
    }
  }
  struct stat info {};
  if (secret && ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    error = path + " holds an enciphered password but others can read it (mode " + Octal(info.st_mode) +
            "): run chmod 600 " + path;
    return false;
  }
  return true;
}

}  // namespace

std::string ConfigFilePath() {
  const std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg + "/isilonctl/config";
  const std::string home = Env("HOME");
  return home.empty() ? std::string() : home + "/.config/isilonctl/config";
}

bool ResolveSettings(const GlobalOptions& flags, Settings& out, std::string& error) {
  out = Settings();
  out.configFile = ConfigFilePath();
  Pick(out.profile, flags.profile, "--profile", "ISILON_PROFILE", nullptr, nullptr, "");

  pt::ptree tree;
  if (!out.configFile.empty() && ::access(out.configFile.c_str(), F_OK) == 0) {
    std::ifstream in(out.configFile);
    if (!in) {
      error = "cannot read " + out.configFile + ": " + std::strerror(errno);
      return false;
    }
    try {
      pt::read_ini(in, tree);
    } catch (const pt::ini_parser_error& e) {
      error = out.configFile + ":" + std::to_string(e.line()) + ": " + e.message();
      return false;
    }
    out.configFound = true;
    if (!CheckFile(out.configFile, tree, error)) return false;
  }
  const std::string name = out.profile.Set() ? out.profile.value : "default";
  if (!out.profile.Set() && tree.get_child_optional(pt::ptree::path_type(name, kNoSeparator))) {
    out.profile = {name, "default"};
  }
  const pt::ptree* section = nullptr;
  if (auto found = tree.get_child_optional(pt::ptree::path_type(name, kNoSeparator))) section = &*found;
  if (section == nullptr && out.profile.Set() && out.profile.source != "default") {
    error = "no profile '" + name + "' (" + out.profile.source + ") in " +
            (out.configFound ? out.configFile : out.configFile + ", which does not exist");
    return false;
  }
  const std::string where = "profile " + name + " in " + out.configFile;

  Pick(out.server, flags.server, "--server", "ISILON_SERVER", section, "server", where);
  Pick(out.user, flags.user, "--user", "ISILON_USER", section, "user", where);
  Pick(out.caFile, flags.caFile, "--ca-file", "ISILON_CA_FILE", section, "ca_file", where);
  Pick(out.keyFile, flags.keyFile, "--key-file", nullptr, section, "key_file", where);
  Pick(out.connectTimeout, "", nullptr, nullptr, section, "connect_timeout", where);
  Pick(out.requestTimeout, "", nullptr, nullptr, section, "request_timeout", where);
  if (!Seconds(out.connectTimeout, "connect_timeout", "nIsilonConnectTimeout", 30, error) ||
      !Seconds(out.requestTimeout, "request_timeout", "nIsilonRequestTimeout", 1800, error)) {
    return false;
  }
  if (out.server.Set() && out.server.source.compare(0, 5, "flag ") != 0 &&
      !ManageIsilon::IsValidFileServer(out.server.value)) {
    error = "server '" + out.server.value + "' (" + out.server.source +
            ") is not a bare host name or address: port 8080 is implied (no scheme, port, path or user)";
    return false;
  }

  // The password: the flags, then a file named by the environment, then the profile.
  if (flags.passwordStdin) {
    out.password = {"standard input", "flag --password-stdin"};
  } else if (!flags.encryptedPassword.empty()) {
    out.encryptedPassword = {flags.encryptedPassword, "flag --encrypted-password"};
    out.password = {"enciphered", "flag --encrypted-password"};
  } else if (!Env("ISILON_PASSWORD_FILE").empty()) {
    out.passwordFile = {Env("ISILON_PASSWORD_FILE"), "environment ISILON_PASSWORD_FILE"};
  } else if (section != nullptr) {
    Pick(out.passwordFile, "", nullptr, nullptr, section, "password_file", where);
    Pick(out.encryptedPassword, "", nullptr, nullptr, section, "encrypted_password", where);
    if (out.passwordFile.Set() && out.encryptedPassword.Set()) {
      error = out.configFile + ": profile [" + name + "] gives both password_file and encrypted_password; keep one";
      return false;
    }
    if (out.encryptedPassword.Set()) out.password = {"enciphered", where};
  }
  if (out.passwordFile.Set()) {
    struct stat info {};
    if (::stat(out.passwordFile.value.c_str(), &info) != 0) {
      error = "cannot read the password file " + out.passwordFile.value + " (" + out.passwordFile.source +
              "): " + std::strerror(errno);
      return false;
    }
    if ((info.st_mode & S_IROTH) != 0) {
      error = "the password file " + out.passwordFile.value + " can be read by others (mode " + Octal(info.st_mode) +
              "): run chmod 600 " + out.passwordFile.value;
      return false;
    }
    out.password = {"file " + out.passwordFile.value, out.passwordFile.source};
  }
  if (!out.password.Set()) out.password = {"terminal prompt", "default"};
  return true;
}

IsilonSessionOptions SessionOptionsFor(const Settings& settings) {
  IsilonSessionOptions options;
  // A CA file given to the tool is trusted, with certificate checks on even where the
  // registry turns them off: the user said what to trust.
  if (!settings.caFile.value.empty()) {
    options.caFile = settings.caFile.value;
    options.verifyTLS = true;
  }
  // Time-outs the registry does not already hold.
  if (settings.connectTimeout.FromProfile()) {
    options.connectTimeoutSeconds = std::stol(settings.connectTimeout.value);
  }
  if (settings.requestTimeout.FromProfile()) {
    options.requestTimeoutSeconds = std::stol(settings.requestTimeout.value);
  }
  return options;
}

}  // namespace ctl
