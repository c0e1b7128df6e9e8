// The attributes of one path, read with "?metadata".
#include <string>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "json/Cursor.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"
#include "src/namespace/FileInfo.h"

using isilon::OrEmpty;

IsilonJsonPathAttributes::IsilonJsonPathAttributes() {}

void IsilonJsonPathAttributes::Initialize(const std::string& fileServer, const std::string& path) {
  strFileServer = fileServer;
  strPath = path;
}

bool IsilonJsonPathAttributes::BuildRequest(std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/namespace" + isilon::EncodeUriPiece(strPath) + "/?metadata";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonPathAttributes::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

namespace {

// The cluster's description gives every attribute's value as text ("12"), and a number is
// met as well: both are read, as a JSON number would be; anything else reads as 0.
jsonxx::Number NumericValue(const jsonxx::Object& attr) {
  if (attr.has<jsonxx::Number>("value")) return isilon::Field<jsonxx::Number>(attr, "value");
  if (!attr.has<std::string>("value")) return 0;
  const std::string& text = isilon::Field<std::string>(attr, "value");
  jsonxx::Cursor cursor(text.data(), text.size());
  jsonxx::Number number = 0;
  return cursor.ReadNumber(number) && cursor.AtEnd() ? number : 0;
}

}  // namespace

bool IsilonJsonPathAttributes::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonPathAttributes::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 3, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  const jsonxx::Array& attrs = shape.Records(reply, "attrs");
  info.clear();
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to parse path attributes from json response.");
    return false;
  }
  if (reply.has<jsonxx::Array>("attrs")) {
    info.strPath = strPath;
    for (unsigned int i = 0; i < attrs.size(); ++i) {
      const jsonxx::Object& attr = attrs.get<jsonxx::Object>(i);
      const std::string name = isilon::Field<std::string>(attr, "name");
      if (name == "name") {
        info.strName = isilon::Field<std::string>(attr, "value");
      } else if (name == "mtime_val") {
        info.nMtime = jsonxx::TruncToU32(NumericValue(attr));
      } else if (name == "owner") {
        info.strOwner = isilon::Field<std::string>(attr, "value");
      } else if (name == "mode") {
        info.strMode = isilon::Field<std::string>(attr, "value");
      } else if (name == "type") {
        info.strType = isilon::Field<std::string>(attr, "value");
      } else if (name == "size") {
        info.nSize = jsonxx::TruncToU64(NumericValue(attr));
      }
    }
    isilon::DebugFileInfo(kFn, info);
  }
  return true;
}

bool IsilonJsonPathAttributes::GetPathAttributes(_IsilonFileInfo& out) {
  out = info;
  return true;
}

bool ManageIsilon::GetPathAttributes(_IsilonFileInfo& info, const string& path) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::GetPathAttributes(_IsilonFileInfo&, const string&)";
  if (!isilon::IsNamespacePath(path)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 3, "Request to get attributes for path [%s].", path.c_str());

  // The open's own error (a refused login, an unreachable cluster) is the reason to report.
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);

  IsilonJsonPathAttributes request;
  request.Initialize(strFileServer, path);
  const RequestStep step{kFn, kGet, "Failed to create json request for path attributes."};
  string response;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to get path attributes on filer[%s]";
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request, [&request](string& uri, string&) { return request.BuildRequest(uri); }, response);
  if (!sent.ok()) return sent.result();
  _IsilonFileInfo parsed;
  if (!request.ParseResponse(response) || !request.GetPathAttributes(parsed)) {
    return Fail(kFn, __LINE__, "Internal error", "Failed to parse json response:[" + response + "]");
  }
  info = parsed;
  Log(kFn, __LINE__, 2, "Successfully retrieved path attributes for path[%s] on file server[%s]", path.c_str(),
      strFileServer.c_str());
  return true;
}
