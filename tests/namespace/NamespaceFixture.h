#pragma once
// The session fixture with the simulator's namespace tree and cluster module at hand.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/cluster/ClusterModule.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/ModuleSession.h"

class NamespaceFixture : public ModuleSession {
 protected:
  using ModuleSession::ModuleSession;

  isim::ns::Tree& tree() { return module<isim::NamespaceModule>().tree(); }
  isim::ClusterModule& clusterModule() { return module<isim::ClusterModule>(); }

  // Requests that reached the cluster, the login excluded.
  std::vector<isim::LoggedRequest> Sent(const std::string& method = std::string(),
                                        const std::string& prefix = "/namespace") {
    return SimSessionFixture::Sent(method, prefix);
  }

  // Adds a file with fixed attributes (parents made as needed).
  void AddFile(const std::string& path, uint64_t size, const std::string& owner = "alice",
               const std::string& mode = "0644", uint64_t mtime = 1700000000) {
    isim::ns::NewEntry attrs;
    attrs.size = size;
    attrs.owner = owner;
    attrs.mode = mode;
    attrs.mtime = mtime;
    ASSERT_EQ(tree().AddFile(path, attrs, /*parents=*/true), isim::ns::Status::kOk) << path;
  }
};
