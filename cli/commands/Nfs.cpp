// isilonctl exports: list, create and delete the cluster's NFS exports.
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "cli/Runtime.h"

namespace {

using nlohmann::json;

std::string Joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += (out.empty() ? "" : ",") + text;
  return out.empty() ? "-" : out;
}

json ExportJson(const _IsilonNFSExportInfo& e) {
  return {{"id", e.nId},
          {"paths", e.vPaths},
          {"clients", e.vClients},
          {"read_only_clients", e.vReadOnlyClients},
          {"read_write_clients", e.vReadWriteClients},
          {"root_clients", e.vRootClients},
          {"security_flavors", e.vSecurityFlavors},
          {"read_only", e.bReadOnly},
          {"all_dirs", e.bAllDirs}};
}

void InstallList(CLI::App& exports, ctl::Runtime& rt) {
  CLI::App* cmd = exports.add_subcommand("list", "List the NFS exports of a zone, or those serving a path");
  static std::string path, zone;
  cmd->add_option("--path", path, "Only exports that serve exactly this cluster path")->transform(ctl::PathArgument());
  cmd->add_option("--zone", zone, "Access zone (default: the cluster's System zone)");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonNFSExportInfo> list;
    if (!session->GetNFSExportList(list, 0, path, zone)) {
      rt.Failed("exports list");
      return;
    }
    if (rt.options.json) {
      json items = json::array();
      for (const auto& e : list) items.push_back(ExportJson(e));
      rt.PrintJson({{"ok", true}, {"exports", items}, {"count", list.size()}});
      return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& e : list) {
      rows.push_back({std::to_string(e.nId), Joined(e.vPaths), Joined(e.vClients), Joined(e.vReadWriteClients),
                      Joined(e.vReadOnlyClients), Joined(e.vRootClients), Joined(e.vSecurityFlavors),
                      e.bReadOnly ? "ro" : "rw"});
    }
    rt.PrintTable({"ID",
                   "PATHS",
                   "CLIENTS",
                   {"RW CLIENTS", ctl::kWideOnly},
                   {"RO CLIENTS", ctl::kWideOnly},
                   {"ROOT CLIENTS", ctl::kWideOnly},
                   {"SECURITY", ctl::kWideOnly},
                   "ACCESS"},
                  rows, ctl::Count(list.size(), "export", "exports"));
  });
}

void InstallCreate(CLI::App& exports, ctl::Runtime& rt) {
  CLI::App* cmd = exports.add_subcommand("create", "Create one NFS export serving the given paths");
  static std::vector<std::string> paths, clients, rootClients;
  static bool readOnly = false;
  cmd->add_option("PATH", paths, "Cluster paths to export, e.g. /ifs/data/projects")
      ->required()
      ->transform(ctl::PathArgument());
  cmd->add_option("--client", clients,
                  "Host allowed to mount, read-write (read-only with --read-only), without root access; "
                  "repeatable (none: every host)");
  cmd->add_option("--root-client", rootClients,
                  "Host allowed to mount with root access (root is not mapped to nobody); repeatable");
  cmd->add_flag("--read-only", readOnly, "Export read-only");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    // Root access is never implied: a host gets it only when named with --root-client.
    _IsilonNFSPermissions permissions;
    for (const std::string& client : clients) {
      permissions.setClients.insert(client);
      (readOnly ? permissions.setReadOnlyClients : permissions.setReadWriteClients).insert(client);
    }
    for (const std::string& client : rootClients) {
      permissions.setClients.insert(client);
      permissions.setRootClients.insert(client);
    }
    permissions.setSecurityFlavors.insert("unix");

    unsigned int id = 0;
    if (!session->CreateNFSExport(id, paths, permissions, /*extraA=*/"", /*extraB=*/"", readOnly, /*allDirs=*/true)) {
      rt.Failed("exports create");
      return;
    }
    if (id != 0) {
      rt.PrintResult({{"ok", true}, {"id", id}, {"paths", paths}, {"existing", false}},
                     "Created NFS export " + std::to_string(id) + " on " + Joined(paths));
      return;
    }
    // The cluster refused it as a duplicate: name the export that is there, if it can be found.
    std::string code, message;
    session->GetLastError(code, message);
    std::vector<_IsilonNFSExportInfo> existing;
    if (session->GetNFSExportList(existing, 0, paths.front(), "")) {
      const std::set<std::string> wanted(paths.begin(), paths.end());
      for (const auto& e : existing) {
        if (std::set<std::string>(e.vPaths.begin(), e.vPaths.end()) == wanted) {
          id = e.nId;
          break;
        }
      }
    }
    json out = {{"ok", true}, {"paths", paths}, {"existing", true}, {"code", code}, {"message", message}};
    if (id != 0) out["id"] = id;
    rt.PrintResult(out, "An NFS export on " + Joined(paths) + " exists already" +
                            (id != 0 ? " (id " + std::to_string(id) + ")" : std::string()) + ": " + code + ": " +
                            message);
  });
}

void InstallDelete(CLI::App& exports, ctl::Runtime& rt) {
  CLI::App* cmd = exports.add_subcommand("delete", "Delete an NFS export by its id");
  static unsigned int id = 0;
  cmd->add_option("ID", id, "Export id (see exports list)")->required()->check(ctl::WholeNumber(1, 4294967295LL));
  ctl::AddChangeOptions(cmd, rt);
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    const std::string question = "Delete NFS export " + std::to_string(id) + "?";
    switch (rt.Change(question, [&]() { return session->DeleteNFSExport(id, ""); })) {
      case ctl::Runtime::ChangeOutcome::kMade: break;
      case ctl::Runtime::ChangeOutcome::kNotMade: return;
      case ctl::Runtime::ChangeOutcome::kFailed: rt.Failed("exports delete"); return;
    }
    std::string code, message;
    session->GetLastError(code, message);
    const bool missing = code == "AEC_NOT_FOUND";
    rt.PrintResult({{"ok", true}, {"id", id}, {"deleted", !missing}},
                   missing ? "NFS export " + std::to_string(id) + " did not exist: " + message
                           : "Deleted NFS export " + std::to_string(id));
  });
}

}  // namespace

ISILONCTL_COMMAND(nfs_exports) {
  CLI::App* exports = app.add_subcommand("exports", "NFS exports");
  exports->require_subcommand(1);
  InstallList(*exports, rt);
  InstallCreate(*exports, rt);
  InstallDelete(*exports, rt);
}
