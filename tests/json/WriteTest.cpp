// Writing request bodies: exact text, and what reading it back gives.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "json/jsonxx.h"

using jsonxx::Array;
using jsonxx::Null;
using jsonxx::Object;
using jsonxx::Value;

namespace {

std::string Written(const Object& o) {
  std::ostringstream out;
  out << o;
  return out.str();
}

TEST(JsonWrite, ExactText) {
  Object o;
  EXPECT_EQ(Written(o), "{}");
  o.import("b", Value("x/y"));
  o.import("a", Value(5));
  EXPECT_EQ(Written(o), R"({"a": 5, "b": "x\/y"})");

  Object body;
  body.import("type", Value("ChangelistCreate"));
  body.import("allow_dup", Value(false));
  Array paths;
  paths.import(Value(2.5L));
  paths.import(Value(1000000));
  paths.import(Value(Null()));
  paths.import(Value(Object()));
  paths.import(Value(Array()));
  body.import("list", Value(paths));
  body.import("none", Value());  // Invalid writes nothing
  EXPECT_EQ(Written(body),
            R"({"allow_dup": false, "list": [2.5, 1e+06, null, {}, []], "none": , "type": "ChangelistCreate"})");
}

TEST(JsonWrite, NumberFormatting) {
  struct Case {
    long double n;
    const char* text;
  } cases[] = {{5, "5"},
               {2.5L, "2.5"},
               {1000000, "1e+06"},
               {999999, "999999"},
               {0.0001L, "0.0001"},
               {0.00001L, "1e-05"},
               {-0.0L, "-0"},
               {1234567, "1.23457e+06"},
               {1.0L / 3, "0.333333"},
               {18446744073709551615.0L, "1.84467e+19"},
               {100, "100"}};
  for (const Case& c : cases) EXPECT_EQ(Value(c.n).json(), c.text);
}

TEST(JsonWrite, StringEscapes) {
  std::string s = "q\" b\\ s/ \b\t\n\f\r \x01\x1f\x7f \xC3\xA9\xff";
  s += '\0';
  Value v(s);
  EXPECT_EQ(v.json(), "\"q\\\" b\\\\ s\\/ \\b\\t\\n\\f\\r \\u0001\\u001f\x7f \xC3\xA9\xff\\u0000\"");
  // Reading the text back gives the same bytes.
  Object o;
  o.import("k/\x1f", v);
  Object back;
  ASSERT_TRUE(back.parse(o.json()));
  EXPECT_EQ(back.get<std::string>("k/\x1f"), s);
}

TEST(JsonWrite, ArrayAndValueToStream) {
  Array a;
  a.import(Value(true));
  a.import(Value("t"));
  std::ostringstream out;
  out << a << ' ' << Value(Null()) << ' ' << Value(a);
  EXPECT_EQ(out.str(), R"([true, "t"] null [true, "t"])");
}

TEST(JsonWrite, LenientReplyIsWrittenStrictly) {
  const std::string reply =
      "{'resume':'r1', // page token\n \"snapshots\":[{\"id\":1234567890123456789,\"name\":\"daily\",\"path\":"
      "\"/ifs/data\",\"size\":1.5e3,\"has_locks\":false,\"expires\":null},,],\"total\":2}";
  Object first;
  ASSERT_TRUE(first.parse(reply));
  EXPECT_EQ(first.json(), R"({"resume": "r1", "snapshots": [{"expires": null, "has_locks": false, "id": 1.23457e+18, )"
                          R"("name": "daily", "path": "\/ifs\/data", "size": 1500}, null], "total": 2})");
}

}  // namespace
