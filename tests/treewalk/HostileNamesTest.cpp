// A server that lists entries whose names name no child of their directory: the walk (and
// isilonctl find) reports each, follows none, and ends.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "isilon/IsilonTreeWalk.h"
#include "sim/core/Faults.h"
#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/Isilonctl.h"

namespace {

using isim::ns::Status;

// Names that must not be followed, and names beside them that must.
const std::vector<std::string> kUnfollowable = {
    std::string(1, '\0'), ".", "..", "", "a/b", "/", std::string("x\0y", 3), std::string("..\0", 3)};
const std::vector<std::string> kFollowable = {"ok", "...", ".hidden", "a\nb"};

class HostileNamesTest : public NamespaceFixture {
 protected:
  HostileNamesTest() : NamespaceFixture("127.0.0.142") {}

  void SetUp() override {
    NamespaceFixture::SetUp();
    if (HasFatalFailure()) return;
    for (const std::string& name : kFollowable) AddFile("/ifs/h/" + name + "/f", 1);
    // The listing of /ifs/h itself is the server's lie, on every request for it.
    nlohmann::json children = nlohmann::json::array();
    for (const auto* names : {&kUnfollowable, &kFollowable}) {
      for (const std::string& name : *names) {
        children.push_back({{"name", name},
                            {"mtime_val", 1700000000},
                            {"owner", "root"},
                            {"mode", "0755"},
                            {"type", "container"},
                            {"size", 0}});
      }
    }
    isim::Fault lie = isim::Fault::replace("", 200, nlohmann::json{{"children", children}}.dump());
    lie.regex = "^/namespace/ifs/h/\\?";
    server().faults().add(lie.count(0));
  }

  std::set<std::string> Followed() {
    std::set<std::string> paths;
    for (const std::string& name : kFollowable) {
      paths.insert("/ifs/h/" + name);
      paths.insert("/ifs/h/" + name + "/f");
    }
    return paths;
  }
};

TEST_F(HostileNamesTest, TheWalkReportsEachAndFollowsNone) {
  for (int parallel : {1, 4}) {
    SCOPED_TRACE(parallel);
    server().requestLog().clear();
    IsilonTreeWalk walk(address(), user(), password());
    walk.SetParallel(parallel);
    std::set<std::string> paths;
    walk.OnPage([&](const std::string& dir, std::vector<_IsilonFileInfo>& entries) {
      for (const auto& e : entries) {
        EXPECT_EQ(e.strPath, dir + "/" + e.strName);
        paths.insert(e.strPath);
      }
      return true;
    });
    EXPECT_FALSE(walk.Run("/ifs/h"));
    EXPECT_EQ(paths, Followed());
    ASSERT_EQ(walk.Failures().size(), kUnfollowable.size());
    for (const IsilonTreeWalkFailure& f : walk.Failures()) {
      EXPECT_EQ(f.strPath, "/ifs/h");
      EXPECT_EQ(f.strCode, "Internal Error");
      EXPECT_NE(f.strMessage.find("names no entry of the directory"), std::string::npos) << f.strMessage;
      EXPECT_EQ(f.strMessage.find('\0'), std::string::npos);
    }
    // Each directory asked for once: /ifs/h, and each followable child.
    EXPECT_EQ(Sent("GET", "/namespace/ifs/h/?").size(), 1u);
    EXPECT_EQ(Sent("GET", "/namespace").size(), 1 + kFollowable.size());
  }
}

TEST_F(HostileNamesTest, IsilonctlFindEnds) {
  if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  const CtlRun run = RunIsilonctl({address(), user(), password(), certPath()}, {"find", "/ifs/h", "--parallel", "2"});
  EXPECT_EQ(run.exitCode, 6) << run.err;  // done in part
  EXPECT_NE(run.out.find("/ifs/h/ok/f\n"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("cannot read /ifs/h: [Internal Error]"), std::string::npos) << run.err;
  EXPECT_EQ(Sent("GET", "/namespace/ifs/h/?").size(), 1u);
}

}  // namespace
