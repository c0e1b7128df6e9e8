#pragma once
// A session of the library on the simulated cluster's SyncIQ module, over the real transport.
// The library's sleeps do not wait: each one is recorded and moves the simulator's clock on by
// as much, so a job's course through its states is followed as a real poll would see it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "sim/synciq/SyncIQ.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class SyncIQSim : public SimFixture {
 protected:
  explicit SyncIQSim(const std::string& address) : SimFixture(address) {}

  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    module_ = server().module<isim::synciq::SyncIQModule>();
    ASSERT_NE(module_, nullptr);
    // Jobs that are there at once unless a test says otherwise.
    isim::synciq::Settings s = module_->settings();
    s.timing = isim::synciq::JobTiming();
    s.timing.appearAfter = 0;
    s.timing.runFor = 60;
    module_->setSettings(s);
    registry_.reset(new ScopedRegistry(Ini("")));
    current_ = this;
    sleeps_.clear();
    SetZemSleepHook(&RecordSleep);
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

  // The registry text with the certificate to trust and the given [~Tarvex] lines.
  std::string Ini(const std::string& tarvexLines) const {
    return "[NAS]\nsIsilonCAFile=" + certPath() + "\n[~Tarvex]\n" + tarvexLines;
  }
  void SetTarvex(const std::string& lines) { registry_->Rewrite(Ini(lines)); }

  isim::synciq::SyncIQModule& siq() { return *module_; }
  ManageIsilon& session() { return *session_; }
  const std::vector<unsigned int>& sleeps() const { return sleeps_; }

  void SetTiming(const isim::synciq::JobTiming& timing) {
    isim::synciq::Settings s = module_->settings();
    s.timing = timing;
    module_->setSettings(s);
  }
  void SetPageSize(size_t size) {
    isim::synciq::Settings s = module_->settings();
    s.pageSize = size;
    module_->setSettings(s);
  }

  // A policy that passes every rule for snapshot replication.
  static isim::synciq::Policy FitPolicy(const std::string& name, const std::string& path) {
    isim::synciq::Policy p;
    p.name = name;
    p.sourceRootPath = path;
    p.targetHost = "dr.example.com";
    p.targetPath = "/ifs/dr" + path.substr(4);
    return p;
  }
  std::string AddPolicy(const isim::synciq::Policy& p) {
    std::string id;
    EXPECT_TRUE(siq().addPolicy(p, &id)) << p.name;
    return id;
  }

  std::string LastCode() {
    std::string code, message;
    session().GetLastError(code, message);
    return code;
  }
  std::string LastMessage() {
    std::string code, message;
    session().GetLastError(code, message);
    return message;
  }

  // Requests the cluster received, as "METHOD target", optionally only those containing `part`.
  std::vector<std::string> Requests(const std::string& part = std::string()) {
    std::vector<std::string> out;
    for (const auto& e : server().requestLog().entries()) {
      const std::string line = e.method + " " + e.target;
      if (part.empty() || line.find(part) != std::string::npos) out.push_back(line);
    }
    return out;
  }
  // Body of the last request whose target contains `part`.
  std::string LastBody(const std::string& part) {
    std::string body;
    for (const auto& e : server().requestLog().entries())
      if (e.target.find(part) != std::string::npos) body = e.body;
    return body;
  }

 private:
  static void RecordSleep(unsigned int milliseconds, const char*, int) {
    if (current_ == nullptr) return;
    current_->sleeps_.push_back(milliseconds);
    current_->server().clock().advance(milliseconds / 1000.0);
  }

  static inline SyncIQSim* current_ = nullptr;
  isim::synciq::SyncIQModule* module_ = nullptr;
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
  std::vector<unsigned int> sleeps_;
};
