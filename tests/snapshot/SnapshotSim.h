#pragma once
// A library session on the simulated cluster's snapshot module, over the real transport. The
// library's sleeps do not wait: each is counted and moves the simulator's clock on by as much.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "sim/namespace/Tree.h"
#include "sim/snapshot/SnapshotModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class SnapshotSim : public SimFixture {
 protected:
  explicit SnapshotSim(const std::string& address) : SimFixture(address) {}

  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    module_ = server().module<isim::SnapshotModule>();
    ASSERT_NE(module_, nullptr);
    registry_.reset(new ScopedRegistry(Ini("")));
    current_ = this;
    sleeps_ = 0;
    SetZemSleepHook(&CountSleep);
    session_.reset(new ManageIsilon());
    session_->SetFileServer(address());
    session_->SetUser(user());
    session_->SetPasswd(password());
  }

  void TearDown() override {
    if (session_) session_->CloseConnection();
    session_.reset();
    SetZemSleepHook(nullptr);
    current_ = nullptr;
    registry_.reset();
    SimFixture::TearDown();
  }

  std::string Ini(const std::string& tarvexLines) const {
    return "[NAS]\nsIsilonCAFile=" + certPath() + "\n[~Tarvex]\n" + tarvexLines;
  }
  void SetTarvex(const std::string& lines) { registry_->Rewrite(Ini(lines)); }

  isim::SnapshotModule& snaps() { return *module_; }
  isim::ns::Tree& ifs() { return module_->tree(); }
  ManageIsilon& session() { return *session_; }
  int sleeps() const { return sleeps_; }

  std::vector<isim::LoggedRequest> Requests(const std::string& method, const std::string& prefix) {
    return server().requestLog().find(method, prefix);
  }
  std::string Url(const std::string& path) const { return "https://" + address() + ":8080" + path; }

  void ExpectLastError(const std::string& code, const std::string& message) {
    std::string c, m;
    session().GetLastError(c, m);
    EXPECT_EQ(c, code);
    EXPECT_EQ(m, message);
  }

 private:
  static void CountSleep(unsigned int milliseconds, const char*, int) {
    if (current_ == nullptr) return;
    ++current_->sleeps_;
    current_->server().clock().advance(milliseconds / 1000.0);
  }

  static SnapshotSim* current_;
  isim::SnapshotModule* module_ = nullptr;
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
  int sleeps_ = 0;
};
