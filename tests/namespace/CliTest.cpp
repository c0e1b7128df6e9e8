// isilonctl ls, stat, copy and cluster as a real process against the simulated cluster: the tool's
// arguments, output and exit codes (what the operations do is left to the library's tests).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/Isilonctl.h"

namespace {

class NamespaceCli : public CtlFixture<NamespaceFixture> {
 protected:
  NamespaceCli() : CtlFixture("127.0.0.41") {}
  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(tree().Generate("/ifs/gen", 25, 0, 3), isim::ns::Status::kOk);
  }
};

TEST_F(NamespaceCli, ListsOnePageOrTheWholeDirectory) {
  ExpectRuns({{{"--json", "ls", "/ifs/gen", "--all", "--limit", "7"},
               0,
               "\"path\":\"/ifs/gen/f0000024\",\"size\":3,\"type\":\"object\"}\n  ],\n  \"complete\": true,\n  "
               "\"count\": 25,"}});
  EXPECT_EQ(Sent("GET").size(), 4u);

  // One page, then the next one from its token.
  nlohmann::json page = Ctl({"--json", "ls", "/ifs/gen/", "--limit", "20"}).Json();
  EXPECT_EQ(page["entries"].size(), 20u);
  page = Ctl({"--json", "ls", "/ifs/gen", "--limit", "20", "--resume", page.value("resume", "")}).Json();
  EXPECT_EQ(page["entries"].size(), 5u);
  EXPECT_EQ(page["resume"], "");
  ExpectRuns({
      {{"ls", "/ifs/gen", "--limit", "24"}, 0, "f0000023\n"},
      {{"ls", "/ifs/gen/", "--all", "--limit", "24"}, 0, "f0000024\n"},
      {{"ls", "/ifs/none"}, 3, "isilonctl: no such path: /ifs/none\n"},
      {{"stat", "/ifs/none"}, 3, "isilonctl: no such path: /ifs/none\n"},
  });

  // A cluster that hands the same token back would keep --all going for ever.
  server().faults().add(isim::Fault::repeatResume("/namespace").count(0));
  ExpectRuns({{{"--json", "ls", "/ifs/gen", "--all", "--limit", "10"}, 1, "\"complete\": false"}});
  server().faults().clear();

  // A page cut short in a reply that is valid HTTP: the walk is incomplete, never done early.
  const std::string cutPage = R"({"children":[{"name":"f0000000","type":"object","size":3}],"resume":"to)";
  server().faults().add(isim::Fault::replace("/namespace", 200, cutPage));
  ExpectRuns({{{"--json", "ls", "/ifs/gen", "--all", "--limit", "10"}, 1, "\"ok\": false"}});
  server().faults().add(isim::Fault::replace("/namespace", 200, cutPage));
  ExpectRuns({{{"--json", "find", "/ifs/gen"}, 1, "\"complete\": false"}});
  server().faults().clear();

  // A listing whose reader has gone stops after the first page, quietly.
  server().requestLog().clear();
  const CtlRun cut = Ctl({"ls", "/ifs/gen", "--all", "--limit", "5"}, CtlStdout::kBrokenPipe);
  EXPECT_EQ(cut.exitCode, 0);
  EXPECT_EQ(cut.err, "");
  EXPECT_EQ(Sent("GET").size(), 1u);
}

TEST_F(NamespaceCli, CopyStatAndClusterInformation) {
  AddFile("/ifs/data/plan.txt", 2048);
  const std::string copy = "/ifs/data/plan (copy).txt";
  ExpectRuns({
      {{"copy", "/ifs/data/plan.txt", copy + "/"}, 0, "Copied /ifs/data/plan.txt to " + copy + "\n"},
      {{"copy", "/ifs/data/plan.txt", copy}, 1, "isilonctl: copy failed: AEC_EXISTS"},
      {{"copy", "/ifs/data/plan.txt", copy, "--overwrite"}, 0, "Copied"},
      {{"stat", copy + "/"},
       0,
       "Path:     " + copy +
           "\nName:     plan (copy).txt\nType:     object\nMode:     0644\nOwner:    alice\nSize:     2048\n"
           "Modified: 2023-11-14 22:13:20 (1700000000)\n"},
      {{"--json", "stat", copy},
       0,
       "\"mode\": \"0644\",\n    \"mtime\": 1700000000,\n    \"name\": \"plan (copy).txt\",\n    \"owner\": "
       "\"alice\",\n    \"path\": \"" +
           copy + "\",\n    \"size\": 2048,\n    \"type\": \"object\"\n"},
      {{"--json", "cluster", "ips"}, 0, "\"ips\": [\n    \"192.0.2.1\",\n    \"192.0.2.2\",\n    \"192.0.2.3\"\n  ]"},
      {{"--json", "cluster", "version"}, 0, "\"id\": 2,\n      \"release\": \"8.0.1.2\","},
  });
}

}  // namespace
