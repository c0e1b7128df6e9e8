// Reading and switching the settings of the ChangelistCreate job type.
#include <sstream>
#include <string>

#include "host/ZemError.h"
#include "isilon/ManageIsilon.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"
#include "src/snapshot/WriterLog.h"

using isilon::OrEmpty;
using isilon::snapshot::WriterLog;

namespace {
std::string JobTypeUri(const std::string& fileServer) {
  return "https://" + fileServer + ":8080/platform/3/job/types/ChangelistCreate";
}
}  // namespace

IsilonGetChangeListCreateJobInfo::IsilonGetChangeListCreateJobInfo() {}

void IsilonGetChangeListCreateJobInfo::Initialize(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonGetChangeListCreateJobInfo::BuildRequest(std::string& uri) {
  uri.clear();
  uri = JobTypeUri(strFileServer);
  WriterLog("virtual bool IsilonGetChangeListCreateJobInfo::BuildRequest(std::string&)", __LINE__, 2, "URI : [%s]",
            uri.c_str());
  return true;
}

bool IsilonGetChangeListCreateJobInfo::ParseResponse(const std::string& response, _ChangeListCreateJobInfo& info) {
  static const char kFn[] =
      "virtual bool IsilonGetChangeListCreateJobInfo::ParseResponse(const string&, _ChangeListCreateJobInfo&)";
  WriterLog(kFn, __LINE__, 3, "Json response :[%s]", OrEmpty(response));
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  const jsonxx::Array& types = shape.Records(reply, "types");
  if (!read || !shape.ok()) {
    WriterLog(kFn, __LINE__, -1, "Failed to fetch ChangelistCreate job type info from json response[%s].",
              response.c_str());
    return false;
  }
  if (!types.empty()) {
    const jsonxx::Object& type = types.get<jsonxx::Object>(0);
    info.bAllowMultipleInstances = isilon::Field<bool>(type, "allow_multiple_instances");
    info.bEnabled = isilon::Field<bool>(type, "enabled");
    info.strPolicy = isilon::Field<std::string>(type, "policy");
    info.nPriority = jsonxx::TruncToI32(isilon::Field<jsonxx::Number>(type, "priority"));
  }
  return true;
}

IsilonSetChangeListCreateJobInfo::IsilonSetChangeListCreateJobInfo() {}

void IsilonSetChangeListCreateJobInfo::Initialize(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonSetChangeListCreateJobInfo::BuildRequest(const _ChangeListCreateJobInfo& info, std::string& uri,
                                                    std::string& body) {
  uri.clear();
  body.clear();
  uri = JobTypeUri(strFileServer);
  jsonxx::Object settings;
  settings.import("enabled", jsonxx::Value(info.bEnabled));
  std::ostringstream written;
  written << settings;
  body = written.str();
  WriterLog(
      "virtual bool IsilonSetChangeListCreateJobInfo::BuildRequest(const _ChangeListCreateJobInfo&, "
      "std::string&, std::string&)",
      __LINE__, 3, "URI : [%s], \n Request Body : [%s]", uri.c_str(), OrEmpty(body));
  return true;
}

bool IsilonSetChangeListCreateJobInfo::ParseResponse(std::string& response) {
  WriterLog("virtual bool IsilonSetChangeListCreateJobInfo::ParseResponse(std::string&)", __LINE__, 2,
            "Json response :[%s]", OrEmpty(response));
  return true;
}

CZemError ManageIsilon::GetChangeListJobInfo(_ChangeListCreateJobInfo& info) {
  ClearLastError();
  static const char kFn[] = "CZemError ManageIsilon::GetChangeListJobInfo(_ChangeListCreateJobInfo&)";
  const auto here = [](int line) { return FXCodeLocation("ManageIsilon.cpp", kFn, line); };
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), 774, "Unable to open connection to the file server [%s]",
                                   strFileServer.c_str());
  }
  IsilonGetChangeListCreateJobInfo request;
  const RequestStep step{kFn, kGet, "Failed to create json request to read the ChangelistCreate job type.",
                         isilon::FailureLine::kSkip};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string& body) {
        body.clear();
        request.Initialize(strFileServer);
        return request.BuildRequest(uri);
      },
      response);
  if (!outcome.Succeeded()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), 774,
                                   "Could not read ChangelistCreate job properties on file server[%s]. "
                                   "Error[%s]:[%s]",
                                   strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  if (!request.ParseResponse(response, info)) {
    strLastErrorCode = "Internal Error";
    strLastErrorMessage = "Failed to parse json response:[" + response + "]";
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1,
                                   "Unable to parse ChangelistCreate job properties from file server[%s]. "
                                   "Error[%s]:[%s]",
                                   strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  return CZemError();
}

CZemError ManageIsilon::SetChangeListJobInfo(const _ChangeListCreateJobInfo& info) {
  ClearLastError();
  static const char kFn[] = "CZemError ManageIsilon::SetChangeListJobInfo(const _ChangeListCreateJobInfo&)";
  const auto here = [](int line) { return FXCodeLocation("ManageIsilon.cpp", kFn, line); };
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), 774, "Unable to open connection to the file server [%s]",
                                   strFileServer.c_str());
  }
  IsilonSetChangeListCreateJobInfo request;
  const RequestStep step{kFn, kPut, "Failed to create json request to change the ChangelistCreate job type.",
                         isilon::FailureLine::kSkip};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer);
        return request.BuildRequest(info, uri, body);
      },
      response);
  if (!outcome.Succeeded()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), 774,
                                   "Could not change ChangelistCreate job properties on file server[%s]. "
                                   "Error[%s]:[%s]",
                                   strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  request.ParseResponse(response);
  LogNoContext(kFn, __LINE__, 2, "Successfully modified ChangelistCreate job properties on file server[%s]. ",
               strFileServer.c_str());
  return CZemError();
}
