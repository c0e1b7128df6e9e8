// The cluster's external IP addresses.
#include <algorithm>
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "json/Whole.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"

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
  static const char kFn[] = "IsilonJsonExternalIP::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 3, "Json response :[%s]", OrEmpty(response));
  if (response.empty()) return true;
  // The cluster answers with a bare array of address strings; an object holding one under the
  // empty key reads the same. Anything else (a login page, a reply cut short, an element that
  // is not a text) holds no list of addresses.
  jsonxx::Array bare;
  jsonxx::Object reply;
  const jsonxx::Array* list = nullptr;
  if (jsonxx::ParseWhole(response, bare)) {
    list = &bare;
  } else if (isilon::ReadReply(response, reply) && reply.has<jsonxx::Array>("")) {
    list = &isilon::Field<jsonxx::Array>(reply, "");
  }
  const bool texts = list != nullptr && std::all_of(list->values().begin(), list->values().end(),
                                                    [](const jsonxx::Value& value) { return value.is<std::string>(); });
  if (!texts) {
    debug.DebugLvl(kFn, -1, "Failed to fetch external IP addresses from json response.");
    return false;
  }
  for (const jsonxx::Value& value : list->values()) vIPs.push_back(value.get<std::string>());
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
  isilon::OperationPolicy policy;
  policy.refused = "Failed to list IPs on filer[%s]";
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&](string& uri, string&) {
        ips.clear();
        request.Initialize(strFileServer);
        return request.BuildRequest(uri);
      },
      response);
  if (!sent.ok()) return sent.result();
  if (!request.ParseResponse(response) || !request.GetIPInfo(ips)) {
    return isilon::Operation::Unreadable(*this, kFn, response);
  }
  if (ips.empty()) Log(kFn, __LINE__, 0, "No IPs available on File server[%s].", strFileServer.c_str());
  Log(kFn, __LINE__, 0, "Found [%u] external IPs on file server[%s]", static_cast<unsigned int>(ips.size()),
      strFileServer.c_str());
  return true;
}
