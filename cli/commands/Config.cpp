// isilonctl config: the connection settings in force and where each came from; --profile.
#include <iostream>

#include "cli/Runtime.h"

namespace {

using nlohmann::json;

// What a setting shows: secrets never, only that they are there.
std::string Shown(const ctl::Setting& s, bool secret) {
  if (!s.Set()) return "";
  return secret ? "********" : s.value;
}

}  // namespace

ISILONCTL_COMMAND(config) {
  app.add_option("--profile", rt.options.profile,
                 "Profile (section) of the configuration file to use (default: ISILON_PROFILE, else [default])");

  CLI::App* config = app.add_subcommand("config", "The tool's connection settings");
  config->require_subcommand(1);
  CLI::App* show = config->add_subcommand("show", "Print each setting in force and where it came from");
  show->callback([&rt]() {
    if (!rt.Resolve()) return;
    const ctl::Settings& s = rt.settings;
    const struct {
      const char* name;
      const ctl::Setting& setting;
      bool secret;
    } rows[] = {
        {"profile", s.profile, false},
        {"server", s.server, false},
        {"user", s.user, false},
        {"password", s.password, false},
        {"encrypted_password", s.encryptedPassword, true},
        {"key_file", s.keyFile, false},
        {"ca_file", s.caFile, false},
        {"connect_timeout", s.connectTimeout, false},
        {"request_timeout", s.requestTimeout, false},
    };
    const std::string file = s.configFile.empty() ? std::string("(none: neither XDG_CONFIG_HOME nor HOME is set)")
                             : s.configFound      ? s.configFile
                                                  : s.configFile + " (not there)";
    if (rt.options.json) {
      json settings = json::array();
      for (const auto& row : rows) {
        settings.push_back({{"name", row.name},
                            {"value", row.setting.Set() ? json(Shown(row.setting, row.secret)) : json()},
                            {"source", row.setting.Set() ? json(row.setting.source) : json()}});
      }
      rt.PrintJson(
          {{"ok", true}, {"config_file", s.configFile}, {"config_file_found", s.configFound}, {"settings", settings}});
      return;
    }
    std::cout << "Configuration file: " << file << "\n";
    std::vector<std::vector<std::string>> table;
    for (const auto& row : rows) {
      table.push_back({row.name, row.setting.Set() ? Shown(row.setting, row.secret) : "-",
                       row.setting.Set() ? row.setting.source : "not set"});
    }
    rt.PrintTable({"SETTING", "VALUE", "SOURCE"}, table);
  });
}
