// Feeds arbitrary bytes to every SMB reply reader: share pages, access zones, share creation,
// deletion and ACL changes, and the error replies of each. What must hold: one share or zone per
// entry of the reply with its texts and small ids as sent, the listing's zone on every share,
// no records after a refused reply, and a second reading that gives the same result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

namespace {

void CheckUser(const _IsilonSMBUser& user, const jsonxx::Object& entry) {
  Check(user.strId == Text(entry, "id"));
  Check(user.strName == Text(entry, "name"));
  Check(user.strType == Text(entry, "type"));
}

void CheckShares(std::string reply, const jsonxx::Object& object) {
  IsilonJsonCIFSShareList list;
  list.Initialize("127.0.0.90", "", "zone-a", "", 50);
  for (int round = 0; round < 2; ++round) {
    const bool ok = list.ParseResponse(reply);
    std::vector<_IsilonShareInfo> shares;
    std::string resume;
    Check(list.GetSharesInfo(shares));
    list.GetResume(resume);
    bool nested = true;
    for (const jsonxx::Value& entry : ArrayOf(object, "shares").values()) {
      if (!entry.is<jsonxx::Object>()) continue;
      const jsonxx::Object& share = entry.get<jsonxx::Object>();
      nested = nested && AbsentOrArrayOf(share, "permissions", jsonxx::Value::OBJECT_) &&
               AbsentOrArrayOf(share, "run_as_root", jsonxx::Value::OBJECT_);
      for (const jsonxx::Value& item : ArrayOf(share, "permissions").values()) {
        nested = nested && (!item.is<jsonxx::Object>() ||
                            AbsentOr(item.get<jsonxx::Object>(), "trustee", jsonxx::Value::OBJECT_));
      }
    }
    Check(ok == (Page(object, "shares") && nested));
    if (!ok) {
      Check(shares.empty() && resume.empty());
      continue;
    }
    Check(resume == Text(object, "resume"));
    const jsonxx::Array& entries = ArrayOf(object, "shares");
    Check(shares.size() == entries.size());
    for (unsigned int i = 0; i < entries.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      const _IsilonShareInfo& share = shares[i];
      Check(share.strName == Text(entry, "name"));
      Check(share.strPath == Text(entry, "path"));
      Check(share.strDescription == Text(entry, "description"));
      Check(share.strZone == "zone-a");
      CheckInteger(share.nZoneId, entry, "zid");
      const jsonxx::Array& permissions = ArrayOf(entry, "permissions");
      Check(share.ACLs.vPermissions.size() == permissions.size());
      for (unsigned int k = 0; k < permissions.size(); ++k) {
        const jsonxx::Object& item = Entry(permissions, k);
        Check(share.ACLs.vPermissions[k].strPermission == Text(item, "permission"));
        Check(share.ACLs.vPermissions[k].strPermissionType == Text(item, "permission_type"));
        CheckUser(share.ACLs.vPermissions[k].trustee, Member(item, "trustee"));
      }
      const jsonxx::Array& runAsRoot = ArrayOf(entry, "run_as_root");
      Check(share.ACLs.vRunAsRoot.size() == runAsRoot.size());
      for (unsigned int k = 0; k < runAsRoot.size(); ++k) CheckUser(share.ACLs.vRunAsRoot[k], Entry(runAsRoot, k));
    }
  }
  std::string uri, body;
  list.BuildRequest(uri, body);
  CheckErrorReply(list, reply);
}

void CheckZones(const std::string& reply, const jsonxx::Object& object) {
  IsilonJsonAccessZoneList zones;
  zones.Initialize("127.0.0.90");
  for (int round = 0; round < 2; ++round) {
    const bool ok = zones.ParseResponse(reply);
    std::vector<_IsilonAccessZoneInfo> list;
    zones.GetAccessZonesList(list);
    Check(ok == (!object.empty() && AbsentOrArrayOf(object, "zones", jsonxx::Value::OBJECT_)));
    const jsonxx::Array& entries = ArrayOf(object, "zones");
    Check(list.size() == (ok ? entries.size() : 0));
    for (unsigned int i = 0; i < list.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      Check(list[i].strName == Text(entry, "name"));
      Check(list[i].strPath == Text(entry, "path"));
      Check(list[i].bSystem == Flag(entry, "system"));
      CheckInteger(list[i].nZoneId, entry, "zone_id");
    }
  }
  std::string copy = reply;
  CheckErrorReply(zones, copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  const jsonxx::Object object = Read(reply);

  CheckShares(reply, object);
  CheckZones(reply, object);

  IsilonJsonCIFSShareCreate create;
  create.Initialize("127.0.0.90", "share", "/ifs/data", "", "");
  Check(create.ParseResponse(reply));
  CheckErrorReply(create, reply);

  IsilonJsonCIFSShareDelete remove;
  remove.Initialize("127.0.0.90", "share", "/ifs/data", "");
  Check(remove.ParseResponse(reply));
  CheckErrorReply(remove, reply);

  IsilonJsonSMBACLModify acl;
  acl.Initialize("127.0.0.90", _IsilonSMBACLs(), "share", "");
  Check(acl.ParseResponse(reply));
  CheckErrorReply(acl, reply);
  return 0;
}
