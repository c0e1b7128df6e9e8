// Reading replies: lenient forms, partial reads, nesting bound, escapes.
#include <gtest/gtest.h>

#include <string>

#include "json/jsonxx.h"

using jsonxx::Array;
using jsonxx::Null;
using jsonxx::Number;
using jsonxx::Object;
using jsonxx::Value;

namespace {

// Whole texts: whether the parse succeeds and how many members the object keeps. Every parse
// starts from a stale member that must be gone.
TEST(JsonRead, ParseResultAndMembersKept) {
  const struct {
    const char* text;
    bool ok;
    size_t members;
  } rows[] = {
      {"{}", true, 0},
      {"  \r\n\t\v\f{ \n }", true, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"[1,2]", false, 0},
      {"\"text\"", false, 0},
      {"null", false, 0},
      {"<html>401</html>", false, 0},
      {"{", false, 0},
      {R"({"a":1} trailing garbage {"b":2})", true, 1},
      // A comment without a newline runs to the end; only // comments exist.
      {R"({"a":1 // "b":2})", false, 1},
      {R"({"a":1 /* block */ })", false, 1},
      // A member without a value is dropped when the object ends, and fails anywhere else.
      {R"({"a":1,"b":})", true, 1},
      {R"({"a":1,"b": x, "c":3})", false, 1},
      // A failure inside a container drops the whole member; an inner '}' is no outer end.
      {R"({"a":1,"b":[1,})", false, 1},
      {R"({"a":1,"b":{"x":1,"y":tru}})", false, 1},
      {R"({"a":"x","b":"no end)", false, 1},
      {R"({"a":"ends in backslash\)", false, 0},
      {R"({'a':"mixed quotes'})", false, 0},
      {R"({"t":tru})", false, 0},
      {R"({"n":nul})", false, 0},
      {R"({"n":True})", false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    Object o;
    ASSERT_TRUE(o.parse(R"({"stale":1})"));
    EXPECT_EQ(o.parse(row.text), row.ok);
    EXPECT_EQ(o.size(), row.members);
    EXPECT_FALSE(o.find("stale"));
  }
}

TEST(JsonRead, LenientForms) {
  Object o;
  ASSERT_TRUE(
      o.parse("// leading comment\n"
              "{ // after brace\n"
              "  'name' : 'ifs share', // single quotes\n"
              "  \"list\" : [1, , 3, ],\n"
              "  \"empty\" : , \n"
              "  \"nested\": {\"x\": [ , ]}, // trailing comma next\n"
              "}"));
  // Holes in a list and a member without a value read as null.
  EXPECT_EQ(o.json(), R"({"empty": null, "list": [1, null, 3], "name": "ifs share", "nested": {"x": [null]}})");
}

TEST(JsonRead, DuplicateKeyKeepsTheLastAndKeysAreOrdered) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"zeta":1,"id":"first","alpha":2,"id":"second","\u00e9":3,"Z":4})"));
  EXPECT_EQ(o.size(), 5u);
  EXPECT_EQ(o.get<std::string>("id"), "second");
  std::string keys;
  for (const auto& m : o.kv_map()) keys += m.first + ",";
  EXPECT_EQ(keys, "Z,alpha,id,zeta,\xC3\xA9,");  // byte order: high bytes last
}

TEST(JsonRead, TruncatedReplyKeepsEarlierMembers) {
  const std::string full =
      R"({"id":"snap1","children":[{"name":"a","size":1},{"name":"b","size":2}],"resume":"tok","total":2})";
  Object complete;
  ASSERT_TRUE(complete.parse(full));
  // Every cut keeps exactly the members whose value ended before it.
  for (size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(full.substr(0, cut));
    Object o;
    EXPECT_FALSE(o.parse(full.substr(0, cut)));
    for (const auto& m : o.kv_map()) {
      const Value* v = complete.find(m.first);
      ASSERT_TRUE(v);
      EXPECT_EQ(m.second.json(), v->json());
    }
  }
  Object o;
  EXPECT_FALSE(o.parse(full.substr(0, full.find("\"resume\"") + 12)));
  EXPECT_EQ(o.size(), 2u);
  EXPECT_EQ(o.get<Array>("children").size(), 2u);
  EXPECT_FALSE(o.has<std::string>("resume"));
}

std::string Nested(int arrays) {
  return "{\"a\":" + std::string(static_cast<size_t>(arrays), '[') + std::string(static_cast<size_t>(arrays), ']') +
         "}";
}

TEST(JsonRead, NestingIsBounded) {
  Object o;
  // The outer object is level 1.
  EXPECT_TRUE(o.parse(Nested(jsonxx::kMaxDepth - 1)));
  EXPECT_TRUE(o.has<Array>("a"));
  Object copy(o);  // copies and destroys the deepest allowed data
  EXPECT_EQ(Value(copy).get<Object>().json(), o.json());
  EXPECT_FALSE(o.parse(Nested(jsonxx::kMaxDepth)));
  EXPECT_TRUE(o.empty());

  std::string objects;
  for (int i = 0; i <= jsonxx::kMaxDepth; ++i) objects += "{\"k\":";
  objects += "1" + std::string(jsonxx::kMaxDepth + 1, '}');
  EXPECT_FALSE(o.parse(objects));
  EXPECT_TRUE(o.parse(objects.substr(5, objects.size() - 6)));  // one level less

  // A megabyte of openers fails cleanly, keeping what came before.
  std::string deep = "{\"ok\":true,\"x\":" + std::string(1 << 20, '[');
  EXPECT_FALSE(o.parse(deep));
  EXPECT_EQ(o.size(), 1u);
  EXPECT_TRUE(o.get<bool>("ok"));
}

TEST(JsonRead, Escapes) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"s":"q\" s\\ sl\/ \b\f\n\r\t end", "k\tey":'it\'s', "d":'say \"hi\"', "x":"\q\'"})"));
  EXPECT_EQ(o.get<std::string>("s"), "q\" s\\ sl/ \b\f\n\r\t end");
  EXPECT_EQ(o.get<std::string>("k\tey"), "it's");
  // Only the enclosing quote is an escape; other unknown escapes keep the backslash.
  EXPECT_EQ(o.get<std::string>("d"), "say \\\"hi\\\"");
  EXPECT_EQ(o.get<std::string>("x"), "\\q\\'");
}

TEST(JsonRead, UnicodeEscapesBecomeUtf8) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"e":"caf\u00e9","smile":"\ud83d\ude00","A":"\u0041\u00410","nul":"a\u0000b",)"
                      R"("euro":"\u20AC","lone_high":"x\ud800y","lone_low":"\udc00","high_high":"\ud83d\ud83d",)"
                      R"("short":"\u41\u","raw":"\xff bytes \u00ff"})"));
  EXPECT_EQ(o.get<std::string>("e"), "caf\xC3\xA9");
  EXPECT_EQ(o.get<std::string>("smile"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(o.get<std::string>("A"), "AA0");
  EXPECT_EQ(o.get<std::string>("nul"), std::string("a\0b", 3));
  EXPECT_EQ(o.get<std::string>("euro"), "\xE2\x82\xAC");
  // A surrogate that is not part of a pair becomes U+FFFD.
  EXPECT_EQ(o.get<std::string>("lone_high"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(o.get<std::string>("lone_low"), "\xEF\xBF\xBD");
  EXPECT_EQ(o.get<std::string>("high_high"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  // Fewer than four hex digits read what is there; none gives nothing.
  EXPECT_EQ(o.get<std::string>("short"), "A");
  EXPECT_EQ(o.get<std::string>("raw"), "\\xff bytes \xC3\xBF");
}

TEST(JsonRead, RawBytesAndControlCharactersAreKept) {
  std::string text = "{\"p\":\"/ifs/data/\xE6\x97\xA5\xff\x01\tx\"}";
  Object o;
  ASSERT_TRUE(o.parse(text));
  EXPECT_EQ(o.get<std::string>("p"), "/ifs/data/\xE6\x97\xA5\xff\x01\tx");
  // Embedded NUL in the text does not end it.
  std::string withNul("{\"a\":\"x\0y\",\"b\":1}", 18);
  ASSERT_TRUE(o.parse(withNul));
  EXPECT_EQ(o.get<std::string>("a"), std::string("x\0y", 3));
  EXPECT_TRUE(o.has<Number>("b"));
}

TEST(JsonRead, WordsAndKinds) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"t":true,"f":false,"n":null,"o":{},"a":[],"s":"","num":0})"));
  EXPECT_TRUE(o.has<bool>("t"));
  EXPECT_TRUE(o.get<bool>("t"));
  EXPECT_FALSE(o.get<bool>("f"));
  EXPECT_TRUE(o.has<Null>("n"));
  EXPECT_FALSE(o.has<std::string>("n"));
  EXPECT_FALSE(o.has<bool>("n"));
  EXPECT_TRUE(o.has<Object>("o"));
  EXPECT_TRUE(o.has<Array>("a"));
  EXPECT_TRUE(o.has<std::string>("s"));
  EXPECT_TRUE(o.has<long double>("num"));
  EXPECT_FALSE(o.has<long double>("s"));
  EXPECT_EQ(o.find("t")->type(), Value::BOOL_);
}

}  // namespace
