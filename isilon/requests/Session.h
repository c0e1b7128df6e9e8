#pragma once
/// @file
/// Opening and closing the authenticated session.
#include <string>

#include "isilon/IsilonJSON.h"

/// The login: POST `/session/1/session` with the user, the password and the services
/// "platform" and "namespace". The cluster's reply sets the session cookie and CSRF token.
class ISILON_API IsilonJsonCreateSession : public IsilonJsonBase {
 public:
  IsilonJsonCreateSession();
  /// Keeps the file server, the user (backslashes already doubled, as ManageIsilon::SetUser
  /// does) and the clear password for BuildRequest.
  void Initialize(const std::string& fileServer, const std::string& user, const std::string& password);
  /// The login URI and body; the password is escaped for JSON and the body is never logged.
  /// @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strUser;
  std::string strPassword;
};

/// The logout: DELETE `/session/1/session`, which ends the session the cookie names.
class ISILON_API IsilonJsonCloseSession : public IsilonJsonBase {
 public:
  /// A logout from `fileServer`.
  explicit IsilonJsonCloseSession(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  /// The logout URI (no body). @return true
  virtual bool BuildRequest(std::string& uri);
};
