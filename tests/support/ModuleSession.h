#pragma once
// What the SMB, NFS, namespace, snapshot and SyncIQ session fixtures share on top of
// SimSessionFixture: the requests sent as text, a session that cannot log in, and records
// flattened to one line.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SimSessionFixture.h"

class ModuleSession : public SimSessionFixture {
 protected:
  using SimSessionFixture::SimSessionFixture;

  // Targets of the requests with this method (any if empty) under `prefix`, in order.
  std::vector<std::string> Targets(const std::string& method, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& r : Sent(method, prefix)) out.push_back(r.target);
    return out;
  }
  // Every request as "METHOD target", only those containing `part` when it is given.
  std::vector<std::string> Requests(const std::string& part = std::string()) {
    std::vector<std::string> out;
    for (const auto& e : server().requestLog().entries()) {
      const std::string line = e.method + " " + e.target;
      if (part.empty() || line.find(part) != std::string::npos) out.push_back(line);
    }
    return out;
  }

  // A second session to the same cluster that logs in with a wrong password.
  ManageIsilon& WrongPasswordSession() {
    wrong_.reset(new ManageIsilon());
    wrong_->SetFileServer(address());
    wrong_->SetUser(user());
    wrong_->SetPasswd("wrong");
    return *wrong_;
  }

 private:
  std::unique_ptr<ManageIsilon> wrong_;
};

// The values joined by '|', to compare whole records at once.
template <typename... Values>
std::string Pipe(const Values&... values) {
  std::ostringstream out;
  const char* separator = "";
  ((out << separator << values, separator = "|"), ...);
  return out.str();
}
