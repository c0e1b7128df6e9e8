#pragma once
/// @file
/// NFS exports.
#include <set>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// Who may mount a new export and how. Each set is sent sorted and without duplicates; an
/// empty set is sent as an empty list.
struct ISILON_API _IsilonNFSPermissions {
  std::set<std::string> setClients;           ///< hosts (names, addresses or networks) that may mount it
  std::set<std::string> setReadOnlyClients;   ///< hosts that may mount it read-only
  std::set<std::string> setReadWriteClients;  ///< hosts that may mount it read-write
  std::set<std::string> setRootClients;       ///< hosts whose root keeps root's rights
  std::set<std::string> setSecurityFlavors;   ///< "unix", "krb5", "krb5i", "krb5p"

  /// Empties every set.
  void clear();
};

/// One export as the cluster reports it; the lists keep the reply's order.
struct ISILON_API _IsilonNFSExportInfo {
  unsigned int nId;                            ///< the export's id (low 32 bits)
  std::vector<std::string> vPaths;             ///< the directories it serves
  std::vector<std::string> vClients;           ///< hosts that may mount it
  std::vector<std::string> vReadOnlyClients;   ///< hosts that may mount it read-only
  std::vector<std::string> vReadWriteClients;  ///< hosts that may mount it read-write
  std::vector<std::string> vRootClients;       ///< hosts whose root keeps root's rights
  std::vector<std::string> vSecurityFlavors;   ///< accepted security flavors
  std::string strReserved;                     ///< no reply fills it: always empty
  bool bReadOnly;                              ///< the export is read-only
  bool bAllDirs;                               ///< every directory below the paths may be mounted

  /// An empty record (bAllDirs true).
  _IsilonNFSExportInfo() : nId(0), bReadOnly(false), bAllDirs(true) {}
  _IsilonNFSExportInfo(const _IsilonNFSExportInfo&) = default;                 ///< Copies every field.
  _IsilonNFSExportInfo(_IsilonNFSExportInfo&&) noexcept = default;             ///< Moves every field.
  _IsilonNFSExportInfo& operator=(const _IsilonNFSExportInfo&) = default;      ///< Copies every field.
  _IsilonNFSExportInfo& operator=(_IsilonNFSExportInfo&&) noexcept = default;  ///< Moves every field.
  /// Back to the empty record of the constructor.
  void clear();
};

/// Creates one export serving one or more paths: POST
/// `/platform/1/protocols/nfs/exports?force=true`.
class ISILON_API IsilonJsonNFSExportCreate : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportCreate();
  /// The directories `paths`, who may mount them (`permissions`), read-only or not, and
  /// whether every directory below may be mounted (`allDirs`). The two texts are kept with the
  /// request but the cluster is not sent them.
  void Initialize(const std::string& fileServer, const std::vector<std::string>& paths,
                  const _IsilonNFSPermissions& permissions, const std::string& secondText, bool readOnly, bool allDirs,
                  const std::string& firstText);
  /// The URI and the JSON body (every text escaped). @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads the new export's id.
  /// @return false when the reply is not one whole JSON object with a numeric "id".
  bool ParseResponse(std::string& response) override;
  /// The id read by ParseResponse (0 before).
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

/// Deletes one export by its id: DELETE `/platform/1/protocols/nfs/exports/<id>`.
class ISILON_API IsilonJsonNFSExportDelete : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportDelete();
  /// The export `exportId`; the zone is kept with the request but not sent.
  void Initialize(const std::string& fileServer, const unsigned int& exportId, const std::string& zone);
  /// The URI; `body` is emptied. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  unsigned int nExportId;
  std::string strZone;
};

/// One page of the exports of a zone, or one export by id: GET
/// `/platform/1/protocols/nfs/exports[/<id>]`.
class ISILON_API IsilonJsonNFSExportList : public IsilonJsonBase {
 public:
  IsilonJsonNFSExportList();
  /// The export `exportId` (0: every export) in `zone` (empty: the default zone).
  void Initialize(const std::string& fileServer, const unsigned int& exportId, const std::string& zone);
  /// The URI (no body): the token of the next page when one was read, else the zone.
  /// @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads one page: its exports and the token of the next page (empty: this was the last).
  /// @return false, with no exports and the token unchanged, when the reply is not one whole
  ///         JSON object whose "exports" are records of the expected kinds.
  bool ParseResponse(std::string& response) override;
  /// Copies the exports read into `out`. @return true
  bool GetExportsInfo(std::vector<_IsilonNFSExportInfo>& out);
  /// The token of the next page (empty: this was the last).
  void GetResume(std::string& out);
  // The page to ask for next: a token a page handed back, or empty for the first page.
  void SetResume(const std::string& token);

 private:
  unsigned int nExportId;  // 0: every export
  std::vector<_IsilonNFSExportInfo> vExports;
  std::string resume;  // the token to send, then the one received
  std::string strZone;
};
