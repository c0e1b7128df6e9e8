// Taking, deleting and listing snapshots of directories.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "host/FXString.h"
#include "isilon/ManageIsilon.h"
#include "isilon/Paging.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/JsonText.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"

using isilon::JsonEscape;
using isilon::OrEmpty;

namespace {
const char kSnapshotsUri[] = ":8080/platform/1/snapshot/snapshots";
// Snapshots per page of a whole listing.
const int kSnapshotPageLimit = 50;
}  // namespace

// ---- Create --------------------------------------------------------------------------------

IsilonJsonSnapshotCreate::IsilonJsonSnapshotCreate() {}

void IsilonJsonSnapshotCreate::Initialize(const std::string& fileServer, const std::string& path,
                                          const std::string& name) {
  strFileServer = fileServer;
  strPath = path;
  strName = name;
}

bool IsilonJsonSnapshotCreate::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + kSnapshotsUri;
  // Escaped, so that a quote in a name or path names exactly that snapshot and cannot add
  // members of its own to the request.
  body = "{";
  body += "\"path\" : \"" + JsonEscape(strPath) + "\",";
  body += "\"name\" : \"" + JsonEscape(strName) + "\"";
  body += "}";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSnapshotCreate::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 body.c_str());
  return true;
}

// ---- Delete --------------------------------------------------------------------------------

IsilonJsonSnapshotDelete::IsilonJsonSnapshotDelete() : nId(0) {}

void IsilonJsonSnapshotDelete::Initialize(const std::string& fileServer, const std::string& path,
                                          const std::string& name, int id) {
  strFileServer = fileServer;
  strPath = path;
  strName = name;
  nId = id;
}

bool IsilonJsonSnapshotDelete::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  if (nId != 0) {
    uri = "https://" + strFileServer + kSnapshotsUri + "/" + std::to_string(nId);
  } else if (!strName.empty()) {
    // Encoded, so that "/", "?" or "#" in a name cannot address another resource.
    uri = "https://" + strFileServer + kSnapshotsUri + "/" + isilon::EncodeUriPiece(strName);
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSnapshotDelete::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

// ---- List ----------------------------------------------------------------------------------

IsilonJsonSnapshotList::IsilonJsonSnapshotList() : nId(0), nLimit(0) {}

void IsilonJsonSnapshotList::Initialize(const std::string& fileServer, const std::string& path, const std::string& name,
                                        const int& id, const std::string& resumeToken, const int& limit) {
  strFileServer = fileServer;
  strPath = path;
  strName = name;
  nId = id;
  resume = resumeToken;
  nLimit = static_cast<uint64_t>(static_cast<int64_t>(limit));
}

bool IsilonJsonSnapshotList::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  const std::string base = "https://" + strFileServer + kSnapshotsUri;
  if (!strName.empty()) {
    uri = base + "/" + isilon::EncodeUriPiece(strName);
  } else if (nId != 0) {
    uri = base + "/" + std::to_string(nId);
  } else if (resume.empty()) {
    uri = base + "?sort=created&limit=" + std::to_string(nLimit);
  } else {
    // The token is the cluster's own opaque text and goes back as received.
    uri = base + "?resume=" + resume;
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSnapshotList::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 OrEmpty(body));
  return true;
}

bool IsilonJsonSnapshotList::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonSnapshotList::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 5, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  isilon::ReplyShape shape;
  vSnaps.clear();
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& list = shape.Records(reply, "snapshots");
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to parse file information from json response.");
    return false;
  }
  resume = std::move(token);
  vSnaps.reserve(list.size());
  for (unsigned int i = 0; i < list.size(); ++i) {
    const jsonxx::Object& entry = list.get<jsonxx::Object>(i);
    _IsilonSnapInfo snap;
    snap.strName = isilon::Field<std::string>(entry, "name");
    snap.nId = jsonxx::TruncToI32(isilon::Field<jsonxx::Number>(entry, "id"));
    snap.strPath = isilon::Field<std::string>(entry, "path");
    snap.strState = isilon::Field<std::string>(entry, "state");
    snap.nSize = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "size"));
    snap.nCreated = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "created"));
    snap.bHasLocks = isilon::Field<bool>(entry, "has_locks");
    debug.DebugLvl(kFn, 5,
                   " \n\t Name\t\t\t:[%s]\n\t Id\t\t\t:[%d]\n\t Path\t\t\t:[%s]\n\t State\t\t\t:[%s]\n\t "
                   "Size\t\t\t:[%lu]\n\t Created\t\t:[%lu]\n\t Expires\t\t:[%lu]\n\t Alias TargetId:[%d]\n\t Alias "
                   "TargetName:[%s]\n\t Has locks\t\t:[%s]",
                   snap.strName.c_str(), snap.nId, snap.strPath.c_str(), snap.strState.c_str(),
                   static_cast<unsigned long>(snap.nSize), static_cast<unsigned long>(snap.nCreated),
                   static_cast<unsigned long>(snap.nExpires), snap.nAliasTargetId, snap.strAliasTargetName.c_str(),
                   snap.bHasLocks ? "true" : "false");
    vSnaps.push_back(std::move(snap));
  }
  debug.DebugLvl(kFn, 2, "Succesfully returned [%d] items.", static_cast<int>(vSnaps.size()));
  return true;
}

bool IsilonJsonSnapshotList::GetSnapsInfo(std::vector<_IsilonSnapInfo>& out) {
  out = vSnaps;
  return true;
}

void IsilonJsonSnapshotList::GetResume(std::string& out) { out = resume; }

// ---- Operations ----------------------------------------------------------------------------

namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The id of a snapshot in the cluster's create reply, or 0 when it has none that fits.
int NewSnapshotId(const std::string& response) {
  jsonxx::Object reply;
  // A reply that is not whole names no snapshot.
  if (!isilon::ReadReply(response, reply) || !reply.has<jsonxx::Number>("id")) return 0;
  const uint64_t id = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(reply, "id"));
  return id <= static_cast<uint64_t>(INT32_MAX) ? static_cast<int>(id) : 0;
}

}  // namespace

bool ManageIsilon::CreateSnapshot(const string& path, const string& name, int& id) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::CreateSnapshot(const string&, const string&, int&)";
  id = 0;
  if (path.empty() || name.empty() || isilon::AnyHasNul(path, name)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 3, "Request to create snapshot[%s] on path[%s].", name.c_str(), path.c_str());

  IsilonJsonSnapshotCreate request;
  RequestStep step{kFn, kPost, "Failed to create json request to create snapshot."};
  // A create sent again would fail on the name the first one took: the snapshot is looked up
  // by name instead, and is the one asked for when it covers the same path.
  const isilon::SettleByRead readBack = [&](string& record) {
    IsilonJsonSnapshotList read;
    read.Initialize(strFileServer, "", name, 0, "", 1);
    const RequestStep readStep{kFn, kGet, "Failed to create json request for snapshot list.",
                               isilon::FailureLine::kSkip};
    string reply;
    const RequestOutcome found = RunRequest(
        readStep, read, [&read](string& uri, string& body) { return read.BuildRequest(uri, body); }, reply);
    if (found.fate == isilon::RequestFate::kErrorStatus && strLastErrorCode == "AEC_NOT_FOUND") {
      return isilon::Settled::kNotDone;
    }
    vector<_IsilonSnapInfo> snaps;
    if (!found.Succeeded() || !read.ParseResponse(reply) || !read.GetSnapsInfo(snaps)) return isilon::Settled::kUnknown;
    for (const _IsilonSnapInfo& snap : snaps) {
      if (snap.strName != name) continue;
      // The name taken by a snapshot of another path: not this change's doing.
      if (WithoutTrailingSlash(snap.strPath) != WithoutTrailingSlash(path)) return isilon::Settled::kUnknown;
      record = "{\"id\":" + std::to_string(snap.nId) + "}";
      return isilon::Settled::kDone;
    }
    return isilon::Settled::kNotDone;
  };
  step.whenCutOff = isilon::WhenCutOff::kSettleByRead;
  step.settleByRead = &readBack;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to create snapshot on filer[%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, path, name);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  request.IsilonJsonBase::ParseResponse(response);
  id = NewSnapshotId(response);
  Log(kFn, __LINE__, 0, "Successfully created snapshot[%s] on path[%s].", name.c_str(), path.c_str());
  return true;
}

bool ManageIsilon::DeleteSnapshot(const string& path, const string& name, const int& id) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::DeleteSnapshot(const string&, const string&, const int&)";
  if (path.empty() && (name.empty() || id == 0)) {
    return FailInput(kFn, __LINE__);
  }
  // The name is one segment of the URI when no id is given.
  if ((id == 0 && !isilon::IsSingleSegment(name)) || isilon::AnyHasNul(path, name)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 3, "Request to delete snapshot[%s], id[%d] on path[%s].", name.c_str(), id, path.c_str());

  IsilonJsonSnapshotDelete request;
  isilon::OperationPolicy policy;
  policy.refusedText =
      FXString::Format("Failed to delete snapshot[%s], id[%d] on filer[%s]", OrEmpty(name), id, strFileServer.c_str());
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, isilon::Operation::DeleteStep(kFn, "Failed to create json request to delete snapshot."), policy, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, path, name, id);
        return request.BuildRequest(uri, body);
      },
      response);
  if (!sent.ok()) return sent.result();
  Log(kFn, __LINE__, 0, "Successfully deleted snapshot[%s] on path[%s].", name.c_str(), path.c_str());
  return true;
}

bool ManageIsilon::GetSnapshotList(vector<_IsilonSnapInfo>& snaps, const string& path, const string& name) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetSnapshotList(std::vector<_IsilonSnapInfo>&, const string&, const string&)";
  Log(kFn, __LINE__, 2, "Request to get snapshot list for path[%s] on file server[%s]", path.c_str(),
      strFileServer.c_str());
  if (!isilon::IsSingleSegment(name) || isilon::HasNul(path)) return FailInput(kFn, __LINE__);
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);

  snaps.clear();
  IsilonJsonSnapshotList request;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to list snaps on filer[%s]";
  vector<_IsilonSnapInfo> page;
  const bool listed = isilon::Operation::ReadPages(
      *this, RequestStep{kFn, kGet, "Failed to create json request for snapshot list."}, policy, request,
      [&](const string& token) { request.Initialize(strFileServer, path, name, 0, token, kSnapshotPageLimit); },
      [&](IsilonJsonSnapshotList& read, isilon::PageStep&) {
        if (!read.GetSnapsInfo(page)) return false;
        for (_IsilonSnapInfo& snap : page) {
          if (path.empty() || snap.strPath == path) snaps.push_back(std::move(snap));
        }
        return true;
      });
  if (!listed) {
    // A page that fails fails the list: the pages before it are not handed out as the whole.
    snaps.clear();
    return false;
  }
  if (snaps.empty()) {
    Log(kFn, __LINE__, -1, "No snaps present under Path[%s], File server[%s].", path.c_str(), strFileServer.c_str());
  }
  Log(kFn, __LINE__, 2, "Successfully retrieved snap list for path[%s] on file server[%s]", path.c_str(),
      strFileServer.c_str());
  return true;
}
