// One page of a directory listing.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/session/Cycle.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/namespace/FileInfo.h"

using isilon::OrEmpty;

namespace {
// The cluster takes a page size of at most nine decimal digits.
const int kMaxPageLimit = 999999999;
}  // namespace

IsilonJsonFileList::IsilonJsonFileList() : nLimit(0) {}

void IsilonJsonFileList::Initialize(const std::string& fileServer, const std::string& path, int limit,
                                    std::string resumeToken) {
  strFileServer = fileServer;
  strPath = path;
  nLimit = static_cast<uint64_t>(static_cast<int64_t>(limit));
  resume = std::move(resumeToken);
}

bool IsilonJsonFileList::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/namespace" + UrlEncode(strPath) +
        "/?detail=name,owner,mode,type,size,mtime_val&sort=name&limit=" + std::to_string(nLimit);
  // The token is the cluster's own opaque text and goes back as received.
  if (!resume.empty()) uri += "&resume=" + resume;
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonFileList::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

bool IsilonJsonFileList::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonFileList::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 3, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  reply.parse(response);
  if (reply.empty()) {
    debug.DebugLvl(kFn, -1, "Failed to parse file information from json response.");
    return false;
  }
  resume = reply.has<std::string>("resume") ? reply.get<std::string>("resume") : std::string();

  vFiles.clear();
  if (reply.has<jsonxx::Array>("children")) {
    const jsonxx::Array& children = reply.get<jsonxx::Array>("children");
    vFiles.reserve(children.size());
    for (unsigned int i = 0; i < children.size(); ++i) {
      const jsonxx::Object& entry = children.get<jsonxx::Object>(i);
      _IsilonFileInfo info;
      info.strName = entry.get<std::string>("name");
      info.strPath = strPath + "/" + info.strName;
      info.nMtime = jsonxx::TruncToU32(entry.get<jsonxx::Number>("mtime_val"));
      info.strOwner = entry.get<std::string>("owner");
      info.strMode = entry.get<std::string>("mode");
      info.strType = entry.get<std::string>("type");
      info.nSize = jsonxx::TruncToU64(entry.get<jsonxx::Number>("size"));
      isilon::DebugFileInfo(kFn, info);
      vFiles.push_back(std::move(info));
    }
  }
  return true;
}

bool IsilonJsonFileList::GetFilesInfo(std::vector<_IsilonFileInfo>& out) {
  out = vFiles;
  return true;
}

void IsilonJsonFileList::GetResume(std::string& out) { out = resume; }

bool ManageIsilon::GetFileList(vector<_IsilonFileInfo>& files, const string& path, string& resume, int limit) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetFileList(std::vector<_IsilonFileInfo>&, const string&, std::string&, int)";
  // A page size the cluster cannot take is refused before anything is sent.
  if (!isilon::IsNamespacePath(path) || limit <= 0 || limit > kMaxPageLimit) {
    return FailInput(kFn, __LINE__);
  }
  Log(kFn, __LINE__, 3, "Request to get file list for path [%s].", path.c_str());

  IsilonJsonFileList request;
  const RequestStep step{kFn, kGet, "Failed to create json request for file list."};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string&) {
        files.clear();
        request.Initialize(strFileServer, path, limit, resume);
        return request.BuildRequest(uri);
      },
      response);
  if (outcome.NotMade()) return false;
  if (outcome.Failed()) {
    Log(kFn, __LINE__, -1, "Failed to get file list from file server[%s]. Error[%s]:[%s]", strFileServer.c_str(),
        strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    return false;
  }
  if (!request.ParseResponse(response) || !request.GetFilesInfo(files)) {
    return Fail(kFn, __LINE__, "Internal Error", "Failed to parse json response:[" + response + "]");
  }
  request.GetResume(resume);
  if (files.empty()) {
    Log(kFn, __LINE__, -1, "No files/directories present under Path[%s], File server[%s].", path.c_str(),
        strFileServer.c_str());
  }
  Log(kFn, __LINE__, 2, "Successfully retrieved file list for path[%s] on file server[%s]", path.c_str(),
      strFileServer.c_str());
  return true;
}
