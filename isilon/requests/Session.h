#pragma once
// Opening and closing the authenticated session.
#include <string>

#include "isilon/IsilonJSON.h"

class ISILON_API IsilonJsonCreateSession : public IsilonJsonBase {
 public:
  IsilonJsonCreateSession();
  void Initialize(const std::string& fileServer, const std::string& user, const std::string& password);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strUser;
  std::string strPassword;
};

class ISILON_API IsilonJsonCloseSession : public IsilonJsonBase {
 public:
  explicit IsilonJsonCloseSession(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  virtual bool BuildRequest(std::string& uri);
};
