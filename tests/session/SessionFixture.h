#pragma once
// A simulated cluster on 127.0.0.10 and a registry that trusts its certificate, for the tests
// of the session and its transport.
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/core/Faults.h"
#include "sim/core/RequestLog.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

namespace sessiontest {

const char kAddress[] = "127.0.0.10";
// Nothing ever listens here: connections are refused.
const char kDeadAddress[] = "127.0.0.11";

class SessionFixture : public SimFixture {
 protected:
  explicit SessionFixture(isim::Config config = isim::Config()) : SimFixture(kAddress, std::move(config)) {}

  void SetUp() override {
    SimFixture::SetUp();
    registry_.reset(new ScopedRegistry(RegistryText()));
  }
  void TearDown() override {
    registry_.reset();
    SetTransportFactory(nullptr);
    SimFixture::TearDown();
  }

  // The registry for the test; by default it trusts the simulator's certificate.
  virtual std::string RegistryText() const { return "[NAS]\nsIsilonCAFile = " + certPath() + "\n"; }
  ScopedRegistry& registry() { return *registry_; }

  std::unique_ptr<ManageIsilon> NewSession(const std::string& server, const std::string& user,
                                           const std::string& password, unsigned long long context = 42) {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon(context));
    session->SetFileServer(server);
    session->SetUser(user);
    session->SetPasswd(password);
    return session;
  }
  std::unique_ptr<ManageIsilon> NewSession() { return NewSession(address(), user(), password()); }

  std::string Url(const std::string& path) const { return "https://" + address() + ":8080" + path; }

  std::vector<isim::LoggedRequest> Requests() { return server().requestLog().entries(); }
  isim::LoggedRequest LastRequest() {
    isim::LoggedRequest last;
    server().requestLog().last(last);
    return last;
  }

 private:
  std::unique_ptr<ScopedRegistry> registry_;
};

inline isim::Config WithUser(const std::string& user, const std::string& password) {
  isim::Config config;
  config.users = {{user, password}};
  return config;
}

}  // namespace sessiontest
