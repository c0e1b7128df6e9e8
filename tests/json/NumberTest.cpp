// Numbers: what the reader accepts, the values it gives, and the integer conversions.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

#include "json/Numbers.h"
#include "json/jsonxx.h"

using jsonxx::Number;
using jsonxx::Object;

namespace {

// Reads {"n": text} and reports whether all of it read, with "n" a number.
bool ReadNumber(const std::string& text, Number& out) {
  Object o;
  if (!o.parse("{\"n\":" + text + "}") || !o.has<Number>("n")) return false;
  out = o.get<Number>("n");
  return true;
}

// What long double stream extraction makes of the whole text.
bool StreamNumber(const std::string& text, Number& out) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  in >> out;
  return !in.fail() && in.peek() == std::char_traits<char>::eof();
}

TEST(JsonNumbers, SameValuesAsStreamExtraction) {
  std::istringstream texts(
      "0 -0 1e3 1E+3 2.5 -2.5e-3 0.1 3.14159265358979323846264338 1e-300 1e300 4.9e-324 1.7976931348623157e308 "
      "123456789012345678901234567890 0.000000000000000000000000000000001 5. .5 +7 007 1e27 1e28 1e-27 1e-28 "
      "9007199254740993 18446744073709551615 18446744073709551616 99999999999999999999 1.00000000000000000000000001 "
      "1e4931 1e-4940 1e-5000 0e5000 -1.5E-0 12345678901234567.89 0.30000000000000004");
  for (std::string t; texts >> t;) {
    SCOPED_TRACE(t);
    Number expected = 0, got = 0;
    ASSERT_TRUE(StreamNumber(t, expected));
    ASSERT_TRUE(ReadNumber(t, got));
    EXPECT_EQ(std::signbit(got), std::signbit(expected));
    EXPECT_EQ(got, expected);
  }
}

TEST(JsonNumbers, NineteenAndTwentyDigitIdsAreExact) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"id":1234567890123456789,"max":18446744073709551615,"neg":-9223372036854775808,)"
                      R"("imax":9223372036854775807,"past":-9223372036854775809,"top":9223372036854775808})"));
  EXPECT_EQ(jsonxx::TruncToU64(o.get<Number>("id")), UINT64_C(1234567890123456789));
  EXPECT_EQ(jsonxx::TruncToU64(o.get<Number>("max")), UINT64_MAX);
  EXPECT_EQ(jsonxx::TruncToI64(o.get<Number>("neg")), INT64_MIN);
  EXPECT_EQ(jsonxx::TruncToI64(o.get<Number>("imax")), INT64_MAX);
  EXPECT_EQ(jsonxx::TruncToI64(o.get<Number>("past")), INT64_MIN);
  // Read at run time, where the compiler cannot fold the limits in.
  EXPECT_EQ(jsonxx::TruncToI64(o.get<Number>("top")), INT64_MAX);
  EXPECT_EQ(jsonxx::TruncToU64(o.get<Number>("top")), UINT64_C(9223372036854775808));
}

TEST(JsonNumbers, WhatIsNotANumber) {
  // Forms that stream extraction does not turn into a number, or only partly.
  for (const char* t : {"inf", "-inf", "nan", "NaN", "Infinity", "0x10",    "1e",    "1e+", "-",    "+",
                        ".",   "-.",   "+-1", ".e5", "1e5000",   "-1e5000", "1.5.3", "--1", "1ee5", "1e5x"}) {
    SCOPED_TRACE(t);
    Number n = 0;
    EXPECT_FALSE(ReadNumber(t, n));
  }
  // A failed number fails the member and keeps what came before it.
  Object o;
  EXPECT_FALSE(o.parse(R"({"a":1,"b":1e5000,"c":2})"));
  EXPECT_EQ(o.size(), 1u);
}

TEST(JsonNumbers, DecimalPointIgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  }
  Number n = 0;
  const bool read = ReadNumber("1.25e100", n);
  Object o;
  o.import("x", jsonxx::Value(2.5L));
  const std::string written = o.json();
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(read);
  EXPECT_EQ(n, 1.25e100L);
  EXPECT_EQ(written, "{\"x\": 2.5}");
  if (!switched) GTEST_SKIP() << "no comma-decimal locale installed; checked under the C locale only";
}

TEST(JsonNumbers, TruncToU64) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  EXPECT_EQ(jsonxx::TruncToU64(nan), 0u);
  EXPECT_EQ(jsonxx::TruncToU64(inf), UINT64_MAX);
  EXPECT_EQ(jsonxx::TruncToU64(-inf), UINT64_C(0x8000000000000000));
  EXPECT_EQ(jsonxx::TruncToU64(std::strtold("1e5000", nullptr)), UINT64_MAX);
  EXPECT_EQ(jsonxx::TruncToU64(-std::strtold("1e5000", nullptr)), UINT64_C(0x8000000000000000));
  EXPECT_EQ(jsonxx::TruncToU64(9223372036854775808.0L), UINT64_C(9223372036854775808));
  EXPECT_EQ(jsonxx::TruncToU64(18446744073709551615.0L), UINT64_MAX);
  EXPECT_EQ(jsonxx::TruncToU64(18446744073709551616.0L), UINT64_MAX);
  EXPECT_EQ(jsonxx::TruncToU64(-0.5L), 0u);
  EXPECT_EQ(jsonxx::TruncToU64(-0.0L), 0u);
  EXPECT_EQ(jsonxx::TruncToU64(1.9L), 1u);
  EXPECT_EQ(jsonxx::TruncToU64(-1.9L), UINT64_MAX);  // -1 as two's complement
  EXPECT_EQ(jsonxx::TruncToU64(-9223372036854775807.0L), UINT64_C(0x8000000000000001));
  EXPECT_EQ(jsonxx::TruncToU64(-9223372036854775808.0L), UINT64_C(0x8000000000000000));
  EXPECT_EQ(jsonxx::TruncToU64(-1e30L), UINT64_C(0x8000000000000000));
}

TEST(JsonNumbers, NarrowConversionsKeepTheLowBits) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  EXPECT_EQ(jsonxx::TruncToU32(4294967296.0L + 7), 7u);
  EXPECT_EQ(jsonxx::TruncToU32(4294967295.9L), UINT32_MAX);
  EXPECT_EQ(jsonxx::TruncToU32(4294967296.0L), 0u);
  EXPECT_EQ(jsonxx::TruncToU32(-1.0L), UINT32_MAX);
  EXPECT_EQ(jsonxx::TruncToU32(nan), 0u);
  EXPECT_EQ(jsonxx::TruncToU32(inf), UINT32_MAX);
  EXPECT_EQ(jsonxx::TruncToI32(2147483647.0L), INT32_MAX);
  EXPECT_EQ(jsonxx::TruncToI32(2147483648.0L), INT32_MIN);
  EXPECT_EQ(jsonxx::TruncToI32(-1.9L), -1);
  EXPECT_EQ(jsonxx::TruncToI32(1.9L), 1);
  EXPECT_EQ(jsonxx::TruncToI32(4294967296.0L + 5), 5);
  EXPECT_EQ(jsonxx::TruncToI32(nan), 0);
  EXPECT_EQ(jsonxx::TruncToI32(-inf), 0);  // low bits of INT64_MIN
  EXPECT_EQ(jsonxx::TruncToI64(nan), 0);
  EXPECT_EQ(jsonxx::TruncToI64(inf), INT64_MAX);
  EXPECT_EQ(jsonxx::TruncToI64(-inf), INT64_MIN);
  EXPECT_EQ(jsonxx::TruncToI64(9223372036854775808.0L), INT64_MAX);
  EXPECT_EQ(jsonxx::TruncToI64(9223372036854775807.0L), INT64_MAX);
  EXPECT_EQ(jsonxx::TruncToI64(-9223372036854775808.0L), INT64_MIN);
  EXPECT_EQ(jsonxx::TruncToI64(-0.5L), 0);
  EXPECT_EQ(jsonxx::TruncToI64(-1.9L), -1);
}

}  // namespace
