#pragma once
// A simulated cluster on its own loopback address and a session object that trusts it.
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/cluster/ClusterModule.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class NamespaceFixture : public SimFixture {
 protected:
  explicit NamespaceFixture(const std::string& address) : SimFixture(address) {}

  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    registry_.reset(new ScopedRegistry(RegistryText(std::string())));
    session_.reset(new ManageIsilon());
    session_->SetFileServer(address());
    session_->SetUser(user());
    session_->SetPasswd(password());
  }
  void TearDown() override {
    session_.reset();
    registry_.reset();
    SimFixture::TearDown();
  }

  // The registry text with the cluster's certificate trusted and `extraNas` lines added.
  std::string RegistryText(const std::string& extraNas) const {
    return "[NAS]\nsIsilonCAFile=" + certPath() + "\n" + extraNas;
  }
  void SetRegistry(const std::string& extraNas) { registry_->Rewrite(RegistryText(extraNas)); }

  ManageIsilon& session() { return *session_; }
  isim::ns::Tree& tree() { return server().module<isim::NamespaceModule>()->tree(); }
  isim::ClusterModule& clusterModule() { return *server().module<isim::ClusterModule>(); }

  std::pair<std::string, std::string> LastError() {
    std::pair<std::string, std::string> e;
    session_->GetLastError(e.first, e.second);
    return e;
  }
  // Requests that reached the cluster, the login excluded.
  std::vector<isim::LoggedRequest> Sent(const std::string& method = std::string(),
                                        const std::string& prefix = "/namespace") {
    return server().requestLog().find(method, prefix);
  }
  isim::LoggedRequest LastSent() {
    isim::LoggedRequest last;
    server().requestLog().last(last);
    return last;
  }

  // Adds a file with fixed attributes (parents made as needed).
  void AddFile(const std::string& path, uint64_t size, const std::string& owner = "alice",
               const std::string& mode = "0644", uint64_t mtime = 1700000000) {
    isim::ns::NewEntry attrs;
    attrs.size = size;
    attrs.owner = owner;
    attrs.mode = mode;
    attrs.mtime = mtime;
    ASSERT_EQ(tree().AddFile(path, attrs, true), isim::ns::Status::kOk) << path;
  }

 private:
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
};
