// The cluster's external IP addresses.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/session/Cycle.h"

using isilon::OrEmpty;

IsilonJsonExternalIP::IsilonJsonExternalIP() {}

void IsilonJsonExternalIP::Initialize(const std::string& fileServer) {
  strFileServer = fileServer;
  vIPs.clear();
}

bool IsilonJsonExternalIP::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/cluster/external-ips";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonExternalIP::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

bool IsilonJsonExternalIP::ParseResponse(std::string& response) {
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonExternalIP::ParseResponse", 3, "Json response :[%s]", OrEmpty(response));
  jsonxx::Object reply;
  reply.parse(response);
  if (!reply.empty()) {
    if (reply.has<jsonxx::Array>("")) {
      const jsonxx::Array& list = reply.get<jsonxx::Array>("");
      for (unsigned int i = 0; i < list.size(); ++i) vIPs.push_back(list.get<std::string>(i));
    }
    return true;
  }
  // The cluster sends a bare array of address strings, which the object reader refuses:
  // pick the quoted texts out of the body. A short candidate or one spanning lines ends it.
  size_t pos = 0;
  while (true) {
    const size_t open = response.find('"', pos);
    if (open == std::string::npos) break;
    const size_t close = response.find('"', open + 2);
    if (close == std::string::npos) break;
    const std::string candidate = response.substr(open + 1, close - open - 1);
    if (candidate.size() <= 6 || candidate.find('\n') != std::string::npos) break;
    vIPs.push_back(candidate);
    pos = close + 1;
  }
  return true;
}

bool IsilonJsonExternalIP::GetIPInfo(std::vector<std::string>& out) {
  out = vIPs;
  return true;
}

bool ManageIsilon::GetExternalIPs(vector<string>& ips) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::GetExternalIPs(std::vector<std::string>&)";
  Log(kFn, __LINE__, 2, "Request to get externals IPs on file server[%s]", strFileServer.c_str());
  // The open's own error (a refused login, an unreachable cluster) is the reason to report.
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);

  IsilonJsonExternalIP request;
  const RequestStep step{kFn, kGet, "Failed to create json request for IP list."};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string&) {
        ips.clear();
        request.Initialize(strFileServer);
        return request.BuildRequest(uri);
      },
      response);
  if (outcome.NotMade()) return false;
  if (outcome.Failed()) {
    Log(kFn, __LINE__, -1, "Failed to list IPs on filer[%s]. Error[%s]:[%s]", strFileServer.c_str(),
        strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    return false;
  }
  if (!request.ParseResponse(response) || !request.GetIPInfo(ips)) {
    return Fail(kFn, __LINE__, "Internal Error", "Failed to parse json response:[" + response + "]");
  }
  if (ips.empty()) Log(kFn, __LINE__, 0, "No IPs available on File server[%s].", strFileServer.c_str());
  Log(kFn, __LINE__, 0, "Found [%u] external IPs on file server[%s]", static_cast<unsigned int>(ips.size()),
      strFileServer.c_str());
  return true;
}
