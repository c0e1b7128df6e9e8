// Replacing the permission entries and run-as-root users of an SMB share.
#include <sstream>
#include <string>

#include "host/DebugLog.h"
#include "host/FXString.h"
#include "isilon/ManageIsilon.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"

using isilon::OrEmpty;

namespace {

const char kAclFn[] = "bool ManageIsilon::SetSMBACLs(const IsilonSMBACLs&, const string&, const string&)";

// A persona is an id, or a type with a name: a cluster refuses an empty type (not one of
// user, group, wellknown), so members without a value stay out of the body.
jsonxx::Object UserJson(const _IsilonSMBUser& user) {
  jsonxx::Object object;
  if (!user.strId.empty()) object.import("id", jsonxx::Value(user.strId));
  if (!user.strName.empty()) {
    object.import("name", jsonxx::Value(user.strName));
    if (!user.strType.empty()) object.import("type", jsonxx::Value(user.strType));
  }
  return object;
}

bool HasNul(const _IsilonSMBUser& user) { return isilon::AnyHasNul(user.strId, user.strName, user.strType); }

// A trustee the cluster would read shorter than given would get another account's rights.
bool HasNul(const _IsilonSMBACLs& acls) {
  for (const _IsilonSMBPermissions& entry : acls.vPermissions) {
    if (isilon::AnyHasNul(entry.strPermission, entry.strPermissionType) || HasNul(entry.trustee)) return true;
  }
  for (const _IsilonSMBUser& user : acls.vRunAsRoot) {
    if (HasNul(user)) return true;
  }
  return false;
}

}  // namespace

IsilonJsonSMBACLModify::IsilonJsonSMBACLModify() {}

void IsilonJsonSMBACLModify::Initialize(const std::string& fileServer, const _IsilonSMBACLs& acls,
                                        const std::string& shareName, const std::string& zone) {
  strFileServer = fileServer;
  ACLs = acls;
  strShareName = shareName;
  strZone = zone;
}

bool IsilonJsonSMBACLModify::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  // Share name and zone are encoded so that a blank, "&" or "#" in them can neither break the
  // request nor add query parameters.
  uri = "https://" + strFileServer + ":8080/platform/3/protocols/smb/shares/" + isilon::EncodeUriPiece(strShareName);
  if (!strZone.empty()) uri += "?zone=" + isilon::EncodeUriPiece(strZone);

  jsonxx::Array permissions;
  for (const _IsilonSMBPermissions& entry : ACLs.vPermissions) {
    jsonxx::Object object;
    object.import("permission", jsonxx::Value(entry.strPermission));
    object.import("permission_type", jsonxx::Value(entry.strPermissionType));
    object.import("trustee", jsonxx::Value(UserJson(entry.trustee)));
    permissions.import(jsonxx::Value(std::move(object)));
  }
  jsonxx::Array runAsRoot;
  for (const _IsilonSMBUser& user : ACLs.vRunAsRoot) runAsRoot.import(jsonxx::Value(UserJson(user)));

  jsonxx::Object request;
  request.import("permissions", jsonxx::Value(std::move(permissions)));
  request.import("run_as_root", jsonxx::Value(std::move(runAsRoot)));
  std::ostringstream text;
  text << request;
  body = text.str();

  EvDebug debug(nullptr);
  const long long noContext = 0;
  debug.DebugLvl("virtual bool IsilonJsonSMBACLModify::BuildRequest(std::string&, std::string&)", 3, noContext,
                 "URI : [%s], \n Request Body : [%s]", uri.c_str(), OrEmpty(body));
  return true;
}

bool IsilonJsonSMBACLModify::ParseResponse(std::string& response) {
  EvDebug debug(nullptr);
  debug.DebugLvl("virtual bool IsilonJsonSMBACLModify::ParseResponse(std::string&)", 0, "Json response :[%s]",
                 OrEmpty(response));
  return true;
}

bool ManageIsilon::SetSMBACLs(const _IsilonSMBACLs& acls, const string& shareName, const string& zone) {
  ClearLastError();
  if (shareName.empty()) return Fail(kAclFn, __LINE__, "Invalid arguments", "Share name is empty");
  if (!isilon::IsSingleSegment(shareName) || isilon::HasNul(zone) || HasNul(acls)) return FailInput(kAclFn, __LINE__);
  EvDebug debug(nullptr);
  debug.DebugLvl(kAclFn, 0, static_cast<long long>(nLogContext),
                 "Request to set SMB ACL for share [%s], access zone [%s] on file server[%s]", shareName.c_str(),
                 zone.c_str(), strFileServer.c_str());

  IsilonJsonSMBACLModify request;
  const RequestStep step{kAclFn, kPut, "Failed to create json request for modifying ACL request."};
  string reply;
  isilon::OperationPolicy policy;
  policy.refusedText =
      FXString::Format("Failed to modify acl for Share [%s, ]on filer[%s]", shareName.c_str(), strFileServer.c_str());
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, acls, shareName, zone);
        return request.BuildRequest(uri, body);
      },
      reply);
  if (!sent.ok()) return sent.result();
  request.ParseResponse(reply);
  Log(kAclFn, __LINE__, 0, "Successfully modified SMB Acl for share [%s] on file server[%s]. ", shareName.c_str(),
      strFileServer.c_str());
  return true;
}
