// Listing the access zones, and the SMB shares of every zone in one call.
#include <algorithm>
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

namespace {

const char kZonesFn[] = "CZemError ManageIsilon::GetAccessZonesList(std::vector<_IsilonAccessZoneInfo>&)";
const char kAllSharesFn[] = "CZemError ManageIsilon::GetAllCIFSSharesList(std::vector<_IsilonShareInfo>&)";
const char kSourceFile[] = "ManageIsilon.cpp";

bool LogEnabled(int level) { return g_ptrLogWriter && g_ptrLogWriter->level() >= level; }

}  // namespace

IsilonJsonAccessZoneList::IsilonJsonAccessZoneList() {}

void IsilonJsonAccessZoneList::Initialize(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonJsonAccessZoneList::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/platform/3/zones";
  if (LogEnabled(2)) {
    g_ptrLogWriter->write(2, "virtual bool IsilonJsonAccessZoneList::BuildRequest(std::string&)", __LINE__, 0, 0,
                          "URI : [%s]", uri.c_str());
  }
  return true;
}

bool IsilonJsonAccessZoneList::ParseResponse(const std::string& reply) {
  static const char kFn[] = "virtual bool IsilonJsonAccessZoneList::ParseResponse(const string&)";
  if (LogEnabled(3)) g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "Json response :[%s]", OrEmpty(reply));
  vZones.clear();

  jsonxx::Object object;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(reply, object);
  const jsonxx::Array& zones = shape.Records(object, "zones");
  if (!read || !shape.ok()) {
    if (LogEnabled(-1)) {
      g_ptrLogWriter->write(-1, kFn, __LINE__, 0, 0, "Failed to fetch access zone information from json response[%s].",
                            reply.c_str());
    }
    return false;
  }
  vZones.reserve(zones.size());
  for (unsigned int i = 0; i < zones.size(); ++i) {
    const jsonxx::Object& entry = zones.get<jsonxx::Object>(i);
    _IsilonAccessZoneInfo zone;
    zone.strName = isilon::Field<std::string>(entry, "name");
    zone.strPath = isilon::Field<std::string>(entry, "path");
    zone.nZoneId = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "zone_id"));
    zone.bSystem = isilon::Field<bool>(entry, "system");
    if (LogEnabled(3)) {
      g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "Name            :[%s]", zone.strName.c_str());
      g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "Path            :[%s]", zone.strPath.c_str());
      g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "ZoneId          :[%lu]", static_cast<unsigned long>(zone.nZoneId));
      g_ptrLogWriter->write(3, kFn, __LINE__, 0, 0, "System Zone?    :[%s]", zone.bSystem ? "true" : "false");
    }
    vZones.push_back(std::move(zone));
  }
  return true;
}

void IsilonJsonAccessZoneList::GetAccessZonesList(std::vector<_IsilonAccessZoneInfo>& zones) { zones.swap(vZones); }

CZemError ManageIsilon::GetAccessZonesList(vector<_IsilonAccessZoneInfo>& zones) {
  ClearLastError();
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation(kSourceFile, kZonesFn, __LINE__), 774,
                                   "Unable to open connection to the file server [%s]", strFileServer.c_str());
  }
  IsilonJsonAccessZoneList request;
  request.Initialize(strFileServer);
  string zonesUri;
  if (!request.BuildRequest(zonesUri)) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation(kSourceFile, kZonesFn, __LINE__), 774,
                                   "Unable to build request to get access zones list");
  }
  const RequestStep step{kZonesFn, kGet, "Unable to build request to get access zones list",
                         isilon::FailureLine::kSkip};
  string reply;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&zonesUri](string& uri, string& body) {
        uri = zonesUri;
        body.clear();
        return true;
      },
      reply);
  if (outcome.NotMade()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation(kSourceFile, kZonesFn, __LINE__), 774,
                                   "Unable to open connection to the file server [%s]", strFileServer.c_str());
  }
  if (outcome.Failed()) {
    return FXErrorUtil::ErrorErrNo(
        FXCodeLocation(kSourceFile, kZonesFn, __LINE__), 774,
        "Unable to send request to get access zones list. Error Code [%s], Error Message [%s]",
        strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  if (!request.ParseResponse(static_cast<const string&>(reply))) {
    strLastErrorCode = "Internal Error";
    strLastErrorMessage = "Failed to parse json response:[" + reply + "]";
    return FXErrorUtil::ErrorErrNo(FXCodeLocation(kSourceFile, kZonesFn, __LINE__), -1,
                                   "Unable to parse access zones list response. Error Code [%s], Error Message [%s]",
                                   strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  request.GetAccessZonesList(zones);
  return CZemError();
}

CZemError ManageIsilon::GetAllCIFSSharesList(vector<_IsilonShareInfo>& shares) {
  ClearLastError();
  vector<_IsilonAccessZoneInfo> zones;
  CZemError error = GetAccessZonesList(zones);
  if (error.IsError()) {
    error.Push(FXCodeLocation(kSourceFile, kAllSharesFn, __LINE__));
    return error;
  }
  std::sort(zones.begin(), zones.end(),
            [](const _IsilonAccessZoneInfo& a, const _IsilonAccessZoneInfo& b) { return a.nZoneId < b.nZoneId; });
  for (const _IsilonAccessZoneInfo& zone : zones) {
    vector<_IsilonShareInfo> page;
    if (!GetCIFSSharesList(page, "", "", zone.strName)) {
      return FXErrorUtil::ErrorWin32(FXCodeLocation(kSourceFile, kAllSharesFn, __LINE__), 1359,
                                     "Could not get cifs shares, Error code:[%s] Error message:[%s]",
                                     strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    }
    shares.insert(shares.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  }
  return CZemError();
}
