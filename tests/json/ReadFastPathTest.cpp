// The reader's quick forms give what the general ones give: strings around the small-string
// size and the 16-byte scan, escapes at either end, integers around 8, 16 and 19 digits, key
// order decided by the first byte or beyond it, and objects reserved from their siblings.
#include <gtest/gtest.h>

#include <cmath>
#include <locale>
#include <map>
#include <sstream>
#include <string>

#include "json/jsonxx.h"

using jsonxx::Array;
using jsonxx::Number;
using jsonxx::Object;
using jsonxx::Value;

namespace {

std::string Digits(size_t n, char first = '1') {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>(i == 0 ? first : '0' + (i * 7 + 3) % 10);
  return s;
}

Number Stream(const std::string& text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  Number n = 0;
  in >> n;
  EXPECT_FALSE(in.fail()) << text;
  return n;
}

TEST(JsonReadFastPath, StringsAroundTheSmallSizeAndTheScanWidth) {
  for (size_t length : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 32u, 33u}) {
    const std::string plain(length, 'x');
    for (const char* quote : {"\"", "'"}) {
      SCOPED_TRACE(std::to_string(length) + quote);
      Object o;
      // The same text as key and as value, each with a neighbour on both sides.
      ASSERT_TRUE(
          o.parse(std::string("{\"!\":0,") + quote + plain + quote + ":" + quote + plain + quote + ",\"~\":1}"));
      ASSERT_EQ(o.size(), 3u);
      EXPECT_EQ(o.kv_map()[plain.empty() ? 0 : 1].first, plain);  // "" comes before "!"
      EXPECT_EQ(o.get<std::string>(plain), plain);
      // Cut before the closing quote: no string, no member.
      EXPECT_FALSE(o.parse("{\"k\":\"" + plain));
      EXPECT_TRUE(o.empty());
    }
  }
}

TEST(JsonReadFastPath, EscapesAtEitherEndOfStrings) {
  for (size_t length : {0u, 1u, 14u, 15u, 16u, 17u}) {
    const std::string middle(length, 'm');
    const struct {
      std::string text;  // between the quotes
      std::string value;
    } rows[] = {
        {"\\n" + middle, "\n" + middle},
        {middle + "\\n", middle + "\n"},
        {"\\\"" + middle + "\\\"", "\"" + middle + "\""},
        {"\\u00e9" + middle + "\\\\", "\xC3\xA9" + middle + "\\"},
        {middle + "\\q", middle + "\\q"},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(row.text);
      Object o;
      ASSERT_TRUE(o.parse("{\"" + row.text + "\":\"" + row.text + "\"}"));
      ASSERT_EQ(o.size(), 1u);
      EXPECT_EQ(o.kv_map()[0].first, row.value);
      EXPECT_EQ(o.kv_map()[0].second.get<std::string>(), row.value);
    }
  }
}

TEST(JsonReadFastPath, IntegersAroundEightSixteenAndNineteenDigits) {
  for (size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 18u, 19u, 20u, 21u}) {
    for (char first : {'1', '9'}) {
      const std::string digits = Digits(n, first);
      for (const std::string& text :
           {digits, "-" + digits, "+" + digits, digits + ".5", digits + "e2", "0." + digits, std::string(n, '9'),
            "-" + std::string(n, '9'), "0" + digits, digits.substr(0, n - 1) + "0"}) {
        SCOPED_TRACE(text);
        Object o;
        ASSERT_TRUE(o.parse("{\"n\":" + text + ",\"m\":[" + text + "]}"));
        const Number expected = Stream(text);
        EXPECT_EQ(o.get<Number>("n"), expected);
        EXPECT_EQ(std::signbit(o.get<Number>("n")), std::signbit(expected));
        EXPECT_EQ(o.get<Array>("m").get<Number>(0), expected);
      }
    }
  }
}

TEST(JsonReadFastPath, ANumberEndsAtTheFirstByteThatIsNoDigit) {
  // Seven digits and the byte after them fill eight bytes: '/' and ':' lie just below and
  // just above the digits.
  Object o;
  ASSERT_TRUE(o.parse("{\"n\":1234567// note\n}"));
  EXPECT_EQ(o.get<Number>("n"), 1234567);
  EXPECT_FALSE(o.parse("{\"n\":1234567:}"));
  EXPECT_EQ(o.get<Number>("n"), 1234567);  // read before the fault, so kept
  EXPECT_FALSE(o.parse("{\"n\":12345678:}"));
  EXPECT_EQ(o.get<Number>("n"), 12345678);
  EXPECT_FALSE(o.parse("{\"n\":1234\x80\x39\x39\x39}"));
  EXPECT_EQ(o.get<Number>("n"), 1234);
  ASSERT_TRUE(o.parse("{\"a\":[12345670,1234567,123456789]}"));
  EXPECT_EQ(o.get<Array>("a").json(), "[1.23457e+07, 1.23457e+06, 1.23457e+08]");
  EXPECT_EQ(o.get<Array>("a").get<Number>(1), 1234567);
  // The text may end right after the digits.
  EXPECT_FALSE(o.parse("{\"n\":12345678"));
  EXPECT_EQ(o.get<Number>("n"), 12345678);
}

TEST(JsonReadFastPath, KeysInByteOrderWhateverTheirFirstBytes) {
  const char* const rows[] = {
      R"({"b":1,"a":2})",
      R"({"a":1,"b":2})",
      R"({"ab":1,"a":2,"":3,"abc":4})",
      R"({"":1,"a":2,"ab":3})",
      R"({"\u00e9":1,"z":2,"\u00e8":3,"~":4})",
      R"({"same":1,"same":2})",
      R"({"x":1,"y":2,"x":3,"y":4,"x":5})",
      R"({"mtime_val":1,"mode":2,"mtime":3,"m":4})",
  };
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    // What a map keyed by the bytes makes of the members, last of equal keys winning.
    std::map<std::string, std::string> expected;
    {
      // Read each member alone: a one-member object needs no ordering.
      std::string body(text + 1, std::string(text).size() - 2);
      std::string member;
      for (size_t i = 0; i <= body.size(); ++i) {
        if (i == body.size() || body[i] == ',') {
          Object one;
          ASSERT_TRUE(one.parse("{" + member + "}"));
          expected[one.kv_map()[0].first] = one.kv_map()[0].second.json();
          member.clear();
        } else {
          member += body[i];
        }
      }
    }
    Object o;
    ASSERT_TRUE(o.parse(text));
    ASSERT_EQ(o.size(), expected.size());
    size_t i = 0;
    for (const auto& pair : expected) {
      EXPECT_EQ(o.kv_map()[i].first, pair.first);
      EXPECT_EQ(o.kv_map()[i].second.json(), pair.second);
      ++i;
    }
  }
}

TEST(JsonReadFastPath, SiblingObjectsOfEverySizeKeepNoSpareRoom) {
  // Each object is reserved at the size of the one before it at its depth: the same, fewer,
  // more, none, and duplicates that shrink it.
  Object o;
  ASSERT_TRUE(o.parse(R"({"list":[{"a":1,"b":2,"c":3},{"a":1,"b":2,"c":3},{"z":1},{"a":1,"b":2,"c":3,"d":4,"e":5},{},)"
                      R"({"x":1,"x":2,"x":3,"y":4},{"b":{"q":1,"r":2},"a":{"q":1}},{"a":{}}],"z":{"k":1}})"));
  const Array& list = o.get<Array>("list");
  const size_t sizes[] = {3, 3, 1, 5, 0, 2, 2, 1};
  ASSERT_EQ(list.size(), sizeof sizes / sizeof *sizes);
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    const Object& entry = list.get<Object>(static_cast<unsigned>(i));
    EXPECT_EQ(entry.size(), sizes[i]);
    EXPECT_EQ(entry.kv_map().capacity(), entry.size());
    for (const auto& m : entry.kv_map()) {
      if (m.second.is<Object>()) {
        EXPECT_EQ(m.second.get<Object>().kv_map().capacity(), m.second.get<Object>().size());
      }
    }
  }
  EXPECT_EQ(list.get<Object>(5).json(), R"({"x": 3, "y": 4})");
  EXPECT_EQ(list.get<Object>(6).json(), R"({"a": {"q": 1}, "b": {"q": 1, "r": 2}})");
  EXPECT_EQ(o.kv_map().capacity(), 2u);
  // A reused object ends as exact as a fresh one.
  ASSERT_TRUE(o.parse(R"({"only":1})"));
  EXPECT_EQ(o.kv_map().capacity(), 1u);
}

TEST(JsonReadFastPath, ObjectsNestedBelowTheSizeGuessesReadTheSame) {
  // Guesses are kept for the first levels only; deeper objects grow as they are read.
  for (int levels : {30, 31, 32, 33, 40}) {
    SCOPED_TRACE(levels);
    std::string text;
    for (int i = 0; i < levels; ++i) text += "{\"b\":2,\"a\":1,\"c\":";
    text += "0" + std::string(static_cast<size_t>(levels), '}');
    text = "{\"d\":" + text + "}";
    Object o;
    ASSERT_TRUE(o.parse(text));
    const Object* inner = &o.get<Object>("d");
    for (int i = 1; i < levels; ++i) {
      ASSERT_EQ(inner->size(), 3u);
      EXPECT_EQ(inner->kv_map().capacity(), 3u);
      EXPECT_EQ(inner->kv_map()[0].first, "a");
      inner = &inner->get<Object>("c");
    }
    EXPECT_EQ(inner->get<Number>("c"), 0);
  }
}

TEST(JsonReadFastPath, ALoneSlashIsNoWhiteSpace) {
  Object o;
  EXPECT_TRUE(o.parse("{\"a\"//x\n://y\n1//z\n,//w\n}"));
  EXPECT_EQ(o.get<Number>("a"), 1);
  EXPECT_FALSE(o.parse("{\"a\":1/}"));
  EXPECT_FALSE(o.parse("{\"a\":/1}"));
  EXPECT_FALSE(o.parse("/{\"a\":1}"));
}

}  // namespace

namespace {

// [0,[0],1,[1,[1]],2,...]: every other element an array whose elements sit above its own.
std::string Interleaved(size_t count) {
  std::string text = "{\"a\":[";
  for (size_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    text += (i ? "," : "") + (i % 2 ? "[" + n + ",[" + n + "]]" : n);
  }
  return text + "]}";
}

TEST(JsonReadFastPath, ArraysAcrossTheScratchBlocks) {
  // The scratch grows by blocks of 256 elements: long arrays, and arrays inside them, on
  // either side of a block's end.
  for (size_t count : {1u, 255u, 256u, 257u, 511u, 512u, 513u, 1000u}) {
    SCOPED_TRACE(count);
    Object o;
    ASSERT_TRUE(o.parse(Interleaved(count)));
    const Array& a = o.get<Array>("a");
    ASSERT_EQ(a.size(), count);
    EXPECT_EQ(a.values().capacity(), count);
    for (unsigned i = 0; i < count; ++i) {
      if (i % 2 == 0) {
        ASSERT_EQ(a.get<Number>(i), i);
        continue;
      }
      const Array& inner = a.get<Array>(i);
      ASSERT_EQ(inner.size(), 2u);
      EXPECT_EQ(inner.values().capacity(), 2u);
      EXPECT_EQ(inner.get<Number>(0), i);
      EXPECT_EQ(inner.get<Array>(1).get<Number>(0), i);
    }
    // Cut inside the last element: the array fails, the member before it stays.
    std::string text = Interleaved(count);
    text.insert(1, "\"0\":true,");
    EXPECT_FALSE(o.parse(text.substr(0, text.size() - 3)));
    EXPECT_EQ(o.size(), 1u);
    EXPECT_TRUE(o.get<bool>("0"));
  }
}

TEST(JsonReadFastPath, AFailedElementLeavesNothingBehind) {
  // An element that fails just before ']' (a trailing comma) ends its array; the arrays after
  // it read from where it was taken back.
  Object o;
  ASSERT_TRUE(o.parse(R"({"a":[[1,],2,[,]],"b":[[],[3,[4,],],5,[6,,]],"c":[,]})"));
  EXPECT_EQ(o.json(), R"({"a": [[1], 2, [null]], "b": [[], [3, [4]], 5, [6, null]], "c": [null]})");
}

}  // namespace
