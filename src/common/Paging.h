#pragma once
// Guards the listings that follow the cluster's "resume" tokens to the end.
#include <string>
#include <unordered_set>

namespace isilon {

// A server that hands back a token it gave before would keep a listing looping for ever.
class ResumeTracker {
 public:
  // True when `token` was seen before in this listing (the listing must stop).
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
