#pragma once
// Paging the way the cluster does it: the first request may name a page size (?limit=N) and
// a query (?zone=..., ?sort=...); the reply carries "resume", an opaque token that holds the
// next offset, the page size and the rest of that query, so that a follow-up request carries
// only ?resume=TOKEN. The last page's "resume" is null.
//
//   static const isim::Pager pager("smb/shares", 1000);
//   isim::PageCursor cursor;
//   isim::Response error;
//   if (!pager.begin(request, cursor, error)) return error;
//   std::vector<Share> all = snapshotOfShares(cursor.param("zone"));
//   isim::Page page = pager.page(all.size(), cursor, request);
//   for (const Share& s : page.slice(all)) ...
//   reply["resume"] = page.resumeJson();
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Http.h"

namespace isim {

struct PageCursor {
  size_t offset = 0;
  size_t limit = 0;  // 0: everything from the offset on
  // The first request's query without "limit" and "resume"; on a follow-up it comes from the
  // token, with any parameters sent next to the token added (they win).
  std::vector<std::pair<std::string, std::string>> query;
  bool resumed = false;  // the request carried a token

  bool hasParam(const std::string& name) const;
  std::string param(const std::string& name, const std::string& fallback = std::string()) const;
};

struct Page {
  size_t begin = 0;  // items [begin, end) of the collection
  size_t end = 0;
  size_t total = 0;
  std::string resume;  // empty on the last page

  nlohmann::json resumeJson() const { return resume.empty() ? nlohmann::json(nullptr) : nlohmann::json(resume); }
  template <class T>
  std::vector<T> slice(const std::vector<T>& items) const {
    size_t e = end < items.size() ? end : items.size();
    size_t b = begin < e ? begin : e;
    return std::vector<T>(items.begin() + static_cast<std::ptrdiff_t>(b),
                          items.begin() + static_cast<std::ptrdiff_t>(e));
  }
};

class Pager {
 public:
  // `scope` ties tokens to one collection: a token from another scope is refused.
  // `defaultLimit` applies when no limit is sent (0: no paging unless asked for).
  explicit Pager(std::string scope, size_t defaultLimit = 1000, size_t maxLimit = 4294967295u);

  // Reads ?limit and ?resume. False, with a 400 error reply in `error`, for a limit that is not
  // a whole number from 1 to the maximum or a token that is not one of this scope's.
  bool begin(const Request& request, PageCursor& cursor, Response& error) const;
  // The page at the cursor of a collection of `total` items. Its token names the next page,
  // or, when a "repeat-resume" fault is armed for the request, the same page again.
  Page page(size_t total, const PageCursor& cursor, const Request& request) const;

  std::string encode(const PageCursor& cursor) const;
  bool decode(const std::string& token, PageCursor& cursor) const;

 private:
  std::string scope_;
  size_t defaultLimit_;
  size_t maxLimit_;
};

// URL-safe base64 without padding (the alphabet A-Z a-z 0-9 - _), so tokens need no encoding.
std::string base64UrlEncode(const std::string& data);
bool base64UrlDecode(const std::string& text, std::string& out);

}  // namespace isim
