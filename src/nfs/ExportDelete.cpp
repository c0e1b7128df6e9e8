// Deleting an NFS export by its id.
#include <string>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/session/Cycle.h"

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
  RequestStep step{kFn, kDelete, "Failed to create json request for NFS EXPORT deletion."};
  step.successBody = isilon::SuccessBody::kEmpty;
  step.codeMeaningDone = "AEC_NOT_FOUND";         // nothing left to delete
  step.whenCutOff = isilon::WhenCutOff::kRepeat;  // a second go ends the same way
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, exportId, zone);
        return request.BuildRequest(uri, body);
      },
      response);
  if (outcome.NotMade()) return false;
  if (outcome.Failed()) {
    Log(kFn, __LINE__, -1, "Failed to delete nfs export on filer[%s]. Error[%s]:[%s]", strFileServer.c_str(),
        strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    if (outcome.CountsAsDone()) {
      Log(kFn, __LINE__, 0, "Treating this as success.");
      return true;
    }
    return false;
  }
  Log(kFn, __LINE__, 0, "Successfully deleted nfs export. Export-Id [%u].", exportId);
  return true;
}
