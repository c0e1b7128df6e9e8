#include "sim/cluster/ClusterModule.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "sim/core/Http.h"
#include "sim/core/Router.h"

namespace isim {

namespace {
const int kDefaultNodes = 3;
const char kDefaultRelease[] = "8.0.1.2";  // the release whose API is served by default
}  // namespace

ClusterModule::ClusterModule() : ips_(MakeIPs(kDefaultNodes)), nodes_(MakeNodes(kDefaultNodes, kDefaultRelease)) {}

std::vector<ClusterModule::Node> ClusterModule::MakeNodes(int count, const std::string& release) {
  std::string build = "B_" + release;
  for (char& c : build)
    if (c == '.') c = '_';
  build += "_SIM(RELEASE)";
  std::vector<Node> nodes;
  for (int i = 1; i <= count; ++i) {
    Node n;
    n.id = i;
    n.build = build;
    n.release = release;
    n.revision = "0";
    n.type = "Isilon OneFS";
    n.version = "Isilon OneFS v" + release + " " + build;
    nodes.push_back(n);
  }
  return nodes;
}

std::vector<std::string> ClusterModule::MakeIPs(int count) {
  std::vector<std::string> ips;
  for (int i = 1; i <= count; ++i) ips.push_back("192.0.2." + std::to_string(i));
  return ips;
}

void ClusterModule::addOptions(CLI::App& app) {
  app.add_option_function<int>(
         "--cluster-nodes",
         [this](const int& count) {
           std::lock_guard<std::mutex> lock(mutex_);
           const std::string release = nodes_.empty() ? kDefaultRelease : nodes_.front().release;
           nodes_ = MakeNodes(count, release);
           ips_ = MakeIPs(count);
         },
         "Number of nodes (default 3); also sets that many external IPs 192.0.2.N")
      ->check(CLI::Range(1, 252));
  app.add_option_function<std::string>(
      "--cluster-release",
      [this](const std::string& release) {
        std::lock_guard<std::mutex> lock(mutex_);
        nodes_ = MakeNodes(static_cast<int>(nodes_.size()), release);
      },
      "Release every node reports (default 8.0.1.2, the API release served by default)");
  app.add_option_function<std::vector<std::string>>(
      "--cluster-ip",
      [this](const std::vector<std::string>& ips) {
        std::lock_guard<std::mutex> lock(mutex_);
        ips_ = ips;
      },
      "External IP address to report (repeatable; replaces the generated ones)");
}

void ClusterModule::registerRoutes(Router& router) {
  router.get("/platform/1/cluster/external-ips", [this](const Request&) {
    std::lock_guard<std::mutex> lock(mutex_);
    const nlohmann::json list = ips_;
    if (form_ == IpReplyForm::kObject) return Response::json({{"", list}});
    return Response::json(list);
  });
  router.get("/platform/3/cluster/version", [this](const Request&) {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json list = nlohmann::json::array();
    for (const Node& n : nodes_) {
      list.push_back({{"build", n.build},
                      {"id", n.id},
                      {"lnn", n.id},
                      {"release", n.release},
                      {"revision", n.revision},
                      {"type", n.type},
                      {"version", n.version}});
    }
    return Response::json({{"errors", nlohmann::json::array()}, {"nodes", list}, {"total", nodes_.size()}});
  });
}

void ClusterModule::setExternalIPs(const std::vector<std::string>& ips) {
  std::lock_guard<std::mutex> lock(mutex_);
  ips_ = ips;
}

std::vector<std::string> ClusterModule::externalIPs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ips_;
}

void ClusterModule::setIpReplyForm(IpReplyForm form) {
  std::lock_guard<std::mutex> lock(mutex_);
  form_ = form;
}

void ClusterModule::setNodes(const std::vector<Node>& nodes) {
  std::lock_guard<std::mutex> lock(mutex_);
  nodes_ = nodes;
}

std::vector<ClusterModule::Node> ClusterModule::nodes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nodes_;
}

}  // namespace isim

ISIM_REGISTER_MODULE(isim::ClusterModule)
