#include <gtest/gtest.h>

#include <string>

#include "isilon/IsilonJSON.h"

namespace {

// The reference: "%" first, then each listed character in the listed order, over the whole text.
std::string ReferenceEncode(std::string text) {
  auto replaceAll = [&text](const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size()) {
      text.replace(pos, from.size(), to);
    }
  };
  replaceAll("%", "%25");
  const char* table[][2] = {{" ", "%20"}, {"\"", "%22"}, {"#", "%23"}, {"$", "%24"}, {"&", "%26"},
                            {"'", "%27"}, {"+", "%2B"},  {",", "%2C"}, {":", "%3A"}, {";", "%3B"},
                            {"<", "%3C"}, {"=", "%3D"},  {">", "%3E"}, {"?", "%3F"}, {"@", "%40"},
                            {"[", "%5B"}, {"\\", "%5C"}, {"]", "%5D"}, {"^", "%5E"}, {"`", "%60"},
                            {"{", "%7B"}, {"}", "%7D"},  {"|", "%7C"}, {"~", "%7E"}};
  for (const auto& row : table) replaceAll(row[0], row[1]);
  return text;
}

TEST(UrlEncode, EncodesReservedCharactersAndKeepsPathSeparators) {
  EXPECT_EQ(UrlEncode(std::string("/ifs/data/my file")), "/ifs/data/my%20file");
  EXPECT_EQ(UrlEncode(std::string("a?b=c&d")), "a%3Fb%3Dc%26d");
  EXPECT_EQ(UrlEncode(std::string("100%")), "100%25");
  EXPECT_EQ(UrlEncode(std::string("%20")), "%2520");
  EXPECT_EQ(UrlEncode(std::string("share-name_1.x!(*)")), "share-name_1.x!(*)");
  EXPECT_EQ(UrlEncode(std::string("")), "");
}

TEST(UrlEncode, LeavesTheInputAlone) {
  std::string text = "a b";
  const std::string encoded = UrlEncode(text);
  EXPECT_EQ(text, "a b");
  EXPECT_EQ(encoded, "a%20b");
}

TEST(UrlEncode, MatchesTheOrderedReplacementForEveryByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(UrlEncode(all), ReferenceEncode(all));
  // Control characters and bytes of 128 and above pass unchanged.
  EXPECT_EQ(UrlEncode(std::string("\x01\x7f\xc3\xa9")), "\x01\x7f\xc3\xa9");
}

}  // namespace
