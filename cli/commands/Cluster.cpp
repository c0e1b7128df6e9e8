// isilonctl cluster: the cluster's external addresses and the version of each node.
#include <iostream>

#include "cli/Runtime.h"

ISILONCTL_COMMAND(cluster) {
  CLI::App* cluster = app.add_subcommand("cluster", "Cluster information");
  cluster->require_subcommand(1);

  CLI::App* ips = cluster->add_subcommand("ips", "List the cluster's external IP addresses");
  ips->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<std::string> list;
    if (!session->GetExternalIPs(list)) {
      rt.Failed("cluster ips");
      return;
    }
    if (rt.options.json) {
      rt.PrintJson({{"ok", true}, {"ips", list}});
      return;
    }
    if (list.empty()) std::cout << "The cluster reports no external IP addresses.\n";
    for (const auto& ip : list) std::cout << ip << "\n";
  });

  CLI::App* version = cluster->add_subcommand("version", "Show the software version of each node");
  version->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonVersionInfo> nodes;
    const CZemError error = session->GetVersionInfo(nodes);
    if (error.IsError()) {
      rt.Failed("cluster version", error);
      return;
    }
    if (rt.options.json) {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& n : nodes) {
        list.push_back({{"id", n.nId},
                        {"type", n.strType},
                        {"release", n.strRelease},
                        {"version", n.strVersion},
                        {"build", n.strBuild},
                        {"revision", n.strRevision}});
      }
      rt.PrintJson({{"ok", true}, {"nodes", list}});
      return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& n : nodes) {
      rows.push_back({std::to_string(n.nId), n.strType, n.strRelease, n.strVersion, n.strBuild, n.strRevision});
    }
    rt.PrintTable({"NODE", "TYPE", "RELEASE", "VERSION", "BUILD", "REVISION"}, rows);
  });
}
