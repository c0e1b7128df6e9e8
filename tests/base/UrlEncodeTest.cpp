#include <gtest/gtest.h>

#include <string>

#include "isilon/IsilonJSON.h"
#include "src/common/InputChecks.h"

namespace {

// Every character the cluster reads as syntax, "%" among them, and its one encoding.
const char kReserved[] = "% \"#$&'+,:;<=>?@[\\]^`{}|~";
const char kEncoded[] = "%25%20%22%23%24%26%27%2B%2C%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%60%7B%7D%7C%7E";

TEST(UrlEncode, EncodesEachReservedCharacterOnceAndNothingElse) {
  EXPECT_EQ(UrlEncode(std::string(kReserved)), kEncoded);
  EXPECT_EQ(UrlEncode(std::string("%20")), "%2520");  // an encoded text is encoded again, not kept
  EXPECT_EQ(UrlEncode(std::string("")), "");
  // First, middle and last position, and a text of the reserved character alone.
  EXPECT_EQ(UrlEncode(std::string("~a b#")), "%7Ea%20b%23");
  EXPECT_EQ(UrlEncode(std::string("&")), "%26");
  std::string text = "a b";  // the overload for a text the caller can change
  EXPECT_EQ(UrlEncode(text), "a%20b");
  EXPECT_EQ(text, "a b");

  std::string rest;
  for (int c = 1; c < 256; ++c)
    if (std::string(kReserved).find(static_cast<char>(c)) == std::string::npos) rest += static_cast<char>(c);
  EXPECT_EQ(rest.size(), 255u - 25u);
  EXPECT_EQ(UrlEncode(rest), rest);
}

TEST(UrlEncode, URIPiecesAlsoEncodeControlBytesButNul) {
  // The library's own URIs: a file name with a tab or a line feed is asked for encoded; a NUL
  // stays, for the request cycle to refuse the URI.
  const std::string nul(1, '\0');
  EXPECT_EQ(isilon::EncodeUriPiece("/ifs/a\x01"
                                   "b\tc\nd\x1f\x7f e#"),
            "/ifs/a%01b%09c%0Ad%1F%7F%20e%23");
  EXPECT_EQ(isilon::EncodeUriPiece("a" + nul + "b"), "a" + nul + "b");
  EXPECT_EQ(isilon::EncodeUriPiece("\x20\x21\x7e\x80\xff"), "%20!%7E\x80\xff");
  EXPECT_EQ(UrlEncode(std::string("a\tb\x7f")), "a\tb\x7f");  // the exported function is unchanged
}

TEST(InputChecks, EachCheckOnBothSidesOfItsBoundary) {
  const std::string nul(1, '\0');
  struct Case {
    std::string text;
    bool segment, child, namespacePath, token, uri, header;
  };
  const Case cases[] = {
      {"data", true, true, false, true, true, true},
      {"", true, false, false, true, true, true},
      {"...", true, true, false, true, true, true},
      {".a", true, true, false, true, true, true},
      {"a.", true, true, false, true, true, true},
      {"a/", false, false, false, true, true, true},
      {"..", false, false, false, true, true, true},
      {".", false, false, false, true, true, true},
      {"a/b", false, false, false, true, true, true},
      {"/ifs/data", false, false, true, true, true, true},
      {"/ifs/..", false, false, false, true, true, true},
      {nul + "x", false, false, false, false, false, false},
      {"x" + nul + "y", false, false, false, false, false, false},
      {"/ifs/x" + nul, false, false, false, false, false, false},
      {".." + nul, false, false, false, false, false, false},
      {nul + "..", false, false, false, false, false, false},
      {"a b", true, true, false, false, false, true},
      {"a\tb", true, true, false, false, false, true},
      {"a\r\nb", true, true, false, false, false, false},
      {"a\r", true, true, false, false, false, false},
      {"\na", true, true, false, false, false, false},
      {"a\x7f", true, true, false, false, false, true},
      {"a&b", true, true, false, false, true, true},
      {"a#b", true, true, false, false, true, true},
      {"a=b+/c", false, false, false, true, true, true},
      {"\xc3\xa9", true, true, false, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(isilon::Printable(c.text));
    EXPECT_EQ(isilon::IsSingleSegment(c.text), c.segment);
    EXPECT_EQ(isilon::IsChildName(c.text), c.child);
    EXPECT_EQ(isilon::IsNamespacePath(c.text), c.namespacePath);
    EXPECT_EQ(isilon::IsQueryToken(c.text), c.token);
    EXPECT_EQ(isilon::IsSendableUri(c.text), c.uri);
    EXPECT_EQ(isilon::IsHeaderLine(c.text), c.header);
  }
  EXPECT_EQ(isilon::Printable("a" + nul + "b\n\x7f\xff"), "a\\x00b\\x0a\\x7f\xff");
}

TEST(InputChecks, DotSegmentsOfThePathOnly) {
  struct Case {
    const char* uri;
    bool dot;
  };
  const Case cases[] = {
      {"/a/./b", true},
      {"/a/../b", true},
      {"/a/.../b", false},
      {"/a/.b", false},
      {"/a/b.", false},
      {"/a/..", true},
      {"/a/...", false},
      {".", true},
      {"..", true},
      {"", false},
      {"/", false},
      {"//", false},
      {"/a/%2e/b", true},
      {"/a/%2E%2e", true},
      {"/a/.%2E/", true},
      {"/a/%2e%2e%2e", false},
      {"/a/%2", false},
      {"/a/%2f", false},
      {"/a/%2e.x", false},
      {"/a?x=/../", false},
      {"/a#/../", false},
      {"/a/..?x", true},
      {"/a/.#x", true},
      {"/a/x?..", false},
      {"https://h/..", true},
      {"https://h/a/../b", true},
      {"https://h/a/.../b", false},
      {"https://../x", false},
      {"https://h", false},
      {"https://h/%2e%2E/", true},
      {"/x://../y", true},
      {"?://h/..", false},
      {"a#://h/ok", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uri);
    EXPECT_EQ(isilon::HasDotSegment(c.uri), c.dot);
  }
}

// The checks read eight bytes at a time: each must find one byte at any place of a text of any
// length, and nothing in a text of bytes on the other side of its bounds, as a plain loop does.
TEST(InputChecks, WordAtATimeChecksAgreeWithAByteLoopAtEveryLengthAndPlace) {
  auto plain = [](const std::string& text, bool (*bad)(unsigned char)) {
    for (unsigned char c : text) {
      if (bad(c)) return false;
    }
    return true;
  };
  auto segmentBad = [](unsigned char c) { return c == '/' || c == 0; };
  auto uriBad = [](unsigned char c) { return c <= 0x20 || c == 0x7F; };
  auto headerBad = [](unsigned char c) { return c == 0 || c == '\r' || c == '\n'; };
  int mismatches = 0;
  for (const unsigned char fill : {'a', '!', '\x80', '\xa0', '\xff', '~'}) {
    for (size_t length = 1; length <= 26; ++length) {
      for (size_t at = 0; at < length; ++at) {
        for (int value = 0; value < 256; ++value) {
          std::string text(length, static_cast<char>(fill));
          text[at] = static_cast<char>(value);
          if (text == "." || text == "..") continue;
          mismatches += isilon::IsSingleSegment(text) != plain(text, segmentBad);
          mismatches += isilon::IsSendableUri(text) != plain(text, uriBad);
          mismatches += isilon::IsHeaderLine(text) != plain(text, headerBad);
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(isilon::IsSendableUri(""));
  EXPECT_TRUE(isilon::IsHeaderLine(""));
}

}  // namespace
