#pragma once
// SMB shares, access zones and share ACLs.
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// A user or group as the cluster names it in share ACLs ("id" such as "SID:S-1-1-0",
// "UID:0"; name and type may be absent and then stay empty).
struct ISILON_API _IsilonSMBUser {
  std::string strId;
  std::string strName;
  std::string strType;
};

// One permission entry of a share.
struct ISILON_API _IsilonSMBPermissions {
  std::string strPermission;      // "full", "change", "read"
  std::string strPermissionType;  // "allow", "deny"
  _IsilonSMBUser trustee;
};

// The access control of a share: its permission entries and its run-as-root users.
struct ISILON_API _IsilonSMBACLs {
  std::vector<_IsilonSMBPermissions> vPermissions;
  std::vector<_IsilonSMBUser> vRunAsRoot;
};

// One SMB share.
struct ISILON_API _IsilonShareInfo {
  std::string strName;
  std::string strPath;
  std::string strDescription;
  uint64_t nZoneId;  // "zid"
  _IsilonSMBACLs ACLs;
  std::string strZone;  // the zone the listing asked for, not one from the reply

  _IsilonShareInfo() : nZoneId(0) {}
};

// One access zone.
struct ISILON_API _IsilonAccessZoneInfo {
  std::string strName;
  std::string strPath;
  uint32_t nZoneId;  // low 32 bits of "zone_id"
  bool bSystem;

  _IsilonAccessZoneInfo() : nZoneId(0), bSystem(false) {}
};

// POST of a new share with an empty permission list and Everyone as run-as-root user.
class ISILON_API IsilonJsonCIFSShareCreate : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareCreate();
  void Initialize(const std::string& fileServer, const std::string& name, const std::string& path,
                  const std::string& extra, const std::string& zone);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;
  std::string strExtra;  // kept for the caller, never sent
  std::string strZone;
};

// DELETE of one share by name.
class ISILON_API IsilonJsonCIFSShareDelete : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareDelete();
  void Initialize(const std::string& fileServer, const std::string& name, const std::string& path,
                  const std::string& zone);
  bool BuildRequest(std::string& uri, std::string& body) override;

 private:
  std::string strName;
  std::string strPath;  // kept for the caller, never sent
  std::string strZone;
};

// One page of the shares of a zone, or the share of one name.
class ISILON_API IsilonJsonCIFSShareList : public IsilonJsonBase {
 public:
  IsilonJsonCIFSShareList();
  void Initialize(const std::string& fileServer, const std::string& shareName, const std::string& zone,
                  const std::string& resume, const int& limit);
  // Fails only for a page size that does not fit the nine digits the cluster takes.
  bool BuildRequest(std::string& uri, std::string& body) override;
  bool ParseResponse(std::string& response) override;
  bool GetSharesInfo(std::vector<_IsilonShareInfo>& shares);
  void GetResume(std::string& resume);

 private:
  std::string strShareName;
  std::string resume;  // the token to send, then the one received
  uint64_t nLimit;
  std::vector<_IsilonShareInfo> vShares;
  std::string strZone;
};

// The access zones of the cluster (not paged).
class ISILON_API IsilonJsonAccessZoneList : public IsilonJsonBase {
 public:
  IsilonJsonAccessZoneList();
  void Initialize(const std::string& fileServer);
  using IsilonJsonBase::BuildRequest;
  virtual bool BuildRequest(std::string& uri);
  // Deliberately hides the base's ParseResponse(std::string&): with both visible, a caller's
  // non-const string would bind to the base version and read nothing.
  virtual bool ParseResponse(const std::string& reply);
  void GetAccessZonesList(std::vector<_IsilonAccessZoneInfo>& zones);

 private:
  std::vector<_IsilonAccessZoneInfo> vZones;
};

// PUT of a share's permission entries and run-as-root users.
class ISILON_API IsilonJsonSMBACLModify : public IsilonJsonBase {
 public:
  IsilonJsonSMBACLModify();
  void Initialize(const std::string& fileServer, const _IsilonSMBACLs& acls, const std::string& shareName,
                  const std::string& zone);
  bool BuildRequest(std::string& uri, std::string& body) override;
  bool ParseResponse(std::string& response) override;

 private:
  _IsilonSMBACLs ACLs;
  std::string strShareName;
  std::string strZone;
};
