// Creating an NFS export.
#include <set>
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/JsonText.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"

using isilon::JsonEscape;
using isilon::OrEmpty;

namespace {

// "\"key\":[" + the quoted texts separated by "," + "],". Values are escaped so that a quote
// or a backslash in a path or host name cannot end its string early.
template <class Texts>
void AppendList(std::string& body, const char* key, const Texts& texts) {
  body += "\"";
  body += key;
  body += "\":[";
  bool first = true;
  for (const std::string& text : texts) {
    if (!first) body += ",";
    first = false;
    body += "\"" + JsonEscape(text) + "\"";
  }
  body += "],";
}

}  // namespace

IsilonJsonNFSExportCreate::IsilonJsonNFSExportCreate() : bReadOnly(false), bAllDirs(true), nExportId(0) {}

void IsilonJsonNFSExportCreate::Initialize(const std::string& fileServer, const std::vector<std::string>& paths,
                                           const _IsilonNFSPermissions& perms, const std::string& secondText,
                                           bool readOnly, bool allDirs, const std::string& firstText) {
  strFileServer = fileServer;
  vPaths = paths;
  permissions = perms;
  strSecondText = secondText;
  bReadOnly = readOnly;
  bAllDirs = allDirs;
  strFirstText = firstText;
}

bool IsilonJsonNFSExportCreate::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/protocols/nfs/exports?force=true";
  body = "{";
  AppendList(body, "paths", vPaths);
  AppendList(body, "clients", permissions.setClients);
  AppendList(body, "read_only_clients", permissions.setReadOnlyClients);
  AppendList(body, "read_write_clients", permissions.setReadWriteClients);
  AppendList(body, "root_clients", permissions.setRootClients);
  AppendList(body, "security_flavors", permissions.setSecurityFlavors);
  body += "\"read_only\" :";
  body += bReadOnly ? "true" : "false";
  body += ",\"all_dirs\" :";
  body += bAllDirs ? "true" : "false";
  body += "}";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonNFSExportCreate::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 body.c_str());
  return true;
}

bool IsilonJsonNFSExportCreate::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonNFSExportCreate::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 2, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  if (!isilon::ReadReply(response, reply)) {
    debug.DebugLvl(kFn, -1, "Failed to get nfs export id from json response.");
    return false;
  }
  if (!reply.has<jsonxx::Number>("id")) return false;
  nExportId = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(reply, "id"));
  return true;
}

unsigned int IsilonJsonNFSExportCreate::getExportId() { return nExportId; }

bool ManageIsilon::CreateNFSExport(unsigned int& exportId, const vector<string>& paths,
                                   const _IsilonNFSPermissions& permissions, const string& extraA, const string& extraB,
                                   bool readOnly, bool allDirs) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::CreateNFSExport(ULONG&, const std::vector<std::__cxx11::basic_string<char> >&, "
      "const IsilonNFSPermissions&, const string&, const string&, bool, bool)";
  if (paths.empty() || isilon::AnyHasNulIn(paths) || isilon::AnyHasNul(extraA, extraB) ||
      isilon::AnyHasNulIn(permissions.setClients) || isilon::AnyHasNulIn(permissions.setReadOnlyClients) ||
      isilon::AnyHasNulIn(permissions.setReadWriteClients) || isilon::AnyHasNulIn(permissions.setRootClients) ||
      isilon::AnyHasNulIn(permissions.setSecurityFlavors)) {
    return FailInput(kFn, __LINE__);
  }
  for (const string& path : paths) Log(kFn, __LINE__, 3, "Request to create nfs export on path[%s].", path.c_str());

  IsilonJsonNFSExportCreate request;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to create nfs export on filer[%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, isilon::Operation::CreateStep(kFn, "Failed to create json request for NFS EXPORT creation."), policy,
      request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, paths, permissions, extraB, readOnly, allDirs, extraA);
        return request.BuildRequest(uri, body);
      },
      response);
  // An export that is there already leaves the caller's id as it was.
  if (!sent.ok()) return sent.result();
  if (!request.ParseResponse(response)) return isilon::Operation::Unreadable(*this, kFn, response);
  exportId = request.getExportId();
  Log(kFn, __LINE__, 0, "Successfully created nfs export on [%d] paths.", static_cast<int>(paths.size()));
  return true;
}
