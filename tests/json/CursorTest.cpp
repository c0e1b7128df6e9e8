// The in-place reader: what it takes reads exactly as Object::parse reads it; the lenient
// forms it leaves to Object::parse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/Cursor.h"
#include "json/Whole.h"
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
    case 'n': {
      const char word = c.Peek();
      if (!c.Skip()) return false;
      out = word == 't' ? Value(true) : word == 'f' ? Value(false) : Value(jsonxx::Null());
      return true;
    }
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
                         "{// a comment\n\"a\":1 // another\n}",
                         "{\"a\":1 // a comment\n}",
                         R"({"a":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]})",
                         ""};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Cursor c(text, std::strlen(text));
    EXPECT_FALSE(c.Skip() && c.ok());
    EXPECT_FALSE(c.ok());
  }
}

// The value of `text` as the cursor reads it, or "" when the cursor does not take it.
std::string CursorRead(const std::string& text) {
  Cursor c(text.data(), text.size());
  Value read;
  if (!Rebuild(c, read) || !c.AtEnd()) return "";
  return read.json();
}

// The value of `text` as the general reader reads it, or "" when it does not.
std::string WholeRead(const std::string& text) {
  Object o;
  return jsonxx::ParseWhole(text, o) ? Value(o).json() : "";
}

// A page in the cluster's own layout: line breaks after '{', '[' and ',', " : " between key
// and value, a line break before each element of an array.
TEST(JsonCursor, TakesTheClustersSpacedLayout) {
  const char* texts[] = {
      "{\n\"children\" : \n[\n\n{\n\"mode\" : \"0644\",\n\"mtime_val\" : 1700000000,\n\"name\" : \"f1\",\n"
      "\"owner\" : \"root\",\n\"size\" : 1024,\n\"type\" : \"object\"\n},\n\n{\n\"mode\" : \"0755\",\n"
      "\"mtime_val\" : 1700000001,\n\"name\" : \"d1\",\n\"owner\" : \"admin\",\n\"size\" : 0,\n"
      "\"type\" : \"container\"\n}\n],\n\"resume\" : \"tok\"\n}",
      "{\n\"lins\" : \n[\n\n{\n\"atime\" : \n{\n\"nsec\" : 0,\n\"sec\" : 1700000000\n},\n\"id\" : \"4295000001\",\n"
      "\"path\" : \"/ifs/data/a\",\n\"size\" : 12,\n\"type\" : \"regular\"\n}\n],\n\"resume\" : null,\n"
      "\"total\" : 1\n}\n",
      "{\n\"errors\" : \n[\n\n{\n\"code\" : \"AEC_BAD_REQUEST\",\n\"field\" : \"simultaneous\",\n"
      "\"message\" : \"Field: simultaneous has error: A property was present that is not defined by the schema.\"\n},"
      "\n\n{\n\"code\" : \"AEC_BAD_REQUEST\",\n\"message\" : \"Input validation failed.\"\n}\n]\n}"};
  for (const std::string text : texts) {
    SCOPED_TRACE(text);
    ASSERT_NE(WholeRead(text), "");
    EXPECT_EQ(CursorRead(text), WholeRead(text));
  }
}

// Every white space RFC 8259 allows, alone and in runs, at every place between tokens: the
// cursor reads the text as it reads it without. Any other character there, those next to them
// in the code table, the general reader's vertical tab and form feed, and look-alikes beyond
// ASCII included, stops it: such a text is left to the general reader.
TEST(JsonCursor, TakesRfcWhiteSpaceOnEachSideOfEveryTokenAndNothingElse) {
  const std::vector<std::string> tokens = {
      "{", "\"a\"", ":", "[",     "1", ",",    "{", "\"b\"", ":", "\"x y\"", "}", ",",     "[", "]",    ",", "{",
      "}", "]",     ",", "\"c\"", ":", "null", ",", "\"d\"", ":", "-2.5e3",  ",", "\"e\"", ":", "true", "}"};
  std::string compact;
  for (const std::string& token : tokens) compact += token;
  const std::string expected = WholeRead(compact);
  ASSERT_NE(expected, "");
  ASSERT_EQ(CursorRead(compact), expected);

  const std::vector<std::string> rfcSpace = {" ", "\t", "\n", "\r", " \n", "\n ", "\r\n", "\n\n\t  \r "};
  // Just below and above each of them, the two between LF and CR, and two that are white
  // space elsewhere (NEL and no-break space in Latin-1, U+00A0 in UTF-8); also after a space.
  const std::vector<std::string> others = {"\x08", "\x0e", "\x1f",     "!",     "\x0b",   "\x0c",
                                           "\x85", "\xa0", "\xc2\xa0", " \x0b", "\n\x0c", std::string(1, '\0')};
  for (size_t gap = 0; gap <= tokens.size(); ++gap) {
    auto joined = [&](const std::string& space) {
      std::string text;
      for (size_t i = 0; i < tokens.size(); ++i) text += (i == gap ? space : "") + tokens[i];
      return gap == tokens.size() ? text + space : text;
    };
    for (const std::string& space : rfcSpace) {
      SCOPED_TRACE("gap " + std::to_string(gap) + ", white space of " + std::to_string(space.size()));
      EXPECT_EQ(CursorRead(joined(space)), expected);
    }
    for (const std::string& other : others) {
      SCOPED_TRACE("gap " + std::to_string(gap) + ", character " +
                   std::to_string(static_cast<unsigned char>(other.back())));
      EXPECT_EQ(CursorRead(joined(other)), "");
    }
  }
}

}  // namespace
