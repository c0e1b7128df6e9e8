// One page of a directory listing.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "host/LogWriter.h"
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
  uri = "https://" + strFileServer + ":8080/namespace" + isilon::EncodeUriPiece(strPath) +
        "/?detail=name,owner,mode,type,size,mtime_val&sort=name&limit=" + std::to_string(nLimit);
  // The token is the cluster's own opaque text and goes back as received.
  if (!resume.empty()) uri += "&resume=" + resume;
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonFileList::BuildRequest", 2, "URI : [%s]", uri.c_str());
  return true;
}

namespace {

using jsonxx::Cursor;

// `dir`, "/" and `name` into a record's path. A record taken over from the caller's last page
// keeps its strings' storage, and mostly holds a path of the same length: written over in place.
void SetPath(std::string& path, const std::string& dir, const std::string& name) {
  const size_t n = dir.size() + 1 + name.size();
  if (n != path.size()) path.resize(n);
  char* const out = &path[0];
  std::memcpy(out, dir.data(), dir.size());
  out[dir.size()] = '/';
  std::memcpy(out + dir.size() + 1, name.data(), name.size());
}

// One entry read in place; false when it is not in the plain form with each field once.
bool ReadEntry(Cursor& c, const std::string& dir, _IsilonFileInfo& info) {
  enum { kName = 1, kMtime = 2, kOwner = 4, kMode = 8, kType = 16, kSize = 32, kAll = 63 };
  unsigned seen = 0;
  const char* key;
  size_t length;
  uint64_t number = 0;
  if (!c.EnterObject()) return false;
  while (c.NextMember(key, length)) {
    unsigned field = 0;
    bool read;
    if (Cursor::Is(key, length, "name")) {
      field = kName;
      read = c.ReadString(info.strName);
    } else if (Cursor::Is(key, length, "mtime_val")) {
      field = kMtime;
      read = c.ReadU64(number);
      info.nMtime = static_cast<uint32_t>(number);
    } else if (Cursor::Is(key, length, "owner")) {
      field = kOwner;
      read = c.ReadString(info.strOwner);
    } else if (Cursor::Is(key, length, "mode")) {
      field = kMode;
      read = c.ReadString(info.strMode);
    } else if (Cursor::Is(key, length, "type")) {
      field = kType;
      read = c.ReadString(info.strType);
    } else if (Cursor::Is(key, length, "size")) {
      field = kSize;
      read = c.ReadU64(number);
      info.nSize = number;
    } else {
      read = c.Skip();
    }
    if (!read || (seen & field) != 0) return false;
    seen |= field;
  }
  if (!c.ok() || seen != kAll) return false;
  SetPath(info.strPath, dir, info.strName);
  return true;
}

// The whole page read in place, straight into the records (the common case); false when the
// reply is not in the plain form, and then the general reader decides what it holds. The
// records already in `files` are written over, so a walk that passes the same vector page
// after page allocates nothing once its strings have grown.
bool ReadPage(const std::string& text, const std::string& dir, std::vector<_IsilonFileInfo>& files,
              std::string& resume) {
  Cursor c(text.data(), text.size());
  const char* key;
  size_t length;
  bool children = false, token = false;
  if (!c.EnterObject()) return false;
  while (c.NextMember(key, length)) {
    if (Cursor::Is(key, length, "children")) {
      if (children || !c.EnterArray()) return false;
      children = true;
      size_t count = 0;
      while (c.NextElement()) {
        if (count == files.size()) files.emplace_back();
        if (!ReadEntry(c, dir, files[count++])) return false;
      }
      files.resize(count);
    } else if (Cursor::Is(key, length, "resume")) {
      if (token) return false;
      token = true;
      if (!c.ReadToken(resume)) return false;
    } else if (!c.Skip()) {
      return false;
    }
  }
  return c.ok() && children && c.AtEnd();
}

}  // namespace

namespace {

const char kParseFn[] = "IsilonJsonFileList::ParseResponse";

// A reply not in the plain form, read by the general reader (rare): out of the page reader's
// way, so that its code does not share the instruction cache with every page's.
__attribute__((noinline, cold)) bool ReadListingInGeneral(const std::string& response, const std::string& dir,
                                                          std::vector<_IsilonFileInfo>& files, std::string& resume) {
  EvDebug debug(nullptr);
  files.clear();
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  if (!isilon::ReadReply(response, reply)) {
    debug.DebugLvl(kParseFn, -1, "Failed to parse file information from json response.");
    return false;
  }
  std::string token = shape.Token(reply, "resume");
  jsonxx::Array& list = shape.Records(reply, "children");
  if (!shape.ok()) {
    debug.DebugLvl(kParseFn, -1, "Failed to parse file information from json response.");
    return false;
  }
  files.resize(list.size());
  // Each entry's strings are taken out of the parsed reply, not copied: it goes right after.
  for (unsigned int i = 0; i < list.size(); ++i) {
    jsonxx::Object& entry = list.get<jsonxx::Object>(i);
    _IsilonFileInfo& info = files[i];
    info.strName = std::move(isilon::Field<std::string>(entry, "name"));
    info.strPath.reserve(dir.size() + 1 + info.strName.size());
    info.strPath.append(dir).append(1, '/').append(info.strName);
    info.nMtime = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "mtime_val"));
    info.strOwner = std::move(isilon::Field<std::string>(entry, "owner"));
    info.strMode = std::move(isilon::Field<std::string>(entry, "mode"));
    info.strType = std::move(isilon::Field<std::string>(entry, "type"));
    info.nSize = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(entry, "size"));
  }
  resume = std::move(token);
  return true;
}

__attribute__((noinline, cold)) void LogListing(const std::vector<_IsilonFileInfo>& files) {
  for (const _IsilonFileInfo& info : files) isilon::DebugFileInfo(kParseFn, info);
}

// A listing reply into `files` (written over, see ReadPage) and the next resume token;
// false, with `files` empty and `resume` untouched, when the reply is not one whole JSON
// object of a listing's shape.
bool ReadListing(const std::string& response, const std::string& dir, uint64_t limit,
                 std::vector<_IsilonFileInfo>& files, std::string& resume) {
  EvDebug debug(nullptr);
  debug.DebugLvl(kParseFn, 3, "Json response :[%s]", OrEmpty(response));

  // An entry takes at least 64 bytes of the reply: room for the page without regrowing.
  files.reserve(std::min<size_t>(limit, response.size() / 64 + 1));
  std::string token;
  if (ReadPage(response, dir, files, token)) {
    resume = std::move(token);
  } else if (!ReadListingInGeneral(response, dir, files, resume)) {
    return false;
  }
  if (g_ptrLogWriter && g_ptrLogWriter->level() >= 3) LogListing(files);
  return true;
}

}  // namespace

bool IsilonJsonFileList::ParseResponse(std::string& response) {
  vFiles.clear();
  return ReadListing(response, strPath, nLimit, vFiles, resume);
}

// The page moves out: a request object is read once and then handed over.
bool IsilonJsonFileList::GetFilesInfo(std::vector<_IsilonFileInfo>& out) {
  out = std::move(vFiles);
  vFiles.clear();
  return true;
}

void IsilonJsonFileList::GetResume(std::string& out) { out = resume; }

bool ManageIsilon::GetFileList(vector<_IsilonFileInfo>& files, const string& path, string& resume, int limit) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetFileList(std::vector<_IsilonFileInfo>&, const string&, std::string&, int)";
  // A page size the cluster cannot take is refused before anything is sent.
  if (!isilon::IsNamespacePath(path) || !isilon::IsQueryToken(resume) || limit <= 0 || limit > kMaxPageLimit) {
    files.clear();
    return FailInput(kFn, __LINE__);
  }
  Log(kFn, __LINE__, 3, "Request to get file list for path [%s].", path.c_str());

  IsilonJsonFileList request;
  const RequestStep step{kFn, kGet, "Failed to create json request for file list."};
  isilon::OperationPolicy policy;
  policy.refused = "Failed to get file list from file server[%s]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request,
      [&](string& uri, string&) {
        request.Initialize(strFileServer, path, limit, resume);
        return request.BuildRequest(uri);
      },
      response);
  if (!sent.ok()) {
    files.clear();
    return false;
  }
  // The page goes straight into the caller's vector: a walk reuses its records.
  string next;
  if (!ReadListing(response, path, static_cast<uint64_t>(limit), files, next)) {
    return isilon::Operation::Unreadable(*this, kFn, response);
  }
  resume = std::move(next);
  if (files.empty()) {
    Log(kFn, __LINE__, -1, "No files/directories present under Path[%s], File server[%s].", path.c_str(),
        strFileServer.c_str());
  }
  Log(kFn, __LINE__, 2, "Successfully retrieved file list for path[%s] on file server[%s]", path.c_str(),
      strFileServer.c_str());
  return true;
}
