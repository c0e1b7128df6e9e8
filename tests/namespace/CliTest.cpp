// isilonctl ls, stat, copy and cluster as a real process against the simulated cluster.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/Isilonctl.h"

namespace {

using nlohmann::json;

class NamespaceCli : public NamespaceFixture {
 protected:
  NamespaceCli() : NamespaceFixture("127.0.0.41") {}

  void SetUp() override {
    NamespaceFixture::SetUp();
    if (HasFatalFailure()) return;
    if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    return RunIsilonctl({address(), user(), password(), certPath()}, args);
  }

  static json Parse(const CtlRun& run) {
    json value = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << run.out;
    return value;
  }
};

TEST_F(NamespaceCli, ListsPagesOrWholeDirectoriesAndStopsOnARepeatedToken) {
  ASSERT_EQ(tree().Generate("/ifs/gen", 25, 0, 3), isim::ns::Status::kOk);

  CtlRun all = Ctl({"--json", "ls", "/ifs/gen", "--all", "--limit", "7"});
  ASSERT_EQ(all.exitCode, 0) << all.out;
  json listed = Parse(all);
  EXPECT_EQ(listed["count"], 25);
  EXPECT_EQ(listed["complete"], true);
  EXPECT_EQ(listed["entries"][24]["path"], "/ifs/gen/f0000024");
  EXPECT_EQ(Sent("GET").size(), 4u);

  // One page, then the next one from its token.
  json page = Parse(Ctl({"--json", "ls", "/ifs/gen", "--limit", "20"}));
  EXPECT_EQ(page["entries"].size(), 20u);
  const std::string token = page["resume"];
  ASSERT_FALSE(token.empty());
  page = Parse(Ctl({"--json", "ls", "/ifs/gen", "--limit", "20", "--resume", token}));
  EXPECT_EQ(page["entries"].size(), 5u);
  EXPECT_EQ(page["resume"], "");

  // A cluster that hands the same token back would keep --all going for ever.
  server().faults().add(isim::Fault::repeatResume("/namespace").count(0));
  CtlRun looping = Ctl({"--json", "ls", "/ifs/gen", "--all", "--limit", "10"});
  server().faults().clear();
  EXPECT_EQ(looping.exitCode, 1);
  EXPECT_EQ(Parse(looping)["complete"], false);

  EXPECT_EQ(Ctl({"ls", "/ifs/gen", "--limit", "0"}).exitCode, 2);
}

TEST_F(NamespaceCli, MissingPathsTrailingSlashesAndAReaderThatGoesAway) {
  ASSERT_EQ(tree().Generate("/ifs/gen", 25, 0, 3), isim::ns::Status::kOk);
  for (const char* command : {"ls", "stat"}) {
    const CtlRun run = Ctl({command, "/ifs/none"});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_EQ(run.err, "isilonctl: no such path: /ifs/none\n") << command;
  }
  const CtlRun all = Ctl({"ls", "/ifs/gen/", "--all", "--limit", "24"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  EXPECT_NE(all.out.find("\n25 entries\n"), std::string::npos) << all.out;
  EXPECT_EQ(Ctl({"stat", "/ifs/gen/"}).exitCode, 0);

  // A listing whose reader has gone stops after the first page, quietly.
  server().requestLog().clear();
  const CtlRun cut = RunIsilonctlRaw({"--server", address(), "--user", user(), "--password-stdin", "--ca-file",
                                      certPath(), "ls", "/ifs/gen", "--all", "--limit", "5"},
                                     password() + "\n", CtlStdout::kBrokenPipe);
  EXPECT_EQ(cut.exitCode, 0);
  EXPECT_EQ(cut.err, "");
  EXPECT_EQ(Sent("GET").size(), 1u);
}

TEST_F(NamespaceCli, CopyStatAndClusterInformation) {
  AddFile("/ifs/data/plan.txt", 2048);
  ASSERT_EQ(Ctl({"copy", "/ifs/data/plan.txt", "/ifs/data/plan (copy).txt"}).exitCode, 0);
  EXPECT_EQ(Ctl({"copy", "/ifs/data/plan.txt", "/ifs/data/plan (copy).txt"}).exitCode, 1);
  EXPECT_EQ(Ctl({"copy", "/ifs/data/plan.txt", "/ifs/data/plan (copy).txt", "--overwrite"}).exitCode, 0);

  const json attributes = Parse(Ctl({"--json", "stat", "/ifs/data/plan (copy).txt"}))["attributes"];
  EXPECT_EQ(attributes["size"], 2048);
  EXPECT_EQ(attributes["type"], "object");
  EXPECT_EQ(attributes["path"], "/ifs/data/plan (copy).txt");

  EXPECT_EQ(Parse(Ctl({"--json", "cluster", "ips"}))["ips"], json({"192.0.2.1", "192.0.2.2", "192.0.2.3"}));
  const json nodes = Parse(Ctl({"--json", "cluster", "version"}))["nodes"];
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[1]["id"], 2);
  EXPECT_EQ(nodes[1]["release"], "9.5.0.0");
}

}  // namespace
