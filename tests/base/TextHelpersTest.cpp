#include <gtest/gtest.h>

#include <string>

#include "isilon/Paging.h"
#include "src/common/JsonText.h"
#include "src/common/Redact.h"

namespace {

TEST(JsonEscape, EscapesWhatJsonRequiresOnly) {
  EXPECT_EQ(isilon::JsonEscape("/ifs/data/share 1/é"), "/ifs/data/share 1/é");
  EXPECT_EQ(isilon::JsonEscape("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(isilon::JsonEscape("\n\t\x01"), "\\n\\t\\u0001");
  EXPECT_EQ(isilon::JsonEscape("DOMAIN\\\\user", false), "DOMAIN\\\\user");
}

TEST(RedactSecrets, HidesCookiesTokensAndPasswords) {
  const std::string text =
      "Cookie: isisessid=abc123; path=/\r\nX-CSRF-Token: tok-9\r\n"
      "Set-Cookie: isicsrf=zzz; Secure\r\n{\"username\" : \"u\",\"password\" : \"p\\\"w\",\"x\":1}";
  const std::string out = isilon::RedactSecrets(text);
  for (const char* secret : {"abc123", "tok-9", "zzz", "p\\\"w"}) {
    EXPECT_EQ(out.find(secret), std::string::npos) << secret << " in " << out;
  }
  for (const char* kept : {"isisessid=<redacted>", "\"username\" : \"u\"", "\"x\":1"}) {
    EXPECT_NE(out.find(kept), std::string::npos) << kept << " in " << out;
  }
  EXPECT_EQ(isilon::RedactSecrets("GET /platform/1/zones"), "GET /platform/1/zones");
}

TEST(ResumeTracker, StopsOnARepeatedToken) {
  isilon::ResumeTracker tracker;
  for (const char* token : {"a", "b", "", ""}) EXPECT_FALSE(tracker.Repeats(token)) << token;
  EXPECT_TRUE(tracker.Repeats("a"));
}

}  // namespace
