// The records' integer fields: ReadU64 gives what ReadNumber and TruncToU64 give, on both sides
// of the 18-digit plain form it converts without a long double.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "json/Cursor.h"
#include "json/Numbers.h"

namespace {

TEST(JsonCursor, IntegersReadAsTheGeneralConversionReadsThem) {
  const struct {
    const char* number;
    uint64_t expected;
  } rows[] = {
      {"0", 0},
      {"-0", 0},
      {"7", 7},
      {"-1", UINT64_MAX},
      {"123456789012345678", 123456789012345678u},                 // 18 digits: plain
      {"1234567890123456789", 1234567890123456789u},               // 19 digits: general
      {"-123456789012345678", 0 - uint64_t{123456789012345678u}},  // plain, negative
      {"-9223372036854775809", UINT64_C(0x8000000000000000)},      // below int64
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", UINT64_MAX},
      {"000000000000000042", 42},
      {"0000000000000000042", 42},
      {"1.9", 1},
      {"25e-1", 2},
      {"1E3", 1000},
      {"+5", 5},
  };
  for (const auto& row : rows) {
    for (const std::string& text : {std::string("[") + row.number + "]", std::string("[ ") + row.number + " ,1]"}) {
      SCOPED_TRACE(text);
      jsonxx::Cursor fast(text.data(), text.size()), general(text.data(), text.size());
      uint64_t read = 1;
      jsonxx::Number number = 0;
      ASSERT_TRUE(fast.EnterArray() && fast.NextElement() && fast.ReadU64(read));
      ASSERT_TRUE(general.EnterArray() && general.NextElement() && general.ReadNumber(number));
      EXPECT_EQ(read, row.expected);
      EXPECT_EQ(read, jsonxx::TruncToU64(number));
      // Both stop at the same place: what follows reads the same.
      EXPECT_EQ(fast.NextElement(), general.NextElement());
      EXPECT_TRUE(fast.ok() && general.ok());
    }
  }
  // Digits are taken eight at a time where eight or more are left: every length up to 20, and
  // each byte that may follow (one just outside '0'..'9' on each side, a fraction, an exponent,
  // white space, or the end of the text) at the first place after them.
  const std::string digits = "98765432109876543210";
  for (size_t length = 1; length <= digits.size(); ++length) {
    for (const char* after : {"]", "/]", ":]", ".5]", "e2]", " ]", "0]", ""}) {
      for (const char* sign : {"", "-"}) {
        const std::string text = std::string("[") + sign + digits.substr(0, length) + after;
        SCOPED_TRACE(text);
        jsonxx::Cursor fast(text.data(), text.size()), general(text.data(), text.size());
        uint64_t read = 1;
        jsonxx::Number number = 0;
        ASSERT_TRUE(fast.EnterArray() && fast.NextElement() && general.EnterArray() && general.NextElement());
        const bool fastRead = fast.ReadU64(read), generalRead = general.ReadNumber(number);
        ASSERT_EQ(fastRead, generalRead);
        if (!fastRead) continue;
        EXPECT_EQ(read, jsonxx::TruncToU64(number));
        EXPECT_EQ(fast.Peek(), general.Peek());
        // Both readers share the eight-digit step: a plain integer is also held to the value
        // of its digits, worked out here one by one.
        const std::string run = digits.substr(0, length) + (after[0] == '0' ? "0" : "");
        if (run.size() <= 18 && after[0] != '.' && after[0] != 'e') {
          uint64_t expected = 0;
          for (const char d : run) expected = expected * 10 + static_cast<unsigned>(d - '0');
          EXPECT_EQ(read, *sign == '-' ? 0 - expected : expected);
        }
      }
    }
  }

  const std::string bad = "[\"7\"]";
  jsonxx::Cursor c(bad.data(), bad.size());
  uint64_t read = 0;
  EXPECT_FALSE(c.EnterArray() && c.NextElement() && c.ReadU64(read));
  EXPECT_FALSE(c.ok());
}

}  // namespace
