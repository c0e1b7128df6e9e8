// isilonctl shares and zones: SMB shares per access zone, their paths and their ACLs.
#include <algorithm>
#include <cctype>
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

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The same account: by id when both have one, else by name (account names ignore case).
bool SameTrustee(const _IsilonSMBUser& a, const _IsilonSMBUser& b) {
  if (!a.strId.empty() && !b.strId.empty()) return a.strId == b.strId;
  if (!a.strName.empty() && !b.strName.empty()) return Lower(a.strName) == Lower(b.strName);
  // A name given against an entry the cluster knows by id only, or the other way round.
  return (!a.strId.empty() && a.strId == b.strName) || (!b.strId.empty() && b.strId == a.strName);
}

// The trustee's entry of that kind (allow, deny) takes the new permission; else it is added.
void SetPermission(_IsilonSMBACLs& acls, const _IsilonSMBPermissions& entry) {
  for (auto& p : acls.vPermissions) {
    if (p.strPermissionType == entry.strPermissionType && SameTrustee(p.trustee, entry.trustee)) {
      p.strPermission = entry.strPermission;
      return;
    }
  }
  acls.vPermissions.push_back(entry);
}

std::string TrusteeText(const _IsilonSMBUser& u) { return u.strName.empty() ? u.strId : u.strName; }

std::string EntryText(const _IsilonSMBPermissions& p) {
  return p.strPermissionType + " " + TrusteeText(p.trustee) + " " + p.strPermission;
}

// "- deny bob read", "+ allow Everyone full", "+ run-as-root alice": what goes, then what comes.
std::vector<std::string> AclDifference(const _IsilonSMBACLs& before, const _IsilonSMBACLs& after) {
  std::vector<std::string> lines;
  auto samePermission = [](const _IsilonSMBPermissions& a, const _IsilonSMBPermissions& b) {
    return a.strPermissionType == b.strPermissionType && a.strPermission == b.strPermission &&
           SameTrustee(a.trustee, b.trustee);
  };
  for (const auto& p : before.vPermissions) {
    if (std::none_of(after.vPermissions.begin(), after.vPermissions.end(),
                     [&](const _IsilonSMBPermissions& q) { return samePermission(p, q); })) {
      lines.push_back("- " + EntryText(p));
    }
  }
  for (const auto& u : before.vRunAsRoot) {
    if (std::none_of(after.vRunAsRoot.begin(), after.vRunAsRoot.end(),
                     [&](const _IsilonSMBUser& v) { return SameTrustee(u, v); })) {
      lines.push_back("- run-as-root " + TrusteeText(u));
    }
  }
  for (const auto& p : after.vPermissions) {
    if (std::none_of(before.vPermissions.begin(), before.vPermissions.end(),
                     [&](const _IsilonSMBPermissions& q) { return samePermission(p, q); })) {
      lines.push_back("+ " + EntryText(p));
    }
  }
  for (const auto& u : after.vRunAsRoot) {
    if (std::none_of(before.vRunAsRoot.begin(), before.vRunAsRoot.end(),
                     [&](const _IsilonSMBUser& v) { return SameTrustee(u, v); })) {
      lines.push_back("+ run-as-root " + TrusteeText(u));
    }
  }
  return lines;
}

std::string ZoneName(const std::string& zone) { return zone.empty() ? "System" : zone; }

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
    ctl::AddChangeOptions(cmd, rt);
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
      const std::string question = "Delete share '" + name + "' in zone " + ZoneName(zone) + "?";
      switch (rt.Change(question, [&]() { return session->DeleteCIFSShare(name, sharePath, zone); })) {
        case ctl::Runtime::ChangeOutcome::kMade: break;
        case ctl::Runtime::ChangeOutcome::kNotMade: return;
        case ctl::Runtime::ChangeOutcome::kFailed: rt.Failed("shares delete"); return;
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
    CLI::App* cmd = shares->add_subcommand("acl-set", "Edit a share's permissions and run-as-root users");
    cmd->alias("acl");
    static std::string name, zone, file;
    static std::vector<std::string> allow, deny, remove, runAsRoot, noRunAsRoot;
    static bool replace = false;
    cmd->add_option("NAME", name, "Share name")->required();
    cmd->add_option("--zone", zone, "Access zone (default: the System zone)");
    cmd->add_option("--file", file,
                    "JSON file {\"permissions\":[{\"permission\",\"permission_type\",\"trustee\"}],"
                    "\"run_as_root\":[...]}: its entries are set as --allow, --deny and --run-as-root set theirs");
    cmd->add_option("--allow", allow,
                    "Allow TRUSTEE:PERMISSION (full, change, read): adds the entry or replaces the trustee's allow "
                    "entry; repeatable");
    cmd->add_option("--deny", deny, "Deny TRUSTEE:PERMISSION: adds or replaces the trustee's deny entry; repeatable");
    cmd->add_option("--remove", remove, "Remove every permission entry of TRUSTEE; repeatable");
    cmd->add_option("--run-as-root", runAsRoot, "Add a run-as-root user or id (SID:..., UID:..., GID:...); repeatable");
    cmd->add_option("--no-run-as-root", noRunAsRoot, "Remove a run-as-root user or id; repeatable");
    cmd->add_flag("--replace,--clear", replace,
                  "Start from no entries at all: the share gets only what this command gives (alone: none)");
    ctl::AddChangeOptions(cmd, rt);
    cmd->callback([&rt]() {
      if (file.empty() && allow.empty() && deny.empty() && remove.empty() && runAsRoot.empty() && noRunAsRoot.empty() &&
          !replace) {
        rt.Usage(
            "shares acl-set needs --allow, --deny, --remove, --run-as-root, --no-run-as-root, --file or --replace");
        return;
      }
      // Every edit is checked before the cluster is asked anything.
      _IsilonSMBACLs given;
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
        if (doc.is_discarded() || !AclsFromJson(doc, given, error)) {
          rt.Usage(file + ": " + (error.empty() ? std::string("not valid JSON") : error));
          return;
        }
      }
      for (const auto* list : {&allow, &deny}) {
        for (const auto& text : *list) {
          _IsilonSMBPermissions p;
          if (!PermissionFromText(text, list == &allow ? "allow" : "deny", p, error)) {
            rt.Usage(error);
            return;
          }
          given.vPermissions.push_back(p);
        }
      }
      for (const auto& text : runAsRoot) given.vRunAsRoot.push_back(UserFromText(text));

      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      std::string path;
      _IsilonShareInfo current;
      if (!session->GetFSPathForShare(name, path, current, zone)) {
        if (rt.LastErrorIs("AEC_NOT_FOUND")) {
          rt.NotFound("share", name);
        } else {
          rt.Failed("shares acl-set");
        }
        return;
      }
      _IsilonSMBACLs acls = replace ? _IsilonSMBACLs() : current.ACLs;
      for (const auto& text : remove) {
        const _IsilonSMBUser who = UserFromText(text);
        auto& v = acls.vPermissions;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [&](const _IsilonSMBPermissions& p) { return SameTrustee(p.trustee, who); }),
                v.end());
      }
      for (const auto& p : given.vPermissions) SetPermission(acls, p);
      for (const auto& text : noRunAsRoot) {
        const _IsilonSMBUser who = UserFromText(text);
        auto& v = acls.vRunAsRoot;
        v.erase(std::remove_if(v.begin(), v.end(), [&](const _IsilonSMBUser& u) { return SameTrustee(u, who); }),
                v.end());
      }
      for (const auto& u : given.vRunAsRoot) {
        const bool there = std::any_of(acls.vRunAsRoot.begin(), acls.vRunAsRoot.end(),
                                       [&](const _IsilonSMBUser& known) { return SameTrustee(known, u); });
        if (!there) acls.vRunAsRoot.push_back(u);
      }

      const std::vector<std::string> changes = AclDifference(current.ACLs, acls);
      _IsilonShareInfo shown;
      shown.ACLs = acls;
      const json sent = ShareJson(shown);
      if (changes.empty()) {
        rt.PrintResult({{"ok", true}, {"name", name}, {"changed", false}, {"changes", changes}},
                       "Share " + name + ": nothing to change.");
        return;
      }
      // The difference comes first, so that the question and a dry run are read against it.
      if (!rt.options.json) {
        std::cout << "Changes to share " << name << ":\n";
        for (const auto& line : changes) std::cout << line << "\n";
        std::cout.flush();
      }
      const std::string question = "Change the permissions of share '" + name + "' in zone " + ZoneName(zone) + " (" +
                                   ctl::Count(changes.size(), "change", "changes") + ")?";
      switch (rt.Change(question, [&]() { return session->SetSMBACLs(acls, name, zone); })) {
        case ctl::Runtime::ChangeOutcome::kMade: break;
        case ctl::Runtime::ChangeOutcome::kNotMade: return;
        case ctl::Runtime::ChangeOutcome::kFailed: rt.Failed("shares acl-set"); return;
      }
      rt.PrintResult({{"ok", true},
                      {"name", name},
                      {"changed", true},
                      {"changes", changes},
                      {"permissions", sent["permissions"]},
                      {"run_as_root", sent["run_as_root"]}},
                     "Set " + ctl::Count(acls.vPermissions.size(), "permission entry", "permission entries") + " and " +
                         ctl::Count(acls.vRunAsRoot.size(), "run-as-root user", "run-as-root users") + " on share " +
                         name);
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
