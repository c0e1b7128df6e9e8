#pragma once
// NFS exports.
#include <set>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Who may mount a new export and how. Each set is sent sorted and without duplicates.
struct ISILON_API _IsilonNFSPermissions {
  std::set<std::string> setClients;
  std::set<std::string> setReadOnlyClients;
  std::set<std::string> setReadWriteClients;
  std::set<std::string> setRootClients;
  std::set<std::string> setSecurityFlavors;  // "unix", "krb5", ...

  void clear();
};

// One export as the cluster reports it; the client lists keep the reply's order.
struct ISILON_API _IsilonNFSExportInfo {
  unsigned int nId;
  std::vector<std::string> vPaths;
  std::vector<std::string> vClients;
  std::vector<std::string> vReadOnlyClients;
  std::vector<std::string> vReadWriteClients;
  std::vector<std::string> vRootClients;
  std::vector<std::string> vSecurityFlavors;
  std::string strReserved;  // no reply fills it
  bool bReadOnly;
  bool bAllDirs;

  _IsilonNFSExportInfo() : nId(0), bReadOnly(false), bAllDirs(true) {}
  _IsilonNFSExportInfo(const _IsilonNFSExportInfo&) = default;
  _IsilonNFSExportInfo(_IsilonNFSExportInfo&&) noexcept = default;
  _IsilonNFSExportInfo& operator=(const _IsilonNFSExportInfo&) = default;
  _IsilonNFSExportInfo& operator=(_IsilonNFSExportInfo&&) noexcept = default;
  void clear();
};

// Creates one export serving one or more paths.
class ISILON_API IsilonJsonNFSExportCreate : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportCreate();
  // The two texts are kept with the request but the cluster is not sent them.
  void Initialize(const std::string& fileServer, const std::vector<std::string>& paths,
                  const _IsilonNFSPermissions& permissions, const std::string& secondText, bool readOnly, bool allDirs,
                  const std::string& firstText);
  bool BuildRequest(std::string& uri, std::string& body) override;
  // Reads the new export's id; false when the reply has none.
  bool ParseResponse(std::string& response) override;
  unsigned int getExportId();

 private:
  std::vector<std::string> vPaths;
  std::string strFirstText;
  _IsilonNFSPermissions permissions;
  bool bReadOnly;
  bool bAllDirs;
  std::string strSecondText;
  unsigned int nExportId;
};

// Deletes one export by its id.
class ISILON_API IsilonJsonNFSExportDelete : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportDelete();
  // The zone is kept with the request but not sent.
  void Initialize(const std::string& fileServer, const unsigned int& exportId, const std::string& zone);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  unsigned int nExportId;
  std::string strZone;
};

// One page of the exports of a zone, or one export by id.
class ISILON_API IsilonJsonNFSExportList : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportList();
  void Initialize(const std::string& fileServer, const unsigned int& exportId, const std::string& zone);
  bool BuildRequest(std::string& uri, std::string& body) override;
  // Reads one page: its exports and the token of the next page.
  bool ParseResponse(std::string& response) override;
  bool GetExportsInfo(std::vector<_IsilonNFSExportInfo>& out);
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  unsigned int nExportId;  // 0: every export
  std::vector<_IsilonNFSExportInfo> vExports;
  std::string resume;  // the token to send, then the one received
  std::string strZone;
};
