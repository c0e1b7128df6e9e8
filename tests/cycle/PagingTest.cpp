// The one page walk every listing shares, as a host drives it: where it stops, how many pages
// it reads, and the token it leaves for a walk resumed later.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/Paging.h"

namespace {

using isilon::PageStep;
using isilon::PageWalk;
using isilon::RepeatedTokens;

struct Case {
  const char* name;
  std::string start;                // the token the walk resumes from
  std::vector<std::string> handed;  // the token each page hands back, in turn
  RepeatedTokens repeated;
  int stopAt;  // the page (from 1) that answers `stopWith`, or 0
  PageStep stopWith;
  PageWalk walk;
  std::vector<std::string> asked;  // the token each page was asked with
  std::string left;                // the token the walk leaves
};

TEST(FollowPages, StopsAtTheLastPageAtARepeatedTokenAndWhereTheReaderSays) {
  const RepeatedTokens stop = RepeatedTokens::kStop, allow = RepeatedTokens::kAllow;
  const PageStep next = PageStep::kNext;
  const Case cases[] = {
      {"one page", "", {""}, stop, 0, next, PageWalk::kComplete, {""}, ""},
      {"three pages", "", {"a", "b", ""}, stop, 0, next, PageWalk::kComplete, {"", "a", "b"}, ""},
      {"the next token again", "", {"a", "a"}, stop, 0, next, PageWalk::kRepeatedToken, {"", "a"}, "a"},
      {"an earlier token again", "", {"a", "b", "a"}, stop, 0, next, PageWalk::kRepeatedToken, {"", "a", "b"}, "a"},
      {"repeats followed", "", {"a", "a", "b", ""}, allow, 0, next, PageWalk::kComplete, {"", "a", "a", "b"}, ""},
      // A walk resumed from a token must not be led back to it either.
      {"resumed, its own token again", "s", {"s"}, stop, 0, next, PageWalk::kRepeatedToken, {"s"}, "s"},
      {"resumed", "s", {"t", ""}, stop, 0, next, PageWalk::kComplete, {"s", "t"}, ""},
      {"found on the second page", "", {"a", "b", ""}, stop, 2, PageStep::kFound, PageWalk::kFound, {"", "a"}, "b"},
      // A failed walk can be resumed from the page that failed.
      {"failed on the second page", "", {"a", "b", ""}, stop, 2, PageStep::kFailed, PageWalk::kFailed, {"", "a"}, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> asked;
    std::string token = c.start;
    const PageWalk walk = isilon::FollowPages(
        token,
        [&](const std::string& from, std::string& handed) {
          asked.push_back(from);
          const size_t page = asked.size();
          if (page > c.handed.size()) return PageStep::kFailed;  // read past the script
          handed = c.handed[page - 1];
          return static_cast<int>(page) == c.stopAt ? c.stopWith : PageStep::kNext;
        },
        c.repeated);
    EXPECT_EQ(walk, c.walk);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(token, c.left);
  }
}

}  // namespace
