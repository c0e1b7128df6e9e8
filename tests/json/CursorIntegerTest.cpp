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
  const std::string bad = "[\"7\"]";
  jsonxx::Cursor c(bad.data(), bad.size());
  uint64_t read = 0;
  EXPECT_FALSE(c.EnterArray() && c.NextElement() && c.ReadU64(read));
  EXPECT_FALSE(c.ok());
}

}  // namespace
