// Listing NFS exports: all of a zone, one by id, or those that serve a path.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "isilon/Paging.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"

using isilon::OrEmpty;

namespace {

// Appends every text of the array `key` of `entry` to `out`, logging each under `label`.
void ReadTexts(EvDebug& debug, const char* function, isilon::ReplyShape& shape, const jsonxx::Object& entry,
               const char* key, const char* format, std::vector<std::string>& out) {
  const jsonxx::Array& list = shape.List(entry, key);
  for (unsigned int i = 0; i < list.size(); ++i) {
    // A member of another kind reads as an empty text rather than stopping the listing.
    out.push_back(isilon::Element<std::string>(list, i));
    debug.DebugLvl(function, 3, format, out.back().c_str());
  }
}

}  // namespace

IsilonJsonNFSExportList::IsilonJsonNFSExportList() : nExportId(0) {}

void IsilonJsonNFSExportList::Initialize(const std::string& fileServer, const unsigned int& exportId,
                                         const std::string& zone) {
  strFileServer = fileServer;
  nExportId = exportId;
  strZone = zone;
}

bool IsilonJsonNFSExportList::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/protocols/nfs/exports";
  if (nExportId != 0) uri += "/" + std::to_string(nExportId);
  // The token is the cluster's own opaque text and goes back as received; it carries the
  // zone of the first request.
  if (!resume.empty()) {
    uri += "?resume=" + resume;
  } else if (!strZone.empty()) {
    uri += "?zone=" + isilon::EncodeUriPiece(strZone);
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonNFSExportList::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 OrEmpty(body));
  return true;
}

bool IsilonJsonNFSExportList::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonNFSExportList::ParseResponse";
  vExports.clear();
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 2, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& list = shape.Records(reply, "exports");
  if (read && shape.ok()) {
    vExports.reserve(list.size());
    for (unsigned int i = 0; i < list.size(); ++i) {
      const jsonxx::Object& entry = list.get<jsonxx::Object>(i);
      _IsilonNFSExportInfo info;
      ReadTexts(debug, kFn, shape, entry, "paths", "\n\t Path\t\t\t:[%s]", info.vPaths);
      ReadTexts(debug, kFn, shape, entry, "clients", "\n\t Client\t\t\t:[%s]", info.vClients);
      ReadTexts(debug, kFn, shape, entry, "read_only_clients", "\n\t RO Client\t\t:[%s]", info.vReadOnlyClients);
      ReadTexts(debug, kFn, shape, entry, "read_write_clients", "\n\t RW Client\t\t:[%s]", info.vReadWriteClients);
      ReadTexts(debug, kFn, shape, entry, "root_clients", "\n\t Root Client\t:[%s]", info.vRootClients);
      ReadTexts(debug, kFn, shape, entry, "security_flavors", "\n\t Security Flavor :[%s]", info.vSecurityFlavors);
      info.bReadOnly = isilon::Field<bool>(entry, "read_only");
      info.bAllDirs = isilon::Field<bool>(entry, "all_dirs");
      info.nId = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "id"));
      debug.DebugLvl(kFn, 3, "\n\t Id\t\t\t:[%u]", info.nId);
      vExports.push_back(std::move(info));
    }
  }
  if (!read || !shape.ok()) {
    vExports.clear();
    debug.DebugLvl(kFn, -1, "Failed to parse file information from json response.");
    return false;
  }
  resume = std::move(token);
  debug.DebugLvl(kFn, 0, "Succesfully returned [%d] items.", static_cast<int>(vExports.size()));
  return true;
}

bool IsilonJsonNFSExportList::GetExportsInfo(std::vector<_IsilonNFSExportInfo>& out) {
  out = vExports;
  return true;
}

void IsilonJsonNFSExportList::GetResume(std::string& out) { out = resume; }

void IsilonJsonNFSExportList::SetResume(const std::string& token) { resume = token; }

bool ManageIsilon::GetNFSExportList(vector<_IsilonNFSExportInfo>& exports, const unsigned int& exportId,
                                    const string& path, const string& zone) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetNFSExportList(std::vector<_IsilonNFSExportInfo>&, const ULONG&, const string&, "
      "const string&)";
  Log(kFn, __LINE__, 2, "Request to get nfs export list on file server[%s]", strFileServer.c_str());
  if (isilon::AnyHasNul(path, zone)) return FailInput(kFn, __LINE__);
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);

  exports.clear();
  IsilonJsonNFSExportList request;
  request.Initialize(strFileServer, exportId, zone);
  isilon::OperationPolicy policy;
  policy.refused = "Failed to list exports on filer[%s]";
  vector<_IsilonNFSExportInfo> page;
  const bool listed = isilon::Operation::ReadPages(
      *this, RequestStep{kFn, kGet, "Failed to create json request for export list."}, policy, request,
      [&request](const string& token) { request.SetResume(token); },
      [&](IsilonJsonNFSExportList& read, isilon::PageStep& walk) {
        if (!read.GetExportsInfo(page)) return false;
        if (path.empty()) {
          for (_IsilonNFSExportInfo& info : page) exports.push_back(std::move(info));
          return true;
        }
        // Looking for the exports of one path: the page it was found on is the last one read.
        for (_IsilonNFSExportInfo& info : page) {
          for (const string& served : info.vPaths) {
            if (served == path) {
              exports.push_back(std::move(info));
              walk = isilon::PageStep::kFound;
              break;
            }
          }
        }
        return true;
      });
  if (!listed) {
    // A page that fails fails the list: the pages before it are not handed out as the whole.
    exports.clear();
    return false;
  }

  Log(kFn, __LINE__, 0, "Successfully retrieved [%d] exports from file server[%s]", static_cast<int>(exports.size()),
      strFileServer.c_str());
  return true;
}
