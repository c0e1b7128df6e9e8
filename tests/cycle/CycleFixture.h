#pragma once
// The fixture of the request-cycle tests: a scripted cluster, an empty registry that a test may
// fill, and sessions made through the public interface.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "tests/cycle/ScriptedTransport.h"
#include "tests/support/Registry.h"

namespace cycletest {

// The name the sessions use for the cluster; with no node list in the registry it is also the
// one node the session binds to.
inline const char* Server() { return "127.0.0.61"; }

// A successful login handing out session cookie `session` and CSRF token "csrf-" + `session`.
inline Reply Login(const std::string& session = "s1") {
  return Reply::Ok(R"({"services":["platform","namespace"],"timeout_absolute":14400,"timeout_inactive":900,)"
                   R"("username":"admin"})",
                   201)
      .With("Set-Cookie", "isisessid=" + session + "; path=/; HttpOnly; Secure")
      .With("Set-Cookie", "isicsrf=csrf-" + session + "; path=/; Secure");
}

// The reply to GetExternalIPs.
inline Reply Addresses() { return Reply::Ok(R"(["127.0.0.5"])"); }

inline Reply Busy(long status = 503) { return Reply::Error(status, "AEC_UNAVAILABLE", "try again later"); }

class CycleTest : public ::testing::Test {
 protected:
  CycleTest() : registry_("") {}

  void Settings(const std::string& nas) { registry_.Rewrite("[NAS]\n" + nas); }

  std::unique_ptr<ManageIsilon> NewSession() {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon(7));
    session->SetFileServer(Server());
    session->SetUser("admin");
    session->SetPasswd("secret-word");
    return session;
  }

  static std::string LastError(ManageIsilon& session) {
    std::string code, message;
    session.GetLastError(code, message);
    return code + "|" + message;
  }
  // A false result carries a code and a message.
  static void ExpectReason(ManageIsilon& session) {
    std::string code, message;
    session.GetLastError(code, message);
    EXPECT_FALSE(code.empty());
    EXPECT_FALSE(message.empty());
  }

  // A PUT: turns SyncIQ policy "policy-1" off.
  static bool Disable(ManageIsilon& session) {
    return session.ModifySyncIQPolicy("policy-1", {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_ENABLED, "false")});
  }

  Script& script() { return cluster_.script(); }
  static const std::vector<unsigned>& Sleeps() { return ScopedScriptedCluster::Sleeps(); }

 private:
  ScopedRegistry registry_;
  ScopedScriptedCluster cluster_;
};

}  // namespace cycletest
