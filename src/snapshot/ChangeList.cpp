// Reading the change list between two snapshots, one page per call.
#include <string>

#include "host/DebugLog.h"
#include "host/ZemError.h"
#include "isilon/ManageIsilon.h"
#include "json/Cursor.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"

using isilon::OrEmpty;

IsilonJsonGetChangeList::IsilonJsonGetChangeList() : nOlderSnapId(~0ULL), nNewerSnapId(~0ULL) {}

void IsilonJsonGetChangeList::Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                                         const unsigned long long& newerSnapId) {
  strFileServer = fileServer;
  nOlderSnapId = olderSnapId;
  nNewerSnapId = newerSnapId;
}

bool IsilonJsonGetChangeList::BuildRequest(std::string& resume, std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/platform/3/snapshot/changelists/" + std::to_string(nOlderSnapId) + "_" +
        std::to_string(nNewerSnapId) + "/lins";
  // The token is the cluster's own opaque text and goes back as received.
  if (!resume.empty()) uri += "?resume=" + resume;
  EvDebug debug(nullptr);
  debug.DebugLvl("BuildRequest", 3, "URI : [%s]", uri.c_str());
  return true;
}

namespace {

using jsonxx::Cursor;

unsigned long long Seconds(const jsonxx::Object& time) {
  return jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(time, "sec"));
}

// A time object ({"sec": N, "nsec": N}) read in place: its "sec", once.
bool ReadSeconds(Cursor& c, unsigned long long& out) {
  const char* key;
  size_t length;
  bool seen = false;
  if (!c.EnterObject()) return false;
  while (c.NextMember(key, length)) {
    if (Cursor::Is(key, length, "sec")) {
      uint64_t seconds = 0;
      if (seen || !c.ReadU64(seconds)) return false;
      out = seconds;
      seen = true;
    } else if (!c.Skip()) {
      return false;
    }
  }
  return c.ok() && seen;
}

// One entry read in place; false when it is not in the plain form with each field once.
bool ReadItem(Cursor& c, _IsilonChangeListItem& item) {
  enum { kId = 1, kPath = 2, kSize = 4, kType = 8, kAtime = 16, kCtime = 32, kMtime = 64, kAll = 127 };
  unsigned seen = 0;
  const char* key;
  size_t length;
  if (!c.EnterObject()) return false;
  while (c.NextMember(key, length)) {
    unsigned field = 0;
    bool read;
    if (Cursor::Is(key, length, "id")) {
      field = kId;
      read = c.ReadString(item.strId);
    } else if (Cursor::Is(key, length, "path")) {
      field = kPath;
      read = c.ReadString(item.strPath);
    } else if (Cursor::Is(key, length, "size")) {
      field = kSize;
      uint64_t size = 0;
      read = c.ReadU64(size);
      item.nSize = size;
    } else if (Cursor::Is(key, length, "type")) {
      field = kType;
      read = c.ReadString(item.strType);
    } else if (Cursor::Is(key, length, "atime")) {
      field = kAtime;
      read = ReadSeconds(c, item.nAtime);
    } else if (Cursor::Is(key, length, "ctime")) {
      field = kCtime;
      read = ReadSeconds(c, item.nCtime);
    } else if (Cursor::Is(key, length, "mtime")) {
      field = kMtime;
      read = ReadSeconds(c, item.nMtime);
    } else {
      read = c.Skip();
    }
    if (!read || (seen & field) != 0) return false;
    seen |= field;
  }
  return c.ok() && seen == kAll;
}

// The whole page read in place, straight into the records (the common case); false when the
// reply is not in the plain form, and then the general reader decides what it holds. Records
// are taken from `spare` (the caller's last page) before new ones are allocated, so a walk
// allocates nothing once its strings have grown.
bool ReadPage(const std::string& text, _IsilonChangeListInfo& page, std::list<_IsilonChangeListItem>& spare) {
  Cursor c(text.data(), text.size());
  const char* key;
  size_t length;
  bool lins = false, token = false, total = false;
  if (!c.EnterObject()) return false;
  while (c.NextMember(key, length)) {
    if (Cursor::Is(key, length, "lins")) {
      if (lins || !c.EnterArray()) return false;
      lins = true;
      while (c.NextElement()) {
        if (spare.empty()) {
          page.lstItems.emplace_back();
        } else {
          page.lstItems.splice(page.lstItems.end(), spare, spare.begin());
        }
        if (!ReadItem(c, page.lstItems.back())) return false;
      }
    } else if (Cursor::Is(key, length, "resume")) {
      if (token) return false;
      token = true;
      if (!c.ReadToken(page.strResume)) return false;
    } else if (Cursor::Is(key, length, "total")) {
      jsonxx::Number number = 0;
      if (total || !c.ReadNumber(number)) return false;
      page.nTotal = jsonxx::TruncToI32(number);
      total = true;
    } else if (!c.Skip()) {
      return false;
    }
  }
  return c.ok() && lins && total && c.AtEnd();
}

// A change-list reply into `out`, reusing the records of `spare`; false, with `out` as it was
// but for its records (gone), when the reply is not one whole JSON object of a page's shape.
bool ReadChangeList(const std::string& response, _IsilonChangeListInfo& out, std::list<_IsilonChangeListItem>& spare) {
  static const char kFailed[] = "Failed to parse change list information from json response.";
  EvDebug debug(nullptr);
  debug.DebugLvl("ParseResponse", 2, "Json response :[%s]", OrEmpty(response));
  _IsilonChangeListInfo page;
  if (ReadPage(response, page, spare)) {
    out.strResume.swap(page.strResume);
    out.nTotal = page.nTotal;
    out.lstItems.swap(page.lstItems);
    return true;
  }
  jsonxx::Object reply;
  if (!isilon::ReadReply(response, reply)) {
    debug.DebugLvl("ParseResponse", -1, kFailed);
    return false;
  }
  isilon::ReplyShape shape;
  std::string token = shape.Token(reply, "resume");
  jsonxx::Array& list = shape.Records(reply, "lins");
  std::list<_IsilonChangeListItem> items;
  // The strings are taken out of the parsed reply, not copied: it goes right after.
  for (unsigned int i = 0; i < list.size() && shape.ok(); ++i) {
    jsonxx::Object& entry = list.get<jsonxx::Object>(i);
    items.emplace_back();
    _IsilonChangeListItem& item = items.back();
    item.strId = std::move(isilon::Field<std::string>(entry, "id"));
    item.strPath = std::move(isilon::Field<std::string>(entry, "path"));
    item.nSize = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(entry, "size"));
    item.strType = std::move(isilon::Field<std::string>(entry, "type"));
    item.nAtime = Seconds(shape.Record(entry, "atime"));
    item.nCtime = Seconds(shape.Record(entry, "ctime"));
    item.nMtime = Seconds(shape.Record(entry, "mtime"));
  }
  if (!shape.ok()) {
    debug.DebugLvl("ParseResponse", -1, kFailed);
    return false;
  }
  out.strResume = std::move(token);
  out.nTotal = jsonxx::TruncToI32(isilon::Field<jsonxx::Number>(reply, "total"));
  out.lstItems.swap(items);
  return true;
}

}  // namespace

bool IsilonJsonGetChangeList::ParseResponse(std::string& response) {
  std::list<_IsilonChangeListItem> spare;
  spare.swap(info.lstItems);
  return ReadChangeList(response, info, spare);
}

void IsilonJsonGetChangeList::GetChangeList(_IsilonChangeListInfo& out) {
  out.strResume = info.strResume;
  out.nTotal = info.nTotal;
  out.lstItems.clear();
  out.lstItems.swap(info.lstItems);
}

CZemError ManageIsilon::GetSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId,
                                              _IsilonChangeListInfo& info) {
  ClearLastError();
  static const char kFn[] =
      "CZemError ManageIsilon::GetSnapshotChangeList(unsigned long long&, unsigned long long&, "
      "_IsilonChangeListInfo&)";
  const auto here = [](int line) { return FXCodeLocation("ManageIsilon.cpp", kFn, line); };
  // The token goes back into the query as it is: one with a NUL, a blank, "#" or "&" would
  // end it early or add to it.
  if (!isilon::IsQueryToken(info.strResume)) {
    FailInput(kFn, __LINE__);
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1,
                                   "Unable to send request to get change list between snapshots [%llu] and [%llu]. "
                                   "Error Code [%s], Error Message [%s]",
                                   olderSnapId, newerSnapId, strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1, "Unable to open connection to the file server [%s]",
                                   strFileServer.c_str());
  }
  IsilonJsonGetChangeList request;
  const RequestStep step{kFn, kGet, "Failed to create json request to get a change list.", isilon::FailureLine::kSkip};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string& body) {
        body.clear();
        request.Initialize(strFileServer, olderSnapId, newerSnapId);
        return request.BuildRequest(info.strResume, uri);
      },
      response);
  if (!outcome.Succeeded()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1,
                                   "Unable to send request to get change list between snapshots [%llu] and [%llu]. "
                                   "Error Code [%s], Error Message [%s]",
                                   olderSnapId, newerSnapId, strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  // The page goes straight into the caller's record: a walk reuses the last page's items.
  std::list<_IsilonChangeListItem> spare;
  spare.swap(info.lstItems);
  if (!ReadChangeList(response, info, spare)) {
    strLastErrorCode = "Internal Error";
    strLastErrorMessage = "Failed to parse json response:[" + response + "]";
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1,
                                   "Unable to parse change list response for change list between snapshots [%llu] "
                                   "and [%llu]. Error Code [%s], Error Message [%s]",
                                   olderSnapId, newerSnapId, strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  Log(kFn, __LINE__, 7, "Successfully got snapshot change list between snapshots [%llu] and [%llu].", olderSnapId,
      newerSnapId);
  return CZemError();
}
