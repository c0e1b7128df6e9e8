// isilonctl shares and zones: SMB shares per access zone, their paths and their ACLs.
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/Runtime.h"

namespace {

using nlohmann::json;

json UserJson(const _IsilonSMBUser& u) { return {{"id", u.strId}, {"name", u.strName}, {"type", u.strType}}; }

json ShareJson(const _IsilonShareInfo& s) {
  json permissions = json::array(), runAsRoot = json::array();
  for (const auto& p : s.ACLs.vPermissions) {
    permissions.push_back(
        {{"permission", p.strPermission}, {"permission_type", p.strPermissionType}, {"trustee", UserJson(p.trustee)}});
  }
  for (const auto& u : s.ACLs.vRunAsRoot) runAsRoot.push_back(UserJson(u));
  return {{"name", s.strName}, {"path", s.strPath},          {"description", s.strDescription}, {"zid", s.nZoneId},
          {"zone", s.strZone}, {"permissions", permissions}, {"run_as_root", runAsRoot}};
}

// "Everyone", "SID:S-1-1-0:..." style trustee text: ids carry their kind prefix.
_IsilonSMBUser UserFromText(const std::string& text) {
  _IsilonSMBUser user;
  if (text.compare(0, 4, "SID:") == 0 || text.compare(0, 4, "UID:") == 0 || text.compare(0, 4, "GID:") == 0) {
    user.strId = text;
  } else {
    user.strName = text;
  }
  return user;
}

std::string UserText(const _IsilonSMBUser& u) {
  if (u.strName.empty()) return u.strId;
  return u.strId.empty() ? u.strName : u.strName + " (" + u.strId + ")";
}

bool StringMember(const json& object, const char* key, std::string& out, std::string& error) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if (!it->is_string()) {
    error = std::string("\"") + key + "\" must be a string";
    return false;
  }
  out = it->get<std::string>();
  return true;
}

bool UserFromJson(const json& value, _IsilonSMBUser& user, std::string& error) {
  if (value.is_string()) {
    user = UserFromText(value.get<std::string>());
    return true;
  }
  if (!value.is_object()) {
    error = "a user must be an object with \"id\", \"name\", \"type\" or a text";
    return false;
  }
  return StringMember(value, "id", user.strId, error) && StringMember(value, "name", user.strName, error) &&
         StringMember(value, "type", user.strType, error);
}

// The file holds what the cluster takes: {"permissions":[{"permission","permission_type",
// "trustee"}], "run_as_root":[{"id","name","type"}]}.
bool AclsFromJson(const json& doc, _IsilonSMBACLs& acls, std::string& error) {
  if (!doc.is_object()) {
    error = "the ACL file must hold a JSON object";
    return false;
  }
  if (doc.contains("permissions")) {
    if (!doc["permissions"].is_array()) {
      error = "\"permissions\" must be an array";
      return false;
    }
    for (const json& entry : doc["permissions"]) {
      if (!entry.is_object()) {
        error = "each permission entry must be an object";
        return false;
      }
      _IsilonSMBPermissions p;
      if (!StringMember(entry, "permission", p.strPermission, error) ||
          !StringMember(entry, "permission_type", p.strPermissionType, error)) {
        return false;
      }
      if (!entry.contains("trustee") || !UserFromJson(entry["trustee"], p.trustee, error)) {
        if (error.empty()) error = "each permission entry needs a \"trustee\"";
        return false;
      }
      acls.vPermissions.push_back(p);
    }
  }
  if (doc.contains("run_as_root")) {
    if (!doc["run_as_root"].is_array()) {
      error = "\"run_as_root\" must be an array";
      return false;
    }
    for (const json& entry : doc["run_as_root"]) {
      _IsilonSMBUser u;
      if (!UserFromJson(entry, u, error)) return false;
      acls.vRunAsRoot.push_back(u);
    }
  }
  return true;
}

// TRUSTEE:PERMISSION, split at the last colon so that ids such as SID:S-1-1-0 stay whole.
bool PermissionFromText(const std::string& text, const char* type, _IsilonSMBPermissions& p, std::string& error) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
    error = "'" + text + "' is not TRUSTEE:PERMISSION (for example Everyone:read)";
    return false;
  }
  p.trustee = UserFromText(text.substr(0, colon));
  p.strPermission = text.substr(colon + 1);
  p.strPermissionType = type;
  return true;
}

void PrintShares(ctl::Runtime& rt, const std::vector<_IsilonShareInfo>& shares, bool withZone) {
  if (rt.options.json) {
    json list = json::array();
    for (const auto& s : shares) list.push_back(ShareJson(s));
    rt.PrintJson({{"ok", true}, {"shares", list}, {"count", shares.size()}});
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& s : shares) {
    std::vector<std::string> row = {s.strName, s.strPath, s.strDescription};
    if (withZone) row.insert(row.begin(), s.strZone.empty() ? "System" : s.strZone);
    rows.push_back(row);
  }
  const std::string footer = ctl::Count(shares.size(), "share", "shares");
  if (withZone) {
    rt.PrintTable({"ZONE", "NAME", "PATH", "DESCRIPTION"}, rows, footer);
  } else {
    rt.PrintTable({"NAME", "PATH", "DESCRIPTION"}, rows, footer);
  }
}

void ListAllZones(ctl::Runtime& rt, ManageIsilon* session) {
  std::vector<_IsilonShareInfo> shares;
  const CZemError error = session->GetAllCIFSSharesList(shares);
  if (error.IsError()) {
    rt.Failed("shares all", error);
    return;
  }
  PrintShares(rt, shares, /*withZone=*/true);
}

void InstallShares(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* shares = app.add_subcommand("shares", "SMB shares");
  shares->require_subcommand(1);

  {
    CLI::App* cmd = shares->add_subcommand("list", "List the shares of one zone (or of all zones)");
    static std::string zone, path, name;
    static bool allZones = false;
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->add_option("--path", path, "Only the shares of exactly this cluster path")->transform(ctl::PathArgument());
    cmd->add_option("--name", name, "Only the share of this name");
    cmd->add_flag("--all-zones", allZones, "The shares of every zone, zone by zone");
    cmd->callback([&rt]() {
      if (allZones && (!zone.empty() || !path.empty() || !name.empty())) {
        rt.Usage("--all-zones lists everything; it takes no --zone, --path or --name");
        return;
      }
      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      if (allZones) {
        ListAllZones(rt, session);
        return;
      }
      std::vector<_IsilonShareInfo> list;
      // A name the cluster does not know is answered with AEC_NOT_FOUND: an empty list.
      if (!session->GetCIFSSharesList(list, name, path, zone) && !(!name.empty() && rt.LastErrorIs("AEC_NOT_FOUND"))) {
        rt.Failed("shares list");
        return;
      }
      PrintShares(rt, list, /*withZone=*/false);
    });
  }
  {
    CLI::App* cmd = shares->add_subcommand("all", "List the shares of every access zone");
    cmd->callback([&rt]() {
      ManageIsilon* session = rt.Session();
      if (session != nullptr) ListAllZones(rt, session);
    });
  }
  {
    CLI::App* cmd = shares->add_subcommand("create", "Create a share (an existing share of that name is kept)");
    static std::string name, path, zone;
    cmd->add_option("NAME", name, "Share name")->required();
    cmd->add_option("PATH", path, "Cluster path the share exports, e.g. /ifs/data")
        ->required()
        ->transform(ctl::PathArgument());
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->callback([&rt]() {
      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      if (!session->CreateCIFSShare(name, path, "", zone)) {
        rt.Failed("shares create");
        return;
      }
      std::string code, message;
      session->GetLastError(code, message);
      const bool existed = code == "AEC_CONFLICT";
      rt.PrintResult(
          {{"ok", true}, {"name", name}, {"path", path}, {"zone", zone}, {"existed", existed}},
          existed ? "Share " + name + " exists already: " + message : "Created share " + name + " on " + path);
    });
  }
  {
    CLI::App* cmd = shares->add_subcommand("delete", "Delete a share (a missing share is not an error)");
    static std::string name, path, zone;
    cmd->add_option("NAME", name, "Share name")->required();
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->add_option("--path", path, "The share's path, if known (else looked up)")->transform(ctl::PathArgument());
    cmd->callback([&rt]() {
      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      std::string sharePath = path;
      if (sharePath.empty()) {
        _IsilonShareInfo info;
        if (!session->GetFSPathForShare(name, sharePath, info, zone)) {
          std::string code, message;
          session->GetLastError(code, message);
          if (code == "AEC_NOT_FOUND") {
            rt.PrintResult({{"ok", true}, {"name", name}, {"existed", false}}, "No share " + name + ": " + message);
          } else {
            rt.Failed("shares delete");
          }
          return;
        }
      }
      if (!session->DeleteCIFSShare(name, sharePath, zone)) {
        rt.Failed("shares delete");
        return;
      }
      std::string code, message;
      session->GetLastError(code, message);
      const bool existed = code != "AEC_NOT_FOUND";
      rt.PrintResult({{"ok", true}, {"name", name}, {"path", sharePath}, {"existed", existed}},
                     existed ? "Deleted share " + name : "No share " + name + ": " + message);
    });
  }
  {
    CLI::App* cmd = shares->add_subcommand("path", "Show the cluster path behind a share name");
    static std::string name, zone;
    cmd->add_option("NAME", name, "Share name")->required();
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->callback([&rt]() {
      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      std::string path;
      _IsilonShareInfo info;
      if (!session->GetFSPathForShare(name, path, info, zone)) {
        if (rt.LastErrorIs("AEC_NOT_FOUND")) {
          rt.NotFound("share", name);
        } else {
          rt.Failed("shares path");
        }
        return;
      }
      if (rt.options.json) {
        rt.PrintJson({{"ok", true}, {"path", path}, {"share", ShareJson(info)}});
        return;
      }
      std::cout << path << "\n";
      for (const auto& p : info.ACLs.vPermissions) {
        std::cout << "  " << p.strPermissionType << " " << p.strPermission << "  " << UserText(p.trustee) << "\n";
      }
      for (const auto& u : info.ACLs.vRunAsRoot) std::cout << "  run as root  " << UserText(u) << "\n";
      std::cout.flush();
    });
  }
  {
    CLI::App* cmd = shares->add_subcommand("acl-set", "Replace a share's permissions and run-as-root users");
    cmd->alias("acl");
    static std::string name, zone, file;
    static std::vector<std::string> allow, deny, runAsRoot;
    static bool clear = false;
    cmd->add_option("NAME", name, "Share name")->required();
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->add_option("--file", file,
                    "JSON file {\"permissions\":[{\"permission\",\"permission_type\",\"trustee\"}],"
                    "\"run_as_root\":[...]}");
    cmd->add_option("--allow", allow, "Allow entry TRUSTEE:PERMISSION (full, change, read), repeatable");
    cmd->add_option("--deny", deny, "Deny entry TRUSTEE:PERMISSION, repeatable");
    cmd->add_option("--run-as-root", runAsRoot, "Run-as-root user or id (SID:..., UID:..., GID:...), repeatable");
    cmd->add_flag("--clear", clear, "Set no entries at all (removes every permission and run-as-root user)");
    cmd->callback([&rt]() {
      if (file.empty() && allow.empty() && deny.empty() && runAsRoot.empty() && !clear) {
        rt.Usage("shares acl-set needs --file, --allow, --deny, --run-as-root or --clear");
        return;
      }
      if (clear && (!file.empty() || !allow.empty() || !deny.empty() || !runAsRoot.empty())) {
        rt.Usage("--clear takes no other ACL option");
        return;
      }
      _IsilonSMBACLs acls;
      std::string error;
      if (!file.empty()) {
        std::ifstream in(file);
        if (!in) {
          rt.Usage("cannot read " + file);
          return;
        }
        std::stringstream text;
        text << in.rdbuf();
        const json doc = json::parse(text.str(), /*cb=*/nullptr, /*allow_exceptions=*/false);
        if (doc.is_discarded() || !AclsFromJson(doc, acls, error)) {
          rt.Usage(file + ": " + (error.empty() ? std::string("not valid JSON") : error));
          return;
        }
      }
      for (const auto& text : allow) {
        _IsilonSMBPermissions p;
        if (!PermissionFromText(text, "allow", p, error)) {
          rt.Usage(error);
          return;
        }
        acls.vPermissions.push_back(p);
      }
      for (const auto& text : deny) {
        _IsilonSMBPermissions p;
        if (!PermissionFromText(text, "deny", p, error)) {
          rt.Usage(error);
          return;
        }
        acls.vPermissions.push_back(p);
      }
      for (const auto& text : runAsRoot) acls.vRunAsRoot.push_back(UserFromText(text));

      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      if (!session->SetSMBACLs(acls, name, zone)) {
        rt.Failed("shares acl-set");
        return;
      }
      _IsilonShareInfo shown;
      shown.ACLs = acls;
      const json sent = ShareJson(shown);
      rt.PrintResult(
          {{"ok", true}, {"name", name}, {"permissions", sent["permissions"]}, {"run_as_root", sent["run_as_root"]}},
          "Set " + ctl::Count(acls.vPermissions.size(), "permission entry", "permission entries") + " and " +
              ctl::Count(acls.vRunAsRoot.size(), "run-as-root user", "run-as-root users") + " on share " + name);
    });
  }
}

void InstallZones(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* zones = app.add_subcommand("zones", "Access zones");
  zones->require_subcommand(1);
  CLI::App* cmd = zones->add_subcommand("list", "List the access zones");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonAccessZoneInfo> list;
    const CZemError error = session->GetAccessZonesList(list);
    if (error.IsError()) {
      rt.Failed("zones list", error);
      return;
    }
    if (rt.options.json) {
      json out = json::array();
      for (const auto& z : list) {
        out.push_back({{"name", z.strName}, {"path", z.strPath}, {"zone_id", z.nZoneId}, {"system", z.bSystem}});
      }
      rt.PrintJson({{"ok", true}, {"zones", out}});
      return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& z : list)
      rows.push_back({std::to_string(z.nZoneId), z.strName, z.strPath, z.bSystem ? "yes" : ""});
    rt.PrintTable({"ID", "NAME", "PATH", "SYSTEM"}, rows);
  });
}

}  // namespace

ISILONCTL_COMMAND(smb_commands) {
  InstallShares(app, rt);
  InstallZones(app, rt);
}
