#pragma once
// Cluster-wide information: the external IP addresses (GET /platform/1/cluster/external-ips,
// answered as a bare JSON array, or as an object holding the array under the empty key) and
// the software version of every node (GET /platform/3/cluster/version).
#include <mutex>
#include <string>
#include <vector>

#include "sim/core/Module.h"

namespace isim {

class ClusterModule : public Module {
 public:
  struct Node {
    int id = 0;
    std::string build, release, revision, type, version;
  };
  enum class IpReplyForm { kBareArray, kObject };

  ClusterModule();
  const char* name() const override { return "cluster"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;

  // For tests; safe while serving.
  void setExternalIPs(const std::vector<std::string>& ips);
  std::vector<std::string> externalIPs() const;
  void setIpReplyForm(IpReplyForm form);
  void setNodes(const std::vector<Node>& nodes);
  std::vector<Node> nodes() const;

  // `count` nodes of one release, with addresses 192.0.2.1, 192.0.2.2, ... (documentation range).
  static std::vector<Node> MakeNodes(int count, const std::string& release);
  static std::vector<std::string> MakeIPs(int count);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> ips_;
  IpReplyForm form_ = IpReplyForm::kBareArray;
  std::vector<Node> nodes_;
};

}  // namespace isim
