#pragma once
// The session fixture on 127.0.0.10, with fresh sessions made on demand, for the tests of the
// session and its transport.
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/core/Faults.h"
#include "sim/core/RequestLog.h"
#include "tests/support/SimSessionFixture.h"

namespace sessiontest {

// A simulator with the sample shares, exports, snapshots and policies.
inline isim::Config Demo() {
  isim::Config config;
  config.demo = true;
  return config;
}

class SessionFixture : public SimSessionFixture {
 protected:
  explicit SessionFixture(isim::Config config = isim::Config()) : SimSessionFixture("127.0.0.10", std::move(config)) {}

  void TearDown() override {
    SetTransportFactory(nullptr);
    SimSessionFixture::TearDown();
  }

  std::unique_ptr<ManageIsilon> NewSession(const std::string& server, const std::string& user,
                                           const std::string& password, unsigned long long context = 42) {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon(context));
    session->SetFileServer(server);
    session->SetUser(user);
    session->SetPasswd(password);
    return session;
  }
  std::unique_ptr<ManageIsilon> NewSession() { return NewSession(address(), user(), password()); }

  // The last error of another session, as "code|message".
  using SimSessionFixture::LastError;
  static std::string LastError(ManageIsilon& session) {
    std::string code, message;
    session.GetLastError(code, message);
    return code + "|" + message;
  }

  // A GET of `path` through `session`, its reply left aside.
  bool Get(ManageIsilon& session, const std::string& path, bool resetHeaders = true) {
    std::string response;
    return session.SendRequest(response, ManageIsilon::kGet, Url(path), "", resetHeaders);
  }
  std::vector<isim::LoggedRequest> Requests() { return server().requestLog().entries(); }
};

}  // namespace sessiontest
