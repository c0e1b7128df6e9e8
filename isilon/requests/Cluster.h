#pragma once
// Cluster information: external addresses and node versions.
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// The software version of one node.
struct ISILON_API _IsilonVersionInfo {
  std::string strBuild;
  int32_t nId;
  std::string strRelease;
  std::string strRevision;
  std::string strType;
  std::string strVersion;

  _IsilonVersionInfo() : nId(0) {}
  _IsilonVersionInfo(const _IsilonVersionInfo&) = default;
  _IsilonVersionInfo(_IsilonVersionInfo&&) noexcept = default;
  _IsilonVersionInfo& operator=(const _IsilonVersionInfo&) = default;
  _IsilonVersionInfo& operator=(_IsilonVersionInfo&&) noexcept = default;
};

// The cluster's external IP addresses.
class ISILON_API IsilonJsonExternalIP : public IsilonJsonBase {
 public:
  IsilonJsonExternalIP();
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  bool BuildRequest(std::string& uri);
  // Appends the addresses found; always true.
  bool ParseResponse(std::string& response) override;
  bool GetIPInfo(std::vector<std::string>& out);

 private:
  std::vector<std::string> vIPs;
};

// The version of every node (interface version 3).
class ISILON_API IsilonJsonVersionInfo : public IsilonJsonBase {
 public:
  IsilonJsonVersionInfo();
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  virtual bool BuildRequest(std::string& uri);
  virtual bool ParseResponse(const std::string& response, std::vector<_IsilonVersionInfo>& nodes);
};
