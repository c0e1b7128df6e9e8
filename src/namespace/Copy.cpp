// Server-side copy of a file or a directory tree.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "host/QuorLibCurl.h"
#include "isilon/ManageIsilon.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"
#include "src/config/Settings.h"
#include "src/session/Cycle.h"

using isilon::OrEmpty;

IsilonJsonCopyFileOrDir::IsilonJsonCopyFileOrDir() : bOverwrite(false) {}

void IsilonJsonCopyFileOrDir::Initialize(const std::string& fileServer, const std::string& source,
                                         const std::string& target, bool overwrite) {
  strFileServer = fileServer;
  strSource = source;
  strTarget = target;
  bOverwrite = overwrite;
}

bool IsilonJsonCopyFileOrDir::BuildRequest(std::string& uri, std::vector<std::string>& headers) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/namespace" + isilon::EncodeUriPiece(strTarget) +
        "?overwrite=" + (bOverwrite ? "true" : "false");
  headers.clear();
  headers.push_back("x-isi-ifs-copy-source: /namespace" + isilon::EncodeUriPiece(strSource));
  // Empty header lines drop those headers: the empty PUT goes without chunking or 100-continue.
  headers.push_back("Transfer-Encoding:");
  headers.push_back("Expect:");
  headers.push_back("x-isi-ifs-target-type: container");
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonCopyFileOrDir::BuildRequest", 2, "URI:[%s] HDR:[%s]", uri.c_str(), headers.front().c_str());
  return true;
}

bool IsilonJsonCopyFileOrDir::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonCopyFileOrDir::ParseResponse";
  EvDebug debug(nullptr);
  bool result = false;
  vErrorList.clear();
  strErrorCode.clear();
  strErrorMessage.clear();
  if (response.empty()) return true;

  jsonxx::Object reply;
  if (!isilon::ReadReply(response, reply)) {
    debug.DebugLvl(kFn, -1, "Failed to fetch json response.");
    return false;
  }
  if (reply.has<jsonxx::Array>("copy_errors")) {
    const jsonxx::Array& errors = isilon::Field<jsonxx::Array>(reply, "copy_errors");
    if (errors.empty()) {
      debug.DebugLvl(kFn, -1,
                     "Did not find any copy_errors in response [%s]. Assuming there are other errors and failing.",
                     OrEmpty(response));
      return false;
    }
    for (unsigned int i = 0; i < errors.size(); ++i) {
      // An element that is not an object yields a record with empty fields.
      const jsonxx::Object& entry = isilon::Element<jsonxx::Object>(errors, i);
      const std::string message = isilon::Field<std::string>(entry, "message");
      const std::string side = isilon::Field<std::string>(entry, "error_src");
      _IsilonErrorInfo error;
      error.strCode = isilon::Field<std::string>(entry, "code");
      error.strMessage = message.empty() ? "Unknown error received. Unexpected error format."
                                         : "Error:[" + message + "] is reported for side:[" + side + "]";
      debug.DebugLvl(kFn, 0, "Error code:[%s] Error message:[%s]", error.strCode.c_str(), error.strMessage.c_str());
      vErrorList.push_back(error);
    }
  }
  if (reply.has<bool>("success")) result = isilon::Field<bool>(reply, "success");
  if (!vErrorList.empty()) {
    strErrorCode = vErrorList.front().strCode;
    strErrorMessage = vErrorList.front().strMessage;
  }
  return result;
}

bool ManageIsilon::CopyFileOrDirectory(const string& source, const string& target, bool overwrite) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::CopyFileOrDirectory(const string&, const string&, bool)";
  const bool trace = CurrentSettings().traceCopy;
  if (!isilon::IsNamespacePath(source) || !isilon::IsNamespacePath(target)) return FailInput(kFn, __LINE__);
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);

  IsilonJsonCopyFileOrDir request;
  request.Initialize(strFileServer, source, target, overwrite);
  string copyUri;
  vector<string> headers;
  request.BuildRequest(copyUri, headers);

  // The copy's source and options ride on the session's headers for this request only.
  RequestStep step{kFn, kPut, "Failed to create json request for copy.", isilon::FailureLine::kWrite,
                   isilon::Headers::kKeep};
  step.extraHeaders = &headers;
  step.trace = trace;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to copy path on file server [%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&copyUri](string& uri, string& body) {
        uri = copyUri;
        body.clear();
        return true;
      },
      response);
  if (!sent.ok()) return sent.result();
  const bool result = request.ParseResponse(response);
  vector<_IsilonErrorInfo> copyErrors;
  request.getErrorList(copyErrors);
  if (!result && !copyErrors.empty()) request.getError(strLastErrorCode, strLastErrorMessage);
  if (!result && copyErrors.empty()) {
    // Refused without a copy error (or in a reply that cannot be read): the reply is the reason.
    jsonxx::Object reply;
    strLastErrorCode = "Internal Error";
    strLastErrorMessage = isilon::ReadReply(response, reply)
                              ? "File server did not report the copy as successful:[" + response + "]"
                              : "Failed to parse json response:[" + response + "]";
  }
  if (!result && strLastErrorCode.empty()) strLastErrorCode = "Internal Error";
  return result;
}
