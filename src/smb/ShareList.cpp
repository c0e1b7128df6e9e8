// Listing SMB shares page by page, and finding the path behind a share name.
#include <cinttypes>
#include <cstdio>
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

// A single share declares no limit (only the share list does): a cluster that refuses it gets
// the share without one, which is the same reply.
const std::vector<std::string> kSingleShareUndeclared{"limit"};

const char kListFn[] =
    "bool ManageIsilon::GetCIFSSharesList(std::vector<_IsilonShareInfo>&, const string&, const string&, const string&)";
const char kPathFn[] =
    "bool ManageIsilon::GetFSPathForShare(const string&, std::string&, IsilonShareInfo&, const string&)";

// The cluster takes a page size of at most nine decimal digits.
const uint64_t kMaxPageLimit = 999999999;

// "name" and "type" of a user are optional; "id" is always there.
_IsilonSMBUser ReadUser(const jsonxx::Object& entry) {
  _IsilonSMBUser user;
  user.strId = isilon::Field<std::string>(entry, "id");
  if (entry.has<std::string>("name")) user.strName = isilon::Field<std::string>(entry, "name");
  if (entry.has<std::string>("type")) user.strType = isilon::Field<std::string>(entry, "type");
  return user;
}

}  // namespace

IsilonJsonCIFSShareList::IsilonJsonCIFSShareList() : nLimit(0) {}

void IsilonJsonCIFSShareList::Initialize(const std::string& fileServer, const std::string& shareName,
                                         const std::string& zone, const std::string& resumeToken, const int& limit) {
  strFileServer = fileServer;
  strShareName = shareName;
  strZone = zone;
  resume = resumeToken;
  nLimit = static_cast<uint64_t>(static_cast<int64_t>(limit));
}

bool IsilonJsonCIFSShareList::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  // A negative limit would turn into a twenty-digit number that the cluster refuses.
  if (nLimit > kMaxPageLimit) return false;
  char limitText[16];
  std::snprintf(limitText, sizeof limitText, "%" PRIu64, nLimit);

  uri = "https://" + strFileServer + ":8080/platform/1/protocols/smb/shares";
  if (!strShareName.empty()) uri += "/" + isilon::EncodeUriPiece(strShareName);
  if (!resume.empty()) {
    // The token is the cluster's own opaque text and carries the rest of the query.
    uri += "?resume=" + resume;
  } else {
    uri += "?limit=";
    uri += limitText;
    if (!strZone.empty()) uri += "&zone=" + isilon::EncodeUriPiece(strZone);
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonCIFSShareList::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

bool IsilonJsonCIFSShareList::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonCIFSShareList::ParseResponse";
  vShares.clear();
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 5, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& shares = shape.Records(reply, "shares");
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to fetch CIFS share information from json response.");
    return false;
  }
  vShares.reserve(shares.size());
  for (unsigned int i = 0; i < shares.size(); ++i) {
    const jsonxx::Object& entry = shares.get<jsonxx::Object>(i);
    _IsilonShareInfo info;
    info.strPath = isilon::Field<std::string>(entry, "path");
    info.strName = isilon::Field<std::string>(entry, "name");
    info.strDescription = isilon::Field<std::string>(entry, "description");
    info.nZoneId = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(entry, "zid"));
    info.strZone = strZone;

    const jsonxx::Array& permissions = shape.Records(entry, "permissions");
    for (unsigned int k = 0; k < permissions.size(); ++k) {
      const jsonxx::Object& item = permissions.get<jsonxx::Object>(k);
      _IsilonSMBPermissions permission;
      permission.strPermission = isilon::Field<std::string>(item, "permission");
      permission.strPermissionType = isilon::Field<std::string>(item, "permission_type");
      permission.trustee = ReadUser(shape.Record(item, "trustee"));
      info.ACLs.vPermissions.push_back(std::move(permission));
    }
    const jsonxx::Array& runAsRoot = shape.Records(entry, "run_as_root");
    for (unsigned int k = 0; k < runAsRoot.size(); ++k) {
      info.ACLs.vRunAsRoot.push_back(ReadUser(runAsRoot.get<jsonxx::Object>(k)));
    }

    debug.DebugLvl(kFn, 5, "Name            :[%s]", info.strName.c_str());
    debug.DebugLvl(kFn, 5, "Path            :[%s]", info.strPath.c_str());
    debug.DebugLvl(kFn, 5, "Description     :[%s]", info.strDescription.c_str());
    debug.DebugLvl(kFn, 5, "ZoneId          :[%lu]", static_cast<unsigned long>(info.nZoneId));
    vShares.push_back(std::move(info));
  }
  if (!shape.ok()) {
    vShares.clear();
    debug.DebugLvl(kFn, -1, "Failed to fetch CIFS share information from json response.");
    return false;
  }
  resume = std::move(token);
  return true;
}

bool IsilonJsonCIFSShareList::GetSharesInfo(std::vector<_IsilonShareInfo>& shares) {
  shares = vShares;
  return true;
}

void IsilonJsonCIFSShareList::GetResume(std::string& out) { out = resume; }

bool ManageIsilon::GetCIFSSharesList(vector<_IsilonShareInfo>& shares, const string& shareName, const string& path,
                                     const string& zone) {
  ClearLastError();
  shares.clear();
  Log(kListFn, __LINE__, 3, "Request to get cifs shares information. Share name[%s], Path[%s]", OrEmpty(shareName),
      OrEmpty(path));
  if (!isilon::IsSingleSegment(shareName) || isilon::AnyHasNul(path, zone)) return FailInput(kListFn, __LINE__);
  if (!OpenConnection()) return LogFailure(kListFn, __LINE__);

  IsilonJsonCIFSShareList request;
  RequestStep step{kListFn, kGet, "Failed to create json request to query cifs shares."};
  step.undeclaredArgs = &kSingleShareUndeclared;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to list cifs share on filer[%s]";
  vector<_IsilonShareInfo> page;
  const bool listed = isilon::Operation::ReadPages(
      *this, step, policy, request,
      [&](const string& token) { request.Initialize(strFileServer, shareName, zone, token, 50); },
      [&](IsilonJsonCIFSShareList& read, isilon::PageStep&) {
        // A share asked for by path that the page does not hold reads as a reply not understood.
        if (!read.GetSharesInfo(page) || (!path.empty() && page.empty())) return false;
        for (_IsilonShareInfo& share : page) {
          if (!path.empty() && share.strPath != path) continue;
          if (!path.empty()) {
            Log(kListFn, __LINE__, 3, "CIFS share [%s], path [%s]", share.strName.c_str(), share.strPath.c_str());
          }
          shares.push_back(std::move(share));
        }
        return true;
      });
  if (!listed) {
    // A page that fails fails the list: the pages before it are not handed out as the whole.
    shares.clear();
    return false;
  }

  if (shares.empty()) Log(kListFn, __LINE__, -1, "No CIFS shares returned by File server[%s].", strFileServer.c_str());
  return true;
}

bool ManageIsilon::GetFSPathForShare(const string& shareName, string& path, _IsilonShareInfo& info,
                                     const string& zone) {
  ClearLastError();
  if (shareName.empty() || !isilon::IsSingleSegment(shareName) || isilon::HasNul(zone)) {
    return FailInput(kPathFn, __LINE__);
  }
  Log(kPathFn, __LINE__, 3, "Request to get path info for share [%s].", shareName.c_str());

  IsilonJsonCIFSShareList request;
  RequestStep step{kPathFn, kGet, "Failed to create json request for cifs share list."};
  step.undeclaredArgs = &kSingleShareUndeclared;
  string response;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to list cifs share on filer[%s]";
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, shareName, zone, "", 50);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  vector<_IsilonShareInfo> found;
  if (!request.ParseResponse(response) || !request.GetSharesInfo(found) || found.empty()) {
    return isilon::Operation::Unreadable(*this, kPathFn, response);
  }
  path = found.front().strPath;
  info = found.front();
  Log(kPathFn, __LINE__, 0, "Share[%s] corresponds to path[%s] on file server[%s]", shareName.c_str(), path.c_str(),
      strFileServer.c_str());
  return true;
}
