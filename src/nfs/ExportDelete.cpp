// Deleting an NFS export by its id.
#include <string>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/common/Operation.h"

IsilonJsonNFSExportDelete::IsilonJsonNFSExportDelete() : nExportId(0) {}

void IsilonJsonNFSExportDelete::Initialize(const std::string& fileServer, const unsigned int& exportId,
                                           const std::string& zone) {
  strFileServer = fileServer;
  nExportId = exportId;
  strZone = zone;
}

bool IsilonJsonNFSExportDelete::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/protocols/nfs/exports/" + std::to_string(nExportId);
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonNFSExportDelete::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

bool ManageIsilon::DeleteNFSExport(const unsigned int& exportId, const string& zone) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::DeleteNFSExport(const ULONG&, const string&)";
  if (exportId == 0 || isilon::HasNul(zone)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 3, "Request to delete nfs export. Export-Id [%u].", exportId);

  IsilonJsonNFSExportDelete request;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to delete nfs export on filer[%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, isilon::Operation::DeleteStep(kFn, "Failed to create json request for NFS EXPORT deletion."), policy,
      request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, exportId, zone);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  Log(kFn, __LINE__, 0, "Successfully deleted nfs export. Export-Id [%u].", exportId);
  return true;
}
