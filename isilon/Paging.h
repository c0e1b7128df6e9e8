#pragma once
// Following the cluster's "resume" tokens from page to page: the one loop every listing of the
// library uses, and that a host can use for the listings it drives itself (GetFileList,
// GetSnapshotChangeList).
//
//   std::string token;  // empty: from the first page
//   isilon::FollowPages(token, [&](const std::string& from, std::string& next) {
//     std::vector<_IsilonFileInfo> page;
//     next = from;
//     if (!session.GetFileList(page, "/ifs/data", next, 1000)) return isilon::PageStep::kFailed;
//     ... use page ...
//     return isilon::PageStep::kNext;
//   }, isilon::RepeatedTokens::kStop);
#include <functional>
#include <string>
#include <unordered_set>

#include "host/Export.h"

namespace isilon {

// What the reader of one page tells the walk.
enum class PageStep {
  kNext,    // go on with the token the page handed back; the walk ends when it is empty
  kFound,   // the page held what was looked for: stop here
  kFailed,  // the page could not be fetched or read (the reader has said why): stop
};

// What to do when the cluster hands back a token it gave before in the same walk.
enum class RepeatedTokens {
  kStop,   // end the walk: following it would repeat the same pages for ever
  kAllow,  // follow it (the caller bounds the walk some other way)
};

enum class PageWalk {
  kComplete,       // the last page came with an empty token
  kFound,          // the reader stopped at kFound
  kFailed,         // the reader stopped at kFailed
  kRepeatedToken,  // stopped on a repeated token; `token` holds it
};

// Reads the page of `token` (empty: the first page) and stores the token it hands back in
// `next` (empty after the last page).
using PageReader = std::function<PageStep(const std::string& token, std::string& next)>;

// Calls `read` from `token` on until the walk ends; `token` is left at the last token handed
// back, so a failed walk can be resumed from the page that failed.
ISILON_API PageWalk FollowPages(std::string& token, const PageReader& read, RepeatedTokens repeated);

// Remembers the tokens of one walk.
class ResumeTracker {
 public:
  // True when `token` was seen before in this walk.
  bool Repeats(const std::string& token) { return !token.empty() && !seen_.insert(token).second; }

 private:
  std::unordered_set<std::string> seen_;
};

// Last error of a listing stopped for a repeated token.
inline const char* RepeatedResumeCode() { return "Internal Error"; }
inline std::string RepeatedResumeMessage(const std::string& token) {
  return "The file server repeated resume token[" + token + "]; listing stopped.";
}

}  // namespace isilon
