#include <gtest/gtest.h>

#include <string>

#include "isilon/IsilonJSON.h"

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

}  // namespace
