#pragma once
// A simulated cluster, a registry that trusts its certificate and a library session pointed at
// it, over the real transport. The library's sleeps do not wait: each is recorded and moves the
// simulator's clock on by as much, so a poll sees the cluster as it would after the real wait.
//
//   class SharesTest : public SimSessionFixture {
//    protected:
//     SharesTest() : SimSessionFixture("127.0.0.20") {}
//   };
//
// A simulator that cannot start fails the test in SetUp; a derived SetUp returns at once when
// HasFatalFailure().
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/core/RequestLog.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

class SimSessionFixture : public SimFixture {
 protected:
  explicit SimSessionFixture(std::string address, isim::Config config = isim::Config())
      : SimFixture(std::move(address), std::move(config)) {}

  void SetUp() override;
  void TearDown() override;

  // The registry text of the next SetUp: the certificate to trust.
  virtual std::string RegistryText() const { return "[NAS]\nsIsilonCAFile=" + certPath() + "\n"; }
  // Rewrites the registry: the trusted certificate, then `lines` (sections of their own included).
  void SetRegistry(const std::string& lines) { registry_->Rewrite(RegistryText() + lines); }
  void SetTarvex(const std::string& lines) { SetRegistry("[~Tarvex]\n" + lines); }
  ScopedRegistry& registry() { return *registry_; }

  ManageIsilon& session() { return *session_; }
  // A module of the simulator; throws (failing the test) when the build has none.
  template <typename Module>
  Module& module() {
    Module* found = server().template module<Module>();
    if (found == nullptr) throw std::runtime_error("simulator: module missing");
    return *found;
  }

  std::pair<std::string, std::string> LastError() {
    std::pair<std::string, std::string> error;
    session_->GetLastError(error.first, error.second);
    return error;
  }
  std::string LastCode() { return LastError().first; }
  std::string LastMessage() { return LastError().second; }
  void ExpectLastError(const std::string& code, const std::string& message) {
    EXPECT_EQ(LastError(), std::make_pair(code, message));
  }

  // Requests that reached the cluster with this method (any if empty) under this target prefix.
  std::vector<isim::LoggedRequest> Sent(const std::string& method, const std::string& prefix) {
    return server().requestLog().find(method, prefix);
  }
  isim::LoggedRequest LastSent() {
    isim::LoggedRequest last;
    server().requestLog().last(last);
    return last;
  }
  std::string Url(const std::string& path) const { return "https://" + address() + ":8080" + path; }

  // The library's sleeps so far, in milliseconds (read it when no session sleeps any more).
  const std::vector<unsigned int>& sleeps() const { return sleeps_; }

 private:
  static void RecordSleep(unsigned int milliseconds, const char* file, int line);

  static SimSessionFixture* current_;
  std::unique_ptr<ScopedRegistry> registry_;
  std::unique_ptr<ManageIsilon> session_;
  // A tree walk's sessions sleep on their own threads.
  std::mutex sleepsMutex_;
  std::vector<unsigned int> sleeps_;
};
