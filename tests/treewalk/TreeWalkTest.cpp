// IsilonTreeWalk over the real transport against the simulated cluster, and isilonctl find/du.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "isilon/IsilonTreeWalk.h"
#include "sim/core/Faults.h"
#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/LogCapture.h"

namespace {

using isim::ns::Status;

class TreeWalkTest : public NamespaceFixture {
 protected:
  TreeWalkTest() : NamespaceFixture("127.0.0.117") {}

  // Every path below `root` as the cluster holds it.
  std::set<std::string> Expected(const std::string& root) {
    std::set<std::string> paths;
    tree().Walk(root, [&](const isim::ns::Entry& e) {
      if (e.path != root) paths.insert(e.path);
    });
    return paths;
  }

  struct Result {
    bool complete = false;
    std::set<std::string> paths;
    size_t delivered = 0;  // entries handed over, repeats included
    std::vector<IsilonTreeWalkFailure> failures;
  };
  Result Walk(const std::string& root, int parallel, int pageSize, size_t maxPending) {
    IsilonTreeWalk walk(address(), user(), password());
    EXPECT_TRUE(walk.SetParallel(parallel) && walk.SetPageSize(pageSize) && walk.SetMaxPending(maxPending));
    return Walk(walk, root);
  }
  Result Walk(IsilonTreeWalk& walk, const std::string& root) {
    Result r;
    walk.OnPage([&](const std::string& dir, std::vector<_IsilonFileInfo>& entries) {
      for (const auto& e : entries) {
        EXPECT_EQ(e.strPath, dir + "/" + e.strName);
        r.paths.insert(e.strPath);
      }
      r.delivered += entries.size();
      return true;
    });
    r.complete = walk.Run(root);
    r.failures = walk.Failures();
    EXPECT_EQ(walk.Entries(), r.delivered);
    return r;
  }
};

TEST_F(TreeWalkTest, OneSessionWithRoomInTheQueueHandsSiblingsOverInNameOrder) {
  for (const char* file : {"/ifs/o/a/f", "/ifs/o/b/x/f", "/ifs/o/b/y/f", "/ifs/o/c/f"}) AddFile(file, 1);
  IsilonTreeWalk walk(address(), user(), password());
  ASSERT_TRUE(walk.SetParallel(1));
  std::vector<std::string> order;
  walk.OnPage([&](const std::string& dir, std::vector<_IsilonFileInfo>&) {
    order.push_back(dir);
    return true;
  });
  ASSERT_TRUE(walk.Run("/ifs/o"));
  EXPECT_EQ(order,
            (std::vector<std::string>{"/ifs/o", "/ifs/o/a", "/ifs/o/b", "/ifs/o/c", "/ifs/o/b/x", "/ifs/o/b/y"}));
}

TEST_F(TreeWalkTest, OneSessionAndManyGiveExactlyTheTreesEntries) {
  // Wide: 40 directories of 7 or 8 files under one; deep: 70 levels with a file at each.
  ASSERT_EQ(tree().Generate("/ifs/wide", 300, 40), Status::kOk);
  std::string deep = "/ifs/deep";
  for (int level = 0; level < 70; ++level) {
    deep += "/l" + std::to_string(level);
    AddFile(deep + "/f", 1);
  }
  const struct {
    const char* root;
    int parallel;
    int pageSize;
    size_t maxPending;
  } cases[] = {
      {"/ifs/wide", 1, 1000, 4096},
      {"/ifs/wide", 6, 1000, 4096},
      // A queue of 1 and pages of 3: most subdirectories are read depth first by the worker
      // that found them, and every directory takes several pages.
      {"/ifs/wide", 1, 3, 1},
      {"/ifs/wide/", 6, 3, 1},
      {"/ifs/deep", 1, 2, 1},
      {"/ifs/deep", 4, 2, 1},
      {"/ifs", 8, 5, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.root) + " x" + std::to_string(c.parallel) + " page " + std::to_string(c.pageSize));
    const std::string root = std::string(c.root) == "/ifs/wide/" ? "/ifs/wide" : c.root;
    const Result r = Walk(c.root, c.parallel, c.pageSize, c.maxPending);
    EXPECT_TRUE(r.complete);
    EXPECT_TRUE(r.failures.empty());
    EXPECT_EQ(r.paths, Expected(root));
    EXPECT_EQ(r.delivered, r.paths.size());  // nothing twice
  }
}

TEST_F(TreeWalkTest, EveryRecordIsTheEntrysWhateverTheCallbackDidWithTheLastPage) {
  // A worker reads every page into the same records: nothing of an earlier page (another
  // directory's path, a longer name, a file's size on a directory) may show through, whether
  // the callback left the records, took them, emptied the vector or grew it.
  AddFile("/ifs/r/a/long-file-name-number-one", 123456789, "alice", "0600", 1700000001);
  AddFile("/ifs/r/a/f2", 2, "bob", "0644", 1700000002);
  AddFile("/ifs/r/a/f3", 3, "carol", "0640", 1700000003);
  AddFile("/ifs/r/b/x", 0, "root", "0777", 1);  // one fewer than a page, then one entry
  AddFile("/ifs/r/b/sub/deeper/y", 77, "dave", "0444", 1800000000);
  AddFile("/ifs/r/c", 9, "erin", "0755", 5);
  std::map<std::string, std::string> expected;
  auto describe = [](const std::string& path, const std::string& name, const std::string& type, uint64_t size,
                     const std::string& owner, const std::string& mode, uint64_t mtime) {
    return path + "|" + name + "|" + type + "|" + std::to_string(size) + "|" + owner + "|" + mode + "|" +
           std::to_string(mtime);
  };
  tree().Walk("/ifs/r", [&](const isim::ns::Entry& e) {
    if (e.path != "/ifs/r") expected[e.path] = describe(e.path, e.name, e.typeName(), e.size, e.owner, e.mode, e.mtime);
  });
  enum class Does { kLeaves, kTakes, kClears, kGrows };
  for (const Does does : {Does::kLeaves, Does::kTakes, Does::kClears, Does::kGrows}) {
    for (const int pageSize : {2, 3, 4}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(does)) + " pages of " + std::to_string(pageSize));
      IsilonTreeWalk walk(address(), user(), password());
      ASSERT_TRUE(walk.SetParallel(1) && walk.SetPageSize(pageSize));
      std::map<std::string, std::string> seen;
      walk.OnPage([&](const std::string&, std::vector<_IsilonFileInfo>& entries) {
        for (const _IsilonFileInfo& e : entries) {
          EXPECT_TRUE(seen.emplace(e.strPath,
                                   describe(e.strPath, e.strName, e.strType, e.nSize, e.strOwner, e.strMode, e.nMtime))
                          .second);
        }
        if (does == Does::kTakes) {
          std::vector<_IsilonFileInfo> taken;
          for (_IsilonFileInfo& e : entries) taken.push_back(std::move(e));
        } else if (does == Does::kClears) {
          entries.clear();
        } else if (does == Does::kGrows) {
          _IsilonFileInfo extra;
          extra.strPath = "/ifs/r/not-listed/with-a-long-path-that-is-not-the-entrys";
          extra.strType = "container";
          extra.nSize = 42;
          entries.insert(entries.end(), 3, extra);
        }
        return true;
      });
      EXPECT_TRUE(walk.Run("/ifs/r"));
      EXPECT_EQ(seen, expected);
    }
  }
}

TEST_F(TreeWalkTest, AFailingDirectoryIsReportedAndTheRestWalked) {
  ASSERT_EQ(tree().Generate("/ifs/t", 60, 6), Status::kOk);  // 10 files in each of d000000..d000005
  // d000002 fails at its first page, d000004 at its second (pages of 4).
  for (const auto& at : {std::make_tuple(404, "AEC_NOT_FOUND", "^/namespace/ifs/t/d000002/\\?"),
                         std::make_tuple(500, "AEC_EXCEPTION", "^/namespace/ifs/t/d000004/\\?.*resume=")}) {
    isim::Fault fault = isim::Fault::error("", std::get<0>(at), std::get<1>(at), "gone");
    fault.regex = std::get<2>(at);
    server().faults().add(fault.count(0));
  }
  std::set<std::string> expected;
  for (const std::string& path : Expected("/ifs/t"))
    if (path.compare(0, 17, "/ifs/t/d000002/f0") != 0 && path.compare(0, 17, "/ifs/t/d000004/f0") != 0)
      expected.insert(path);
  isim::ns::Page page;
  ASSERT_EQ(tree().List("/ifs/t/d000004", "", 4, page), Status::kOk);
  for (const auto& e : page.entries) expected.insert(e.path);

  for (int parallel : {1, 3}) {
    SCOPED_TRACE(parallel);
    const Result r = Walk("/ifs/t", parallel, 4, 4096);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.paths, expected);
    std::multiset<std::string> failed;
    for (const auto& f : r.failures) failed.insert(f.strPath + " " + f.strCode);
    EXPECT_EQ(failed, (std::multiset<std::string>{"/ifs/t/d000002 AEC_NOT_FOUND", "/ifs/t/d000004 AEC_EXCEPTION"}));
  }
}

TEST_F(TreeWalkTest, TheCallbackStopsTheWalk) {
  ASSERT_EQ(tree().Generate("/ifs/s", 400, 20), Status::kOk);
  for (int parallel : {1, 8}) {
    SCOPED_TRACE(parallel);
    IsilonTreeWalk walk(address(), user(), password());
    walk.SetParallel(parallel);
    walk.SetPageSize(5);
    int pages = 0;
    walk.OnPage([&](const std::string&, std::vector<_IsilonFileInfo>&) { return ++pages < 3; });
    EXPECT_FALSE(walk.Run("/ifs/s"));
    EXPECT_TRUE(walk.Stopped());
    EXPECT_EQ(pages, 3);  // no call after the one that said stop
    EXPECT_TRUE(walk.Failures().empty());
  }
}

TEST_F(TreeWalkTest, ACallbackThatThrowsStopsTheWalkAndRunRethrowsIt) {
  ASSERT_EQ(tree().Generate("/ifs/x", 400, 20), Status::kOk);
  isim::Fault fault = isim::Fault::error("", 404, "AEC_NOT_FOUND", "gone");
  fault.regex = "^/namespace/ifs/x/d000003/";
  server().faults().add(fault.count(0));
  for (bool inFailure : {false, true}) {
    for (int parallel : {1, 4}) {
      SCOPED_TRACE(std::to_string(parallel) + (inFailure ? " failure callback" : " page callback"));
      IsilonTreeWalk walk(address(), user(), password());
      walk.SetParallel(parallel);
      walk.SetPageSize(5);
      int pages = 0;
      walk.OnPage([&](const std::string&, std::vector<_IsilonFileInfo>&) {
        if (!inFailure && ++pages == 3) throw std::runtime_error("page");
        return true;
      });
      walk.OnFailure([&](const IsilonTreeWalkFailure&) {
        if (inFailure) throw std::runtime_error("failure");
      });
      try {
        walk.Run("/ifs/x");
        ADD_FAILURE() << "no exception";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(inFailure ? "failure" : "page"), e.what());
      }
      EXPECT_TRUE(walk.Stopped());
      if (!inFailure) {
        EXPECT_EQ(3, pages);  // no page after the one that threw
      }
      EXPECT_EQ(0u, server().sessions().liveCount());  // every session closed on the cluster
    }
  }
}

TEST_F(TreeWalkTest, AWalkEndsWithTheCauseWhenTheClusterIsGone) {
  ASSERT_EQ(tree().Generate("/ifs/g", 300, 60), Status::kOk);
  for (int parallel : {1, 4}) {
    SCOPED_TRACE(parallel);
    ASSERT_TRUE(server().nodeRunning(0) || server().startNode(0));
    ScopedLogCapture log(-1);
    IsilonTreeWalk walk(address(), user(), password());
    walk.SetParallel(parallel);
    walk.SetPageSize(4);
    int pages = 0;
    walk.OnPage([&](const std::string&, std::vector<_IsilonFileInfo>&) {
      if (++pages == 3) server().stopNode(0);
      return true;
    });
    // Reported once the walk has stopped, so that no other worker takes up a directory
    // meanwhile.
    std::vector<IsilonTreeWalkFailure> failures;
    std::vector<bool> stoppedWhenReported;
    walk.OnFailure([&](const IsilonTreeWalkFailure& f) {
      failures.push_back(f);
      stoppedWhenReported.push_back(walk.Stopped());
    });
    EXPECT_FALSE(walk.Run("/ifs/g"));
    // One failure, not one per directory left.
    ASSERT_EQ(1u, failures.size());
    EXPECT_NE("", failures[0].strCode);
    EXPECT_NE("", failures[0].strCause) << failures[0].strPath;
    EXPECT_EQ(std::vector<bool>{true}, stoppedWhenReported);
    EXPECT_LE(pages, 3 + parallel);  // only what was under way when the node went
    // Once it is known gone, no session asks it for another directory (each a connection
    // time-out, were the nodes not refusing).
    std::set<std::string> asked;
    for (const CapturedLine& line : log.Lines()) {
      const size_t at = line.message.find("/namespace/");
      if (line.message.rfind("Request to [", 0) == 0 && at != std::string::npos)
        asked.insert(line.message.substr(at, line.message.find('?', at) - at));
    }
    EXPECT_GE(asked.size(), 1u);
    EXPECT_LE(asked.size(), static_cast<size_t>(parallel));
  }
  ASSERT_TRUE(server().startNode(0));
}

TEST_F(TreeWalkTest, AWorkerWithoutASessionLeavesItsDirectoriesToTheOthers) {
  ASSERT_EQ(tree().Generate("/ifs/n", 300, 60), Status::kOk);
  const std::set<std::string> expected = Expected("/ifs/n");
  // (sessions, how many of the factory's first calls give none)
  for (const auto& [parallel, missing] : std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {3, 2}, {3, 3}}) {
    SCOPED_TRACE(std::to_string(parallel) + " sessions, " + std::to_string(missing) + " missing");
    std::atomic<int> calls{0};
    IsilonTreeWalk walk([&]() -> std::unique_ptr<ManageIsilon> {
      if (calls++ < missing) return nullptr;
      std::unique_ptr<ManageIsilon> session(new ManageIsilon());
      session->SetFileServer(address());
      session->SetUser(user());
      session->SetPasswd(password());
      return session;
    });
    ASSERT_TRUE(walk.SetParallel(parallel) && walk.SetPageSize(7));
    const Result r = Walk(walk, "/ifs/n");
    if (missing < parallel) {
      EXPECT_TRUE(r.complete);
      EXPECT_EQ(expected, r.paths);
      EXPECT_TRUE(r.failures.empty());
    } else {
      // No worker can read: the root is reported, once.
      EXPECT_FALSE(r.complete);
      ASSERT_EQ(1u, r.failures.size());
      EXPECT_EQ("/ifs/n", r.failures[0].strPath);
      EXPECT_EQ("No session could be made for the walk.", r.failures[0].strMessage);
    }
  }
}

TEST_F(TreeWalkTest, SettingsOutOfRangeAreRefused) {
  IsilonTreeWalk walk(address(), user(), password());
  // Each bound from both sides (a braced list calls them in order).
  const std::vector<bool> accepted = {walk.SetParallel(0),         walk.SetParallel(1),          walk.SetParallel(64),
                                      walk.SetParallel(65),        walk.SetPageSize(0),          walk.SetPageSize(1),
                                      walk.SetPageSize(999999999), walk.SetPageSize(1000000000), walk.SetMaxPending(0),
                                      walk.SetMaxPending(1)};
  EXPECT_EQ(accepted, (std::vector<bool>{false, true, true, false, false, true, true, false, false, true}));
}

TEST_F(TreeWalkTest, IsilonctlFindAndDu) {
  if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  ASSERT_EQ(tree().Generate("/ifs/c", 25, 3, 100), Status::kOk);
  const CtlTarget target{address(), user(), password(), certPath()};

  CtlRun files = RunIsilonctl(target, {"find", "/ifs/c", "--parallel", "3", "--type", "f"});
  ASSERT_EQ(files.exitCode, 0) << files.err;
  EXPECT_EQ(std::count(files.out.begin(), files.out.end(), '\n'), 25);
  EXPECT_NE(files.out.find("/ifs/c/d000000/f0000024\n"), std::string::npos);

  CtlRun dirs = RunIsilonctl(target, {"--json", "find", "/ifs/c", "--type", "d"});
  ASSERT_EQ(dirs.exitCode, 0) << dirs.err;
  EXPECT_EQ(dirs.Json()["count"], 3);
  EXPECT_EQ(dirs.Json()["complete"], true);

  CtlRun du = RunIsilonctl(target, {"--json", "du", "/ifs/c", "--parallel", "2"});
  EXPECT_EQ(du.exitCode, 0) << du.err;
  EXPECT_EQ(du.Json(), nlohmann::json::parse(R"({"ok":true,"path":"/ifs/c","bytes":2500,"files":25,"directories":3,
                                                  "failures":[],"complete":true,"interrupted":false,"exit":0})"));

  CtlRun missing = RunIsilonctl(target, {"du", "/ifs/none"});
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_NE(missing.err.find("cannot read /ifs/none"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("(HTTP status 404)"), std::string::npos) << missing.err;

  // No node left: one line with the transport's cause (no retries: the tool's sleeps would be
  // real ones).
  SetRegistry("nIsilonRetryCount=0\n");
  ASSERT_TRUE(server().stopNode(0));
  CtlRun gone = RunIsilonctl(target, {"find", "/ifs/c", "--parallel", "3"});
  ASSERT_TRUE(server().startNode(0));
  EXPECT_EQ(gone.exitCode, 5);  // unreachable
  EXPECT_EQ(std::count(gone.err.begin(), gone.err.end(), '\n'), 1) << gone.err;
  EXPECT_NE(gone.err.find("Connection refused"), std::string::npos) << gone.err;
}

}  // namespace
