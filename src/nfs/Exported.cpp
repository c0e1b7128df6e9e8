// Whole create or delete of an NFS export for callers that hold no session object.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"

namespace {

void Configure(ManageIsilon& session, const string& fileServer, const string& user, const string& password) {
  session.SetFileServer(fileServer);
  session.SetUser(user);
  session.SetPasswd(password);
}

}  // namespace

extern "C" bool CreateNfsExportIsilon(const unsigned long long& /*context*/, const string& fileServer,
                                      const string& user, const string& password, const string& extra,
                                      const string& path, const string& client, string& errorCode,
                                      string& errorMessage) {
  static const char kFn[] = "CreateNfsExportIsilon";
  EvDebug debug(nullptr);
  ManageIsilon session;
  Configure(session, fileServer, user, password);

  const vector<string> paths{path};
  _IsilonNFSPermissions permissions;
  permissions.setClients.insert(client);
  permissions.setReadWriteClients.insert(client);
  permissions.setRootClients.insert(client);
  permissions.setSecurityFlavors.insert("unix");

  unsigned int exportId = 0;
  bool ok = false;
  if (isilon::HasNul(extra)) {
    // Not sent, but a NUL in any argument says the caller's text is not what it looks like.
    errorCode = "Internal error";
    errorMessage = "Invalid input parameters";
  } else {
    ok = session.CreateNFSExport(exportId, paths, permissions, /*extraA=*/"", /*extraB=*/"", /*readOnly=*/false,
                                 /*allDirs=*/true);
    if (!ok) session.GetLastError(errorCode, errorMessage);
  }
  if (!ok) {
    debug.DebugLvl(kFn, -1, "Failed to create nfs export on path[%s]. Error [%s]:[%s]", path.c_str(), errorCode.c_str(),
                   errorMessage.c_str());
    return false;
  }
  debug.DebugLvl(kFn, -1, "Successfully created nfs export on path[%s].", path.c_str());
  return true;
}

extern "C" bool DeleteNfsExportIsilon(const unsigned long long& /*context*/, const string& fileServer,
                                      const string& user, const string& password, const string& extra,
                                      const string& path, string& errorCode, string& errorMessage) {
  static const char kFn[] = "DeleteNfsExportIsilon";
  EvDebug debug(nullptr);
  ManageIsilon session;
  Configure(session, fileServer, user, password);

  vector<_IsilonNFSExportInfo> exports;
  bool ok = false;
  errorCode.clear();
  errorMessage.clear();
  if (path.empty() || isilon::HasNul(extra)) {
    // Without a path the listing is not filtered and the first export of the cluster, whatever
    // it serves, would be deleted.
    errorCode = "Internal error";
    errorMessage = "Invalid input parameters";
  } else if (!session.GetNFSExportList(exports, 0, path, "")) {
    session.GetLastError(errorCode, errorMessage);
  } else if (exports.empty()) {
    errorCode = "Internal Error";
    errorMessage = "No nfs export found on path:[" + path + "]";
  } else {
    ok = session.DeleteNFSExport(exports.front().nId, "");
    if (!ok) session.GetLastError(errorCode, errorMessage);
  }
  if (!ok) {
    debug.DebugLvl(kFn, -1, "Failed to delete nfs export on path[%s]. Error [%s]:[%s]", path.c_str(), errorCode.c_str(),
                   errorMessage.c_str());
    return false;
  }
  debug.DebugLvl(kFn, -1, "Successfully deleted nfs export on path[%s].", path.c_str());
  return true;
}
