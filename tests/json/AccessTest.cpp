// Access to members and elements, broken preconditions, ownership.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "json/jsonxx.h"

using jsonxx::Array;
using jsonxx::Null;
using jsonxx::Number;
using jsonxx::Object;
using jsonxx::Value;

namespace {

const char kReply[] =
    R"({"shares":[{"name":"home","path":"/ifs/home"},"not an object",7],"total":3,"resume":null,"ok":true})";

TEST(JsonAccess, BrokenPreconditionsReportAndGiveEmptyValues) {
  Object o;
  ASSERT_TRUE(o.parse(kReply));
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.get<std::string>("missing"), "");
  EXPECT_EQ(o.get<std::string>("total"), "");
  EXPECT_EQ(o.get<Number>("resume"), 0);
  EXPECT_FALSE(o.get<bool>("total"));
  EXPECT_TRUE(o.get<Object>("shares").empty());
  EXPECT_TRUE(o.get<Array>("ok").empty());
  const Array& shares = o.get<Array>("shares");
  EXPECT_TRUE(shares.get<Object>(1).empty());
  EXPECT_EQ(shares.get<std::string>(2), "");
  EXPECT_TRUE(shares.get<Object>(3).empty());
  EXPECT_EQ(o.find("ok")->get<Number>(), 0);
  std::string err = testing::internal::GetCapturedStderr();

  for (const char* failed : {"has<T>(key)", "is<Object>()", "is<String>()", "i < size()", "is<Number>()"}) {
    EXPECT_NE(err.find(std::string("[JSONXX] expression '") + failed + "' failed at "), std::string::npos) << err;
  }
  EXPECT_NE(err.find("jsonxx.h:"), std::string::npos) << err;
  EXPECT_NE(err.find(" -> "), std::string::npos) << err;
  // Good reads stay quiet and return the real content.
  testing::internal::CaptureStderr();
  EXPECT_EQ(shares.get<Object>(0).get<std::string>("path"), "/ifs/home");
  EXPECT_EQ(o.get<Number>("total"), 3);
  EXPECT_TRUE(o.get<bool>("ok"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(JsonAccess, ChangingAnEmptyValueDoesNotReachTheNextCaller) {
  Object o;
  testing::internal::CaptureStderr();
  o.get<std::string>("a") = "corrupted";
  o.get<Number>("a") = 42;
  o.get<bool>("a") = true;
  o.get<Array>("a").import(Value(1));
  o.get<Object>("a").import("k", Value(1));
  EXPECT_EQ(o.get<std::string>("b"), "");
  EXPECT_EQ(o.get<Number>("b"), 0);
  EXPECT_FALSE(o.get<bool>("b"));
  EXPECT_TRUE(o.get<Array>("b").empty());
  EXPECT_TRUE(o.get<Object>("b").empty());
  Array a;
  a.get<Object>(0).import("k", Value(2));
  EXPECT_TRUE(a.get<Object>(5).empty());
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(o.empty());
}

TEST(JsonAccess, EmptyValuesAreSeparatePerThread) {
  testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &bad] {
      Object o;
      for (int i = 0; i < 200; ++i) {
        std::string& s = o.get<std::string>("none");
        if (!s.empty()) ++bad[static_cast<size_t>(t)];
        s.assign(100, static_cast<char>('a' + t));
        Array& a = o.get<Array>("none");
        if (!a.empty()) ++bad[static_cast<size_t>(t)];
        a.import(Value(i));
      }
    });
  }
  for (auto& th : threads) th.join();
  testing::internal::GetCapturedStderr();
  for (int b : bad) EXPECT_EQ(b, 0);
}

TEST(JsonAccess, CopiesAreDeep) {
  Object o;
  ASSERT_TRUE(o.parse(kReply));
  Object copy(o);
  copy.get<Array>("shares").get<Object>(0).import("name", Value("changed"));
  copy.import("total", Value(9));
  EXPECT_EQ(o.get<Array>("shares").get<Object>(0).get<std::string>("name"), "home");
  EXPECT_EQ(o.get<Number>("total"), 3);

  Array a = o.get<Array>("shares");
  Array b;
  b = a;
  b.get<Object>(0).import("path", Value("/x"));
  EXPECT_EQ(a.get<Object>(0).get<std::string>("path"), "/ifs/home");

  Value v(o);
  Value w;
  w = v;
  w.get<Object>().import("ok", Value(false));
  EXPECT_TRUE(v.get<Object>().get<bool>("ok"));
}

TEST(JsonAccess, AssigningFromOwnContent) {
  Object o;
  ASSERT_TRUE(o.parse(R"({"outer":{"inner":{"leaf":"x"}}})"));
  Value v(o);
  v = v.get<Object>().get<Object>("outer");
  EXPECT_EQ(v.json(), R"({"inner": {"leaf": "x"}})");
  v = std::move(v.get<Object>().find("inner")->get<Object>());
  EXPECT_EQ(v.json(), R"({"leaf": "x"})");
  Value s("text");
  s = s;
  EXPECT_EQ(s.get<std::string>(), "text");
}

TEST(JsonAccess, ImportReplacesAndKeepsOrder) {
  Object o;
  o.import("m", Value(1));
  o.import("c", Value("c"));
  o.import("x", Value(true));
  o.import("m", Value(Null()));
  EXPECT_EQ(o.size(), 3u);
  EXPECT_TRUE(o.has<Null>("m"));
  std::string keys;
  for (const auto& m : o.kv_map()) keys += m.first;
  EXPECT_EQ(keys, "cmx");
}

// The kinds WriteTest does not already pin down through the written text.
TEST(JsonAccess, ValueKinds) {
  EXPECT_EQ(Value(7u).type(), Value::NUMBER_);
  EXPECT_EQ(Value(std::string("s")).type(), Value::STRING_);
  Value v(3);
  EXPECT_TRUE(v.is<Number>());
  EXPECT_FALSE(v.is<std::string>());
  v.reset();
  EXPECT_EQ(v.type(), Value::INVALID_);
  EXPECT_EQ(v.json(), "");
}

}  // namespace
