#pragma once
// A simulated cluster with a trusted certificate and a session object pointed at it.
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/nfs/NfsModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class NfsSimTest : public SimFixture {
 protected:
  explicit NfsSimTest(const std::string& address) : SimFixture(address) {}

  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    registry_.reset(new ScopedRegistry("[NAS]\nsIsilonCAFile=" + certPath() + "\n"));
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

  ManageIsilon& session() { return *session_; }
  isim::nfs::NfsModule& nfs() { return *server().module<isim::nfs::NfsModule>(); }

  std::pair<std::string, std::string> LastError() {
    std::pair<std::string, std::string> error;
    session_->GetLastError(error.first, error.second);
    return error;
  }
  // Requests to the exports resource so far, as sent.
  std::vector<isim::LoggedRequest> ExportRequests(const std::string& method) {
    return server().requestLog().find(method, "/platform/1/protocols/nfs/exports");
  }
  // An export for the simulator to hold, made without the library.
  isim::nfs::Export Item(std::vector<std::string> paths, const std::string& zone = "System") {
    isim::nfs::Export item;
    item.paths = std::move(paths);
    item.zone = zone;
    return item;
  }

 private:
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
};
