// The compact document reads what Object::parse reads, value for value (number bits, key
// order, duplicates, the lenient forms, the faults), across its blocks' bounds and the key
// hints, and its views answer every question of the wrong kind with an empty answer.
#include "json/Document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "json/jsonxx.h"

using jsonxx::Array;
using jsonxx::Document;
using jsonxx::Number;
using jsonxx::Object;
using jsonxx::Value;
using jsonxx::View;

namespace {

// Empty when `view` holds exactly `value`; otherwise where they first differ.
std::string Differs(const Value& value, View view, const std::string& at = "$") {
  if (value.type() != view.type()) return at + ": kind";
  switch (value.type()) {
    case Value::NUMBER_: {
      const Number a = value.get<Number>(), b = view.number();
      return std::memcmp(&a, &b, 10) == 0 ? "" : at + ": number bits";
    }
    case Value::STRING_: return value.get<std::string>() == view.string() ? "" : at + ": string";
    case Value::BOOL_: return value.get<bool>() == view.boolean() ? "" : at + ": Boolean";
    case Value::ARRAY_: {
      const Array& a = value.get<Array>();
      if (a.size() != view.size()) return at + ": element count";
      for (size_t i = 0; i < a.size(); ++i) {
        const std::string d = Differs(a.values()[i], view[i], at + "[" + std::to_string(i) + "]");
        if (!d.empty()) return d;
      }
      return "";
    }
    case Value::OBJECT_: {
      const Object& o = value.get<Object>();
      if (o.size() != view.size()) return at + ": member count";
      for (size_t i = 0; i < o.size(); ++i) {
        const auto& m = o.kv_map()[i];
        if (m.first != view.key(i)) return at + ": key " + std::to_string(i);
        if (view.find(m.first).type() != m.second.type()) return at + ": find " + m.first;
        const std::string d = Differs(m.second, view[i], at + "." + m.first);
        if (!d.empty()) return d;
      }
      return "";
    }
    default: return "";
  }
}

// Reads `text` both ways: the same success, and on success the same values.
void ExpectSameAsObject(const std::string& text) {
  SCOPED_TRACE(text.size() < 200 ? text : text.substr(0, 200) + "...");
  Object object;
  const bool objectRead = object.parse(text);
  Document doc;
  ASSERT_EQ(doc.parse(text), objectRead);
  ASSERT_EQ(doc.empty(), !objectRead);
  if (!objectRead) {
    EXPECT_EQ(doc.root().type(), Value::INVALID_);
    return;
  }
  EXPECT_EQ(Differs(Value(object), doc.root()), "");
  EXPECT_EQ(doc.root().value().json(), object.json());
}

TEST(JsonDocument, ReadsWhatObjectParseReads) {
  const char* const texts[] = {
      // plain forms and every kind
      R"({})", R"({"a":1})", R"({"s":"x","t":true,"f":false,"n":null,"a":[],"o":{}})",
      R"({"nested":{"a":[1,[2,[3,{"b":[]}]]],"c":{"d":{}}}})", "  \t\n{\"a\" : 1 }  ",
      // numbers: integers at 18, 19 and 20 digits, fractions, exponents, signs, the slow form
      R"({"a":123456789012345678,"b":1234567890123456789,"c":12345678901234567890,"d":-0,"e":0.5})",
      R"({"a":1e27,"b":1e28,"c":1.5e-27,"d":1.5e-28,"e":+7,"f":.5,"g":-.25e+2,"h":1E3})",
      R"({"a":0.1,"b":3.141592653589793238462643383279,"c":1e4931,"d":4.9e-4951})",
      // strings: escapes, \u forms, surrogates alone and in pairs, NUL, single quotes
      R"({"a":"\"\\\/\b\f\n\r\t","b":"\u00e9\u20AC\ud83d\ude00","c":"\ud800x","d":"\udc00","e":"\u0000"})",
      R"({"a":"\q\u12","b":'it''s',"c":'x"y',"d":'a\'b'})",
      // keys: out of order, given twice (the last wins), escaped, empty, equal but for a NUL
      R"({"b":1,"a":2,"c":3})", R"({"a":1,"b":2,"a":3})", R"({"z":1,"a":2,"z":3,"a":4,"m":5})",
      R"({"a\u0000b":1,"a":2,"a\u0000":3})", R"({"":1,"\u0041":2,"A":3})", R"({"ba":1,"b":2,"bab":3,"a":4})",
      // the lenient forms: comments, trailing commas, empty elements, a member that fails at '}'
      "{// comment\n\"a\":1,// more\n}", R"({"a":[1,],"b":[,],"c":[,1],"d":[1,,2]})", R"({"a":1,})", R"({"a":1,"b":})",
      R"({"a":[[1,],2,[,]],"b":[[],[3,[4,],],5,[6,,]]})", R"({"a":1}trailing text)",
      // faults
      "", "[]", "nul", R"({"a")", R"({"a":)", R"({"a":1)", R"({"a":1 "b":2})", R"({"a":[1 2]})", R"({"a":tru})",
      R"({"a":"open)", R"({a:1})", R"({"a":1e})", R"({"a":-})", R"({"a":1e5000})", R"({"a":{"b":1,"c":}x})",
      "{\"a\":[1,2"};
  for (const char* text : texts) ExpectSameAsObject(text);
  ExpectSameAsObject(std::string("{\"a\":\"x\0y\",\"b\0\":1}", 18));
}

TEST(JsonDocument, NestingAtTheDepthLimitAndBeyond) {
  for (int depth : {jsonxx::kMaxDepth - 1, jsonxx::kMaxDepth, jsonxx::kMaxDepth + 1}) {
    SCOPED_TRACE(depth);
    const std::string text = "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    ExpectSameAsObject(text);
  }
}

// A page of `count` entries, each object of `members` members whose keys are in order or
// not, the same keys as the entry before or not (the key hints), with strings of `length`.
std::string Page(size_t count, size_t members, size_t length, bool shuffled, bool varied) {
  std::string s = "{\"list\":[";
  for (size_t i = 0; i < count; ++i) {
    if (i) s += ',';
    s += '{';
    for (size_t m = 0; m < members; ++m) {
      const size_t k = shuffled ? (m * 7 + i) % members : m;
      if (m) s += ',';
      s += "\"key" + std::to_string(varied ? (k + i) % (members + 3) : k) + "\":";
      if (m % 3 == 0) {
        s += std::to_string(i * 1000 + m);
      } else if (m % 3 == 1) {
        s += '"' + std::string(length, static_cast<char>('a' + (i + m) % 26)) + '"';
      } else {
        s += "[" + std::to_string(i) + ",{\"in\":" + std::to_string(m) + "}]";
      }
    }
    s += '}';
  }
  return s + "],\"token\":\"end\"}";
}

TEST(JsonDocument, RunsAndStringsAcrossTheBlocksBounds) {
  // Node blocks grow from 64 to 4,096 nodes; a run above 512 nodes gets its own block. Text
  // blocks grow from 1 KiB to 64 KiB; a string above 8 KiB gets its own.
  for (size_t count : {1u, 63u, 64u, 65u, 511u, 512u, 513u, 5000u}) {
    SCOPED_TRACE(count);
    ExpectSameAsObject(Page(count, 3, 5, false, false));
  }
  for (size_t length : {0u, 1u, 1023u, 1024u, 1025u, 8191u, 8192u, 8193u, 70000u}) {
    SCOPED_TRACE(length);
    ExpectSameAsObject(Page(20, 4, length, false, false));
  }
}

TEST(JsonDocument, KeyHintsWhateverTheOrderAndTheDepth) {
  // Keys in order and shuffled, the same as the last sibling's or shifted, on either side of
  // 32 members and 32 levels, where the hints end.
  for (size_t members : {1u, 2u, 31u, 32u, 33u, 40u}) {
    for (bool shuffled : {false, true}) {
      for (bool varied : {false, true}) {
        SCOPED_TRACE(std::to_string(members) + (shuffled ? " shuffled" : "") + (varied ? " varied" : ""));
        ExpectSameAsObject(Page(6, members, 3, shuffled, varied));
      }
    }
  }
  for (int depth : {30, 31, 32, 33, 34}) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "{\"b\":1,\"a\":[{\"c\":2,\"a\":3},{\"a\":4,\"c\":5}],\"k\":";
    text += "0" + std::string(depth, '}');
    ExpectSameAsObject(text);
  }
}

TEST(JsonDocument, FindTakesTheWholeKey) {
  Document doc;
  ASSERT_TRUE(doc.parse(std::string(R"({"ab":1,"abc":2,"a":3,"b\u0000":4,"b":5,"":6,"xyz":7})")));
  const View root = doc.root();
  ASSERT_EQ(root.size(), 7u);
  EXPECT_EQ(root.find("a").number(), 3);
  EXPECT_EQ(root.find("ab").number(), 1);
  EXPECT_EQ(root.find("abc").number(), 2);
  EXPECT_EQ(root.find("").number(), 6);
  EXPECT_EQ(root.find("b").number(), 5);
  EXPECT_EQ(root.find("xyz").number(), 7);
  EXPECT_EQ(root.find(std::string("b\0", 2)).number(), 4);
  for (const char* absent : {"abcd", "aa", "c", " ", "x", "xy", "xyz0"})
    EXPECT_EQ(root.find(absent).type(), Value::INVALID_) << absent;
  EXPECT_EQ(root.find(std::string("a\0", 2)).type(), Value::INVALID_);
  EXPECT_EQ(root.find(std::string("b\0\0", 3)).type(), Value::INVALID_);
  // In key order: "", "a", "ab", "abc", "b", "b\0", "xyz".
  EXPECT_EQ(root.key(0), "");
  EXPECT_EQ(root.key(5), std::string("b\0", 2));
  EXPECT_EQ(root[5].number(), 4);
  EXPECT_EQ(root.key(6), "xyz");
  EXPECT_EQ(root.key(7), "");
  EXPECT_EQ(root[7].type(), Value::INVALID_);
}

TEST(JsonDocument, AViewOfAnotherKindGivesEmptyAnswers) {
  Document doc;
  ASSERT_TRUE(doc.parse(std::string(R"({"a":[7,"s",true,null,{"k":1}],"n":2.5})")));
  const View a = doc.root().find("a");
  ASSERT_TRUE(a.is<Array>());
  EXPECT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0].number(), 7);
  EXPECT_EQ(a[1].string(), "s");
  EXPECT_TRUE(a[2].boolean());
  EXPECT_TRUE(a[3].is<jsonxx::Null>());
  EXPECT_EQ(a[4].find("k").number(), 1);
  EXPECT_EQ(a[5].type(), Value::INVALID_);
  // Wrong kinds, a missing element and a default view: empty answers, no fault.
  for (const View& v : {a[1], a[2], a[3], a[5], View(), doc.root().find("n")}) {
    if (!v.is<Number>()) {
      EXPECT_EQ(v.number(), 0);
    }
    if (!v.is<std::string>()) {
      EXPECT_EQ(v.string(), "");
    }
    if (!v.is<bool>()) {
      EXPECT_FALSE(v.boolean());
    }
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v[0].type(), Value::INVALID_);
    EXPECT_EQ(v.key(0), "");
    EXPECT_EQ(v.find("k").type(), Value::INVALID_);
  }
  // An array has elements, not keys.
  EXPECT_EQ(a.key(0), "");
  EXPECT_EQ(a.find("0").type(), Value::INVALID_);
  EXPECT_EQ(View().value().type(), Value::INVALID_);
}

TEST(JsonDocument, AFailedParseLeavesItEmptyAndAMoveTakesTheContent) {
  Document doc;
  ASSERT_TRUE(doc.parse(std::string(R"({"a":1})")));
  Document taken(std::move(doc));
  EXPECT_TRUE(doc.empty());
  EXPECT_EQ(taken.root().find("a").number(), 1);
  // Object::parse keeps the members read before a fault; the document keeps nothing.
  EXPECT_FALSE(taken.parse(std::string(R"({"a":1,"b":)")));
  EXPECT_TRUE(taken.empty());
  EXPECT_EQ(taken.root().type(), Value::INVALID_);
  EXPECT_FALSE(taken.parse(nullptr, 0));
  // Lengths are kept in 32 bits: a longer text is refused before a byte of it is read.
  const std::string text = R"({"a":1})";
  EXPECT_FALSE(taken.parse(text.data(), size_t{UINT32_MAX} + 1));
  ASSERT_TRUE(taken.parse(text.data(), text.size()));
  taken.clear();
  EXPECT_TRUE(taken.empty());
}

// Texts of the lenient grammar from a fixed seed: every kind, the lenient forms, keys given
// twice and out of order, escapes, and each text also cut at a point of its own.
struct Generator {
  uint64_t s = 0x243F6A8885A308D3ULL;
  unsigned below(unsigned n) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<unsigned>(s % n);
  }
  std::string key() {
    static const char* const keys[] = {"\"a\"",        "\"b\"",       "\"ab\"",   "\"\"",     "'c'",
                                       "\"d\\u0000\"", "\"\\u0061\"", "\"path\"", "\"size\"", "\"z\\\"q\""};
    return keys[below(10)];
  }
  std::string scalar() {
    static const char* const scalars[] = {"0",           "-0",       "7",     "123456789012345678901",
                                          "1.5e300",     "-2.25",    ".5",    "+1",
                                          "1e-400",      "true",     "false", "null",
                                          "\"\"",        "\"text\"", "'q'",   "\"\\n\\u00e9\\ud83d\\ude00\"",
                                          "\"\\ud800\"", "1E2"};
    return scalars[below(18)];
  }
  std::string value(int depth) {
    const unsigned pick = depth > 5 ? 0 : below(4);
    if (pick == 0 || pick == 1) return scalar();
    std::string s = pick == 2 ? "[" : "{";
    const unsigned n = below(6);
    for (unsigned i = 0; i < n; ++i) {
      if (i) s += below(12) == 0 ? ",," : ",";
      if (pick == 3) s += key() + (below(3) ? ":" : " : ");
      s += value(depth + 1);
    }
    if (n && below(6) == 0) s += ',';
    if (below(10) == 0) s += "// note\n";
    return s + (pick == 2 ? "]" : "}");
  }
};

TEST(JsonDocument, GeneratedTextsWholeAndCut) {
  Generator g;
  for (int i = 0; i < 1500; ++i) {
    std::string text = "{";
    const unsigned n = g.below(8);
    for (unsigned m = 0; m < n; ++m) text += (m ? "," : "") + g.key() + ":" + g.value(1);
    text += "}";
    ExpectSameAsObject(text);
    ExpectSameAsObject(text.substr(0, g.below(static_cast<unsigned>(text.size()))));
  }
}

}  // namespace
