// Creating and deleting one SMB share, and the exported wrappers that own a whole session.
#include <string>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/common/JsonText.h"
#include "src/common/Operation.h"

using isilon::JsonEscape;

namespace {

const char kCreateFn[] =
    "bool ManageIsilon::CreateCIFSShare(const string&, const string&, const string&, const string&)";
const char kDeleteFn[] = "bool ManageIsilon::DeleteCIFSShare(const string&, const string&, const string&)";

// The zone goes into the query encoded, so that a blank, "&" or "#" in it can neither break
// the request nor add parameters.
std::string ZoneQuery(const std::string& zone) {
  return zone.empty() ? std::string() : "?zone=" + isilon::EncodeUriPiece(zone);
}

}  // namespace

IsilonJsonCIFSShareCreate::IsilonJsonCIFSShareCreate() {}

void IsilonJsonCIFSShareCreate::Initialize(const std::string& fileServer, const std::string& name,
                                           const std::string& path, const std::string& extra, const std::string& zone) {
  strFileServer = fileServer;
  strName = name;
  strPath = path;
  strExtra = extra;
  strZone = zone;
}

bool IsilonJsonCIFSShareCreate::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/protocols/smb/shares" + ZoneQuery(strZone);
  // Name and path are escaped so that a quote or backslash in them still names exactly that
  // share; ordinary values come out unchanged.
  body = "{";
  body += "\"name\" : \"" + JsonEscape(strName) + "\",";
  body += "\"path\" : \"" + JsonEscape(strPath) + "\",";
  body += "\"permissions\" : [],";
  body += "\"run_as_root\" : [ { \"name\":\"Everyone\"}]";
  body += "}";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonCIFSShareCreate::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 body.c_str());
  return true;
}

IsilonJsonCIFSShareDelete::IsilonJsonCIFSShareDelete() {}

void IsilonJsonCIFSShareDelete::Initialize(const std::string& fileServer, const std::string& name,
                                           const std::string& path, const std::string& zone) {
  strFileServer = fileServer;
  strName = name;
  strPath = path;
  strZone = zone;
}

bool IsilonJsonCIFSShareDelete::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/protocols/smb/shares/" + isilon::EncodeUriPiece(strName) +
        ZoneQuery(strZone);
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonCIFSShareDelete::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 body.c_str());
  return true;
}

bool ManageIsilon::CreateCIFSShare(const string& name, const string& path, const string& extra, const string& zone) {
  ClearLastError();
  if (name.empty() || path.empty() || isilon::AnyHasNul(name, path, extra, zone)) return FailInput(kCreateFn, __LINE__);
  Log(kCreateFn, __LINE__, 3, "Request to create CIFS share[%s] on path[%s].", name.c_str(), path.c_str());

  IsilonJsonCIFSShareCreate request;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to create cifs share on filer[%s]";
  policy.refusedWithoutContext = true;
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, isilon::Operation::CreateStep(kCreateFn, "Failed to create json request for cifs share creation."), policy,
      request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, name, path, extra, zone);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  if (!request.IsilonJsonBase::ParseResponse(response)) {
    return Fail(kCreateFn, __LINE__, "Internal Error", "Failed to parse json response.");
  }
  Log(kCreateFn, __LINE__, 0, "Successfully created CIFS share[%s] on path[%s].", name.c_str(), path.c_str());
  return true;
}

bool ManageIsilon::DeleteCIFSShare(const string& name, const string& path, const string& zone) {
  ClearLastError();
  if (name.empty() || path.empty() || !isilon::IsSingleSegment(name) || isilon::AnyHasNul(path, zone)) {
    return FailInput(kDeleteFn, __LINE__);
  }
  Log(kDeleteFn, __LINE__, 3, "Request to delete CIFS share[%s] on path[%s].", name.c_str(), path.c_str());

  IsilonJsonCIFSShareDelete request;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to delete cifs share on filer[%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, isilon::Operation::DeleteStep(kDeleteFn, "Failed to create json request for cifs share deletion."), policy,
      request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, name, path, zone);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  Log(kDeleteFn, __LINE__, 0, "Successfully deleted CIFS share[%s] on path[%s].", name.c_str(), path.c_str());
  return true;
}

bool CreateShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                       const string& password, const string& path, const string& name, string& errorCode,
                       string& errorMessage) {
  (void)context;
  ManageIsilon session;
  session.SetFileServer(fileServer);
  session.SetUser(user);
  session.SetPasswd(password);
  EvDebug debug(nullptr);
  if (!session.CreateCIFSShare(name, path, "", "")) {
    session.GetLastError(errorCode, errorMessage);
    debug.DebugLvl("CreateShare", -1, "Failed to create cifs share[%s] on path[%s]. Error [%s]:[%s]", name.c_str(),
                   path.c_str(), errorCode.c_str(), errorMessage.c_str());
    return false;
  }
  debug.DebugLvl("CreateShare", -1, "Successfully created CIFS share[%s] on path[%s].", name.c_str(), path.c_str());
  return true;
}

bool DeleteShareIsilon(const unsigned long long& context, const string& fileServer, const string& user,
                       const string& password, const string& name, const string& path, string& errorCode,
                       string& errorMessage) {
  (void)context;
  ManageIsilon session;
  session.SetFileServer(fileServer);
  session.SetUser(user);
  session.SetPasswd(password);
  EvDebug debug(nullptr);
  if (!session.DeleteCIFSShare(name, path, "")) {
    session.GetLastError(errorCode, errorMessage);
    debug.DebugLvl("DeleteShare", -1, "Failed to delete cifs share[%s]. Error [%s]:[%s]", name.c_str(),
                   errorCode.c_str(), errorMessage.c_str());
    return false;
  }
  debug.DebugLvl("DeleteShare", -1, "Successfully deleted CIFS share[%s].", name.c_str());
  return true;
}
