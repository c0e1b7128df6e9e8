// The bare tree walk's text scan of a listing page (bench/PageScan.h), on pages written by the
// simulator's own writer in both of its layouts: the scan must find the same entries,
// subdirectories and resume token in each, or the bare walk measures another work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/PageScan.h"
#include "sim/core/Http.h"

namespace {

nlohmann::json Entry(const std::string& name, const std::string& type) {
  return {{"name", name}, {"type", type}, {"size", 0}, {"owner", "root"}, {"mode", "0755"}, {"mtime_val", 1}};
}

struct Scanned {
  size_t entries = 0;
  std::vector<std::string> containers;
  std::string resume;
};

Scanned Scan(const std::string& body) {
  Scanned s;
  s.entries = bare::ScanListing(body, [&](bare::Span name) {
    s.containers.push_back(name.at == std::string::npos ? "<none>" : body.substr(name.at, name.length));
  });
  s.resume = bare::ResumeOf(body);
  return s;
}

TEST(PageScanTest, FindsTheSameEntriesAndTokenInBothLayouts) {
  const struct {
    const char* what;
    nlohmann::json page;
    size_t entries;
    std::vector<std::string> containers;
    std::string resume;
  } cases[] = {
      {"no entries, last page", {{"children", nlohmann::json::array()}, {"resume", nullptr}}, 0, {}, ""},
      {"one file, more to come", {{"children", {Entry("f", "object")}}, {"resume", "AbC-_1"}}, 1, {}, "AbC-_1"},
      // Names that are the scan's own keys and value, and a type one letter off "container" on
      // each side, are no subdirectories.
      {"names like keys, types near container",
       {{"children",
         {Entry("type", "object"), Entry("container", "object"), Entry("d1", "container"), Entry("x", "containe"),
          Entry("y", "containers"), Entry("name", "container")}},
        {"resume", nullptr}},
       6,
       {"d1", "name"},
       ""},
  };
  for (const auto& c : cases) {
    for (const bool compact : {true, false}) {
      const std::string body = isim::formatJson(c.page, compact);
      SCOPED_TRACE(std::string(c.what) + (compact ? ", compact" : ", spaced") + ":\n" + body);
      ASSERT_EQ(body.find('\n') == std::string::npos, compact);
      const Scanned s = Scan(body);
      EXPECT_EQ(s.entries, c.entries);
      EXPECT_EQ(s.containers, c.containers);
      EXPECT_EQ(s.resume, c.resume);
    }
  }
}

TEST(PageScanTest, KeyNeedsItsColonAfterAnySpace) {
  // The first "type" is a value (a comma follows), the second a key.
  const std::string body = "{\"type\" , \"type\" \n\t: \"container\"}";
  const size_t key = body.find("\"type\"", 2);
  EXPECT_EQ(bare::FindKey(body, "\"type\"", 0), key);
  EXPECT_EQ(bare::FindKey(body, "\"type\"", 0, key + 1), key);
  EXPECT_EQ(bare::FindKey(body, "\"type\"", 0, key), std::string::npos);
  EXPECT_EQ(bare::FindKey("{\"type\" }", "\"type\"", 0), std::string::npos);
  EXPECT_EQ(bare::FindKey("{\"type\" }", "\"type\"", 0), std::string::npos);
}

}  // namespace
