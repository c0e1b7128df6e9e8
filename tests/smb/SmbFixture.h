#pragma once
// A simulated cluster with its SMB module, and a session that trusts its certificate.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/core/Server.h"
#include "sim/smb/SmbModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class SmbFixture : public SimFixture {
 protected:
  explicit SmbFixture(const std::string& address) : SimFixture(address) {}

  void SetUp() override {
    SimFixture::SetUp();
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
  isim::SmbModule& smb() { return *server().module<isim::SmbModule>(); }

  std::string Code() {
    std::string code, message;
    session_->GetLastError(code, message);
    return code;
  }
  std::string Message() {
    std::string code, message;
    session_->GetLastError(code, message);
    return message;
  }
  // Targets of the requests sent to the share interface so far, in order.
  std::vector<std::string> ShareTargets(const std::string& method) {
    std::vector<std::string> out;
    for (const auto& r : server().requestLog().find(method, "/platform/1/protocols/smb/shares")) out.push_back(r.target);
    return out;
  }
  void AddShares(const std::string& zone, const std::string& prefix, const std::string& path, int count) {
    for (int i = 0; i < count; ++i) {
      isim::SmbModule::Share share;
      char name[64];
      std::snprintf(name, sizeof name, "%s%03d", prefix.c_str(), i);
      share.name = name;
      share.path = path;
      ASSERT_TRUE(smb().addShare(zone, share)) << name;
    }
  }

 private:
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
};
