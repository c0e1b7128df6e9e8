#pragma once
/// @file
/// SMB shares, access zones and share ACLs.
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

/// A user or group as the cluster names it in share ACLs (a "persona").
struct ISILON_API _IsilonSMBUser {
  std::string strId;    ///< the cluster's id, such as "SID:S-1-1-0" or "UID:0"; may be empty when a name is given
  std::string strName;  ///< the account's name, such as "Everyone"; empty when the reply has none
  std::string strType;  ///< "user", "group" or "wellknown"; empty when the reply has none
};

/// One permission entry of a share.
struct ISILON_API _IsilonSMBPermissions {
  std::string strPermission;      ///< "full", "change" or "read"
  std::string strPermissionType;  ///< "allow" or "deny"
  _IsilonSMBUser trustee;         ///< whom the entry is for
};

/// The access control of a share: its permission entries and its run-as-root users.
struct ISILON_API _IsilonSMBACLs {
  std::vector<_IsilonSMBPermissions> vPermissions;  ///< permission entries, in the cluster's order
  std::vector<_IsilonSMBUser> vRunAsRoot;           ///< users and groups mapped to root on this share
};

/// One SMB share.
struct ISILON_API _IsilonShareInfo {
  std::string strName;         ///< the share's name
  std::string strPath;         ///< the cluster directory it serves, such as "/ifs/data"
  std::string strDescription;  ///< free text; empty when none
  uint64_t nZoneId;            ///< the access zone's id ("zid")
  _IsilonSMBACLs ACLs;         ///< permission entries and run-as-root users
  std::string strZone;         ///< the zone the listing asked for (empty: the default), not one from the reply

  /// An empty record.
  _IsilonShareInfo() : nZoneId(0) {}
};

/// One access zone.
struct ISILON_API _IsilonAccessZoneInfo {
  std::string strName;  ///< the zone's name ("System" for the built-in one)
  std::string strPath;  ///< the zone's base directory
  uint32_t nZoneId;     ///< low 32 bits of "zone_id"
  bool bSystem;         ///< true for the built-in System zone

  /// An empty record.
  _IsilonAccessZoneInfo() : nZoneId(0), bSystem(false) {}
};

/// Creates a share: POST `/platform/1/protocols/smb/shares` with an empty permission list and
/// Everyone as run-as-root user.
class ISILON_API IsilonJsonCIFSShareCreate : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareCreate();
  /// The share `name` serving the directory `path` in `zone` (empty: the default zone).
  /// `extra` is kept for the caller and never sent.
  void Initialize(const std::string& fileServer, const std::string& name, const std::string& path,
                  const std::string& extra, const std::string& zone);
  /// The URI (the zone percent-encoded in the query) and the JSON body (name and path
  /// escaped). @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;
  std::string strExtra;  // kept for the caller, never sent
  std::string strZone;
};

/// Deletes one share by name: DELETE `/platform/1/protocols/smb/shares/<name>`.
class ISILON_API IsilonJsonCIFSShareDelete : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareDelete();
  /// The share `name` in `zone` (empty: the default zone); `path` is kept for the caller and
  /// never sent.
  void Initialize(const std::string& fileServer, const std::string& name, const std::string& path,
                  const std::string& zone);
  /// The URI (name and zone percent-encoded); `body` is emptied. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;  // kept for the caller, never sent
  std::string strZone;
};

/// One page of the shares of a zone, or the share of one name:
/// GET `/platform/1/protocols/smb/shares[/<name>]`.
class ISILON_API IsilonJsonCIFSShareList : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareList();
  /// The share `shareName` (empty: every share), in `zone` (empty: the default zone), the
  /// token of the page to read (empty: the first) and the page size in shares.
  void Initialize(const std::string& fileServer, const std::string& shareName, const std::string& zone,
                  const std::string& resume, const int& limit);
  /// The page's URI (no body): the token alone when there is one, else the limit and zone.
  /// @return false only for a page size that does not fit the nine digits the cluster takes
  ///         (negative, or above 999999999).
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Reads the page's shares (each with its ACL) and the token of the next page.
  /// @return false, with no shares and the token unchanged, when the reply is not one whole
  ///         JSON object whose "shares" are records of the expected kinds.
  bool ParseResponse(std::string& response) override;
  /// Copies the shares read into `shares`. @return true
  bool GetSharesInfo(std::vector<_IsilonShareInfo>& shares);
  /// The token of the next page (empty: this was the last).
  void GetResume(std::string& resume);

 private:
  std::string strShareName;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonShareInfo> vShares;
  std::string strZone;
};

/// The access zones of the cluster, all at once (the list is not paged): GET
/// `/platform/3/zones`.
class ISILON_API IsilonJsonAccessZoneList : public IsilonJsonBase {
 public:
  IsilonJsonAccessZoneList();
  /// Keeps the file server for BuildRequest.
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  /// The request's URI (no body). @return true
  virtual bool BuildRequest(std::string& uri);
  /// Reads every zone of the reply.
  /// Deliberately hides the base's ParseResponse(std::string&): with both visible, a caller's
  /// non-const string would bind to the base version and read nothing.
  /// @return false, with no zones, when the reply is not one whole JSON object whose "zones"
  ///         are records of the expected kinds.
  virtual bool ParseResponse(const std::string& reply);
  /// Hands the zones read to `zones` (swapped: this object keeps what `zones` held).
  void GetAccessZonesList(std::vector<_IsilonAccessZoneInfo>& zones);

 private:
  std::vector<_IsilonAccessZoneInfo> vZones;
};

/// Replaces a share's permission entries and run-as-root users:
/// PUT `/platform/3/protocols/smb/shares/<name>`.
class ISILON_API IsilonJsonSMBACLModify : public IsilonJsonBase {
 public:
  IsilonJsonSMBACLModify();
  /// The whole new access control `acls` of the share `shareName` in `zone` (empty: the
  /// default zone). What `acls` leaves out is removed from the share.
  void Initialize(const std::string& fileServer, const _IsilonSMBACLs& acls, const std::string& shareName,
                  const std::string& zone);
  /// The URI (name and zone percent-encoded) and the JSON body; a persona's empty fields are
  /// left out of it. @return true
  bool BuildRequest(std::string& uri, std::string& body) override;
  /// Logs the reply (level 0); the cluster's success reply is empty. @return true
  bool ParseResponse(std::string& response) override;

 private:
  _IsilonSMBACLs ACLs;
  std::string strShareName;
  std::string strZone;
};
