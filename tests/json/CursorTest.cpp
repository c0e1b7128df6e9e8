// The in-place reader: what it takes reads exactly as Object::parse reads it; the lenient
// forms it leaves to Object::parse.
#include <gtest/gtest.h>

#include <string>

#include "json/Cursor.h"
#include "json/jsonxx.h"

using jsonxx::Cursor;
using jsonxx::Object;
using jsonxx::Value;

namespace {

// Rebuilds the value at the cursor with the module's own types (duplicate keys: last wins).
bool Rebuild(Cursor& c, Value& out) {
  switch (c.Peek()) {
    case '{': {
      Object o;
      const char* key;
      size_t length;
      if (!c.EnterObject()) return false;
      while (c.NextMember(key, length)) {
        Value member;
        if (!Rebuild(c, member)) return false;
        o.import(std::string(key, length), std::move(member));
      }
      out = Value(std::move(o));
      return c.ok();
    }
    case '[': {
      jsonxx::Array a;
      if (!c.EnterArray()) return false;
      while (c.NextElement()) {
        Value element;
        if (!Rebuild(c, element)) return false;
        a.import(std::move(element));
      }
      out = Value(std::move(a));
      return c.ok();
    }
    case '"': {
      std::string s;
      if (!c.ReadString(s)) return false;
      out = Value(std::move(s));
      return true;
    }
    case 't':
    case 'f':
    case 'n': return c.Skip();  // words are told apart by Object::parse; Skip checks the word
    default: {
      jsonxx::Number n;
      if (!c.ReadNumber(n)) return false;
      out = Value(n);
      return true;
    }
  }
}

TEST(JsonCursor, PlainTextsReadAsObjectParseReadsThem) {
  const char* texts[] = {
      R"({})",
      R"( { "a" : 1 , "b" : [ ] , "c" : { } } trailing)",
      R"({"n":[0,-0,1.5e3,-2.25,18446744073709551615,18446744073709551616,1e-400,123456789012345678901234567890]})",
      R"({"s":"plain","e":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00\ud800x\q","k":"x"})",
      R"({"dup":1,"dup":2,"z":"last","a":"first"})",
      R"({"deep":[[[[{"x":[{"y":{}}]}]]]]})",
      "{// a comment\n\"a\":1 // another\n}",
      R"({"children":[{"mode":"0644","mtime_val":1700000000,"name":"f1","owner":"root","size":1024,"type":"object"}],"resume":null})"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Object expected;
    ASSERT_TRUE(expected.parse(text));
    Cursor c(text, std::strlen(text));
    Value read;
    ASSERT_TRUE(Rebuild(c, read));
    ASSERT_TRUE(c.ok());
    // Words are not rebuilt, so compare without them: none of these texts has one but "null".
    if (std::string(text).find("null") == std::string::npos) {
      EXPECT_EQ(read.json(), Value(expected).json());
    }
  }
}

TEST(JsonCursor, LenientOrBrokenFormsAreLeftToObjectParse) {
  const char* texts[] = {R"({'a':1})",
                         R"({"a":'x'})",
                         R"({"a":1,})",
                         R"({"a":[1,]})",
                         R"({"a":[1,,2]})",
                         R"({"a":[,1]})",
                         R"({"a\u0062":1})",
                         R"({"a":tru})",
                         R"({"a":1 "b":2})",
                         R"({"a":)",
                         R"({"a":"unterminated)",
                         R"({"a":1e})",
                         R"({"a":})",
                         R"({"a":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]})",
                         ""};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Cursor c(text, std::strlen(text));
    EXPECT_FALSE(c.Skip() && c.ok());
    EXPECT_FALSE(c.ok());
  }
}

}  // namespace
