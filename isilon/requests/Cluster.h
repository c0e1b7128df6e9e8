#pragma once
/// @file
/// Cluster information: external addresses and node versions.
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// The software version of one node, as `/platform/3/cluster/version` reports it.
struct ISILON_API _IsilonVersionInfo {
  std::string strBuild;     ///< the node's "build" text
  int32_t nId;              ///< the node's "id" (low 32 bits); 0 until read
  std::string strRelease;   ///< the node's "release" text
  std::string strRevision;  ///< the node's "revision" text
  std::string strType;      ///< the node's operating system "type"
  std::string strVersion;   ///< the node's full "version" text

  /// An empty record.
  _IsilonVersionInfo() : nId(0) {}
  _IsilonVersionInfo(const _IsilonVersionInfo&) = default;                 ///< Copies every field.
  _IsilonVersionInfo(_IsilonVersionInfo&&) noexcept = default;             ///< Moves every field.
  _IsilonVersionInfo& operator=(const _IsilonVersionInfo&) = default;      ///< Copies every field.
  _IsilonVersionInfo& operator=(_IsilonVersionInfo&&) noexcept = default;  ///< Moves every field.
};

/// The cluster's external IP addresses: GET `/platform/1/cluster/external-ips`.
class ISILON_API IsilonJsonExternalIP : public IsilonJsonBase {
 public:
  IsilonJsonExternalIP();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  /// The request's URI (no body). @return true
  bool BuildRequest(std::string& uri);
  /// Appends the addresses of the reply (an array of texts) to those read before.
  /// @return true, also for an empty reply; false when the reply is not an array of texts
  ///         (a login page, a reply cut short), and then nothing is added.
  bool ParseResponse(std::string& response) override;
  /// Copies the addresses read into `out`. @return true
  bool GetIPInfo(std::vector<std::string>& out);

 private:
  std::vector<std::string> vIPs;
};

/// The version of every node: GET `/platform/3/cluster/version` (interface version 3).
class ISILON_API IsilonJsonVersionInfo : public IsilonJsonBase {
 public:
  IsilonJsonVersionInfo();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  using IsilonJsonBase::ParseResponse;
  /// The request's URI (no body). @return true
  virtual bool BuildRequest(std::string& uri);
  /// Reads one record per entry of the reply's "nodes" into `nodes` (emptied first).
  /// @return false, with `nodes` empty, when the reply is not one whole JSON object whose
  ///         "nodes" are records of the expected kinds.
  virtual bool ParseResponse(const std::string& response, std::vector<_IsilonVersionInfo>& nodes);
};
