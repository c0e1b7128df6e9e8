// The page walk every listing shares.
#include "isilon/Paging.h"

namespace isilon {

PageWalk FollowPages(std::string& token, const PageReader& read, RepeatedTokens repeated) {
  ResumeTracker seen;
  seen.Repeats(token);  // a walk resumed from a token must not come back to it either
  for (;;) {
    std::string next;
    const PageStep step = read(token, next);
    if (step == PageStep::kFailed) return PageWalk::kFailed;
    token = next;
    if (step == PageStep::kFound) return PageWalk::kFound;
    if (token.empty()) return PageWalk::kComplete;
    if (repeated == RepeatedTokens::kStop && seen.Repeats(token)) return PageWalk::kRepeatedToken;
  }
}

}  // namespace isilon
