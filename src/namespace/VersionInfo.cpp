// The software version of every node of the cluster.
#include <string>
#include <vector>

#include "host/LogWriter.h"
#include "host/ZemError.h"
#include "isilon/ManageIsilon.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"

using isilon::OrEmpty;

IsilonJsonVersionInfo::IsilonJsonVersionInfo() {}

void IsilonJsonVersionInfo::Initialize(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonJsonVersionInfo::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/platform/3/cluster/version";
  if (g_ptrLogWriter && g_ptrLogWriter->level() >= 2) {
    g_ptrLogWriter->write(2, "virtual bool IsilonJsonVersionInfo::BuildRequest(std::string&)", __LINE__, 0, 0,
                          "URI : [%s]", uri.c_str());
  }
  return true;
}

bool IsilonJsonVersionInfo::ParseResponse(const std::string& response, std::vector<_IsilonVersionInfo>& nodes) {
  static const char kFn[] =
      "virtual bool IsilonJsonVersionInfo::ParseResponse(const string&, std::vector<_IsilonVersionInfo>&)";
  if (g_ptrLogWriter && g_ptrLogWriter->level() >= 3) {
    g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "Json response :[%s]", OrEmpty(response));
  }
  nodes.clear();
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  const jsonxx::Array& list = shape.Records(reply, "nodes");
  if (!read || !shape.ok()) {
    if (g_ptrLogWriter && g_ptrLogWriter->level() >= -1) {
      g_ptrLogWriter->write(-1, kFn, __LINE__, 0, 0, "Failed to fetch version information from json response[%s].",
                            response.c_str());
    }
    return false;
  }
  for (unsigned int i = 0; i < list.size(); ++i) {
    const jsonxx::Object& entry = list.get<jsonxx::Object>(i);
    _IsilonVersionInfo node;
    node.strBuild = isilon::Field<std::string>(entry, "build");
    node.nId = jsonxx::TruncToI32(isilon::Field<jsonxx::Number>(entry, "id"));
    node.strRelease = isilon::Field<std::string>(entry, "release");
    node.strRevision = isilon::Field<std::string>(entry, "revision");
    node.strType = isilon::Field<std::string>(entry, "type");
    node.strVersion = isilon::Field<std::string>(entry, "version");
    nodes.push_back(std::move(node));
  }
  return true;
}

CZemError ManageIsilon::GetVersionInfo(vector<_IsilonVersionInfo>& nodes) {
  ClearLastError();
  static const char kFn[] = "CZemError ManageIsilon::GetVersionInfo(std::vector<_IsilonVersionInfo>&)";
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("ManageIsilon.cpp", kFn, __LINE__), 774,
                                   "Unable to open connection to the file server [%s]", strFileServer.c_str());
  }
  IsilonJsonVersionInfo request;
  request.Initialize(strFileServer);
  string versionUri;
  if (!request.BuildRequest(versionUri)) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("ManageIsilon.cpp", kFn, __LINE__), 774,
                                   "Unable to build request to get version info");
  }
  const RequestStep step{kFn, kGet, "Unable to build request to get version info", isilon::FailureLine::kSkip};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&versionUri](string& uri, string& body) {
        uri = versionUri;
        body.clear();
        return true;
      },
      response);
  if (!outcome.Succeeded()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("ManageIsilon.cpp", kFn, __LINE__), 774,
                                   "Unable to send request to get version info. Error Code [%s], Error Message [%s]",
                                   strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  if (!request.ParseResponse(response, nodes)) {
    strLastErrorCode = "Internal Error";
    strLastErrorMessage = "Failed to parse json response:[" + response + "]";
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("ManageIsilon.cpp", kFn, __LINE__), -1,
                                   "Unable to parse version info. Error Code [%s], Error Message [%s]",
                                   strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  return CZemError();
}
