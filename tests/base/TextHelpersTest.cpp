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

TEST(RedactSecrets, HidesEveryCookieForm) {
  struct Case {
    const char* text;
    const char* kept;  // what must survive around the secret
  };
  // The secret is always "S3cr3t" (and, where there are two, "T0ken").
  const Case cases[] = {
      {"Set-Cookie: isisessid=S3cr3t; path=/; HttpOnly; Secure", "; path=/; HttpOnly; Secure"},
      {"Set-Cookie: isisessid=\"S3cr3t\"; path=/", "\"; path=/"},
      {"Set-Cookie: isisessid=\"S3cr3t", "isisessid=\"<redacted>"},  // no closing quote
      {"Set-Cookie: isisessid = S3cr3t ;Secure", ";Secure"},
      {"Set-Cookie: Secure; HttpOnly; ISISESSID=S3cr3t", "Secure; HttpOnly; ISISESSID="},
      {"Set-Cookie: isicsrf=\"T0ken\"; Secure, isisessid=S3cr3t; path=/", "; path=/"},
      {"Cookie: a=b; isisessid=S3cr3t; isicsrf=T0ken", "Cookie: a=b; "},
      {"Cookie: isisessid=\"S3cr3t\"\r\nX-CSRF-Token: T0ken\r\nReferer: x", "\r\nReferer: x"},
      {"Set-Cookie: isisessid=S3cr3t", "isisessid=<redacted>"},  // at the very end
      {"{\"cookie\":\"isisessid=S3cr3t\"}", "\"}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string out = isilon::RedactSecrets(c.text);
    EXPECT_EQ(out.find("S3cr3t"), std::string::npos) << out;
    EXPECT_EQ(out.find("T0ken"), std::string::npos) << out;
    EXPECT_NE(out.find(c.kept), std::string::npos) << out;
  }
  // A name that only starts like a session cookie's is no cookie of ours.
  EXPECT_EQ(isilon::RedactSecrets("isisessidx: 1"), "isisessidx: 1");
}

TEST(ResumeTracker, StopsOnARepeatedToken) {
  isilon::ResumeTracker tracker;
  for (const char* token : {"a", "b", "", ""}) EXPECT_FALSE(tracker.Repeats(token)) << token;
  EXPECT_TRUE(tracker.Repeats("a"));
}

}  // namespace
