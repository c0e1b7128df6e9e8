// The simulated /ifs tree and its seeding, without a server.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <fstream>

#include "sim/core/Server.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/Registry.h"

namespace {

using isim::ns::Entry;
using isim::ns::Page;
using isim::ns::Status;
using isim::ns::Tree;

TEST(NamespaceTree, PathsListsAndRemoval) {
  std::string norm;
  EXPECT_TRUE(Tree::Normalise("/ifs//a/b/", norm));
  EXPECT_EQ(norm, "/ifs/a/b");
  for (const char* bad : {"", "ifs/a", "/data", "/ifs/../etc", "/ifs/./a", "/ifsx"}) {
    EXPECT_FALSE(Tree::Normalise(bad, norm)) << bad;
  }

  Tree tree;
  EXPECT_EQ(tree.AddFile("/ifs/d/x"), Status::kNotFound);
  ASSERT_EQ(tree.AddFile("/ifs/d/x", isim::ns::NewEntry(), true), Status::kOk);
  EXPECT_EQ(tree.AddFile("/ifs/d/x/y"), Status::kNotDirectory);
  EXPECT_EQ(tree.AddDirectory("/ifs/d"), Status::kExists);
  for (const char* name : {"B", "a", "b", "A"}) ASSERT_EQ(tree.AddFile(std::string("/ifs/d/") + name), Status::kOk);

  Page page;
  ASSERT_EQ(tree.List("/ifs/d", "", 2, page), Status::kOk);
  ASSERT_EQ(page.entries.size(), 2u);
  EXPECT_EQ(page.entries[0].name, "A");  // byte order
  EXPECT_EQ(page.entries[1].path, "/ifs/d/B");
  EXPECT_TRUE(page.more);
  ASSERT_EQ(tree.List("/ifs/d", "b", 2, page), Status::kOk);
  ASSERT_EQ(page.entries.size(), 1u);
  EXPECT_EQ(page.entries[0].name, "x");
  EXPECT_FALSE(page.more);
  EXPECT_EQ(tree.List("/ifs/d/x", "", 0, page), Status::kNotDirectory);
  EXPECT_EQ(tree.List("/ifs/none", "", 0, page), Status::kNotFound);

  EXPECT_EQ(tree.Remove("/ifs/d", false), Status::kNotEmpty);
  EXPECT_EQ(tree.Remove("/ifs", true), Status::kInvalidPath);
  const size_t before = tree.Count();
  EXPECT_EQ(tree.Remove("/ifs/d", true), Status::kOk);
  EXPECT_EQ(tree.Count(), before - 6);
}

TEST(NamespaceTree, CopyMergesOrRefusesAndFreezeIsIndependent) {
  Tree tree;
  isim::ns::NewEntry big;
  big.size = 100;
  ASSERT_EQ(tree.AddFile("/ifs/s/a", big, true), Status::kOk);
  ASSERT_EQ(tree.AddFile("/ifs/s/sub/b", isim::ns::NewEntry(), true), Status::kOk);
  ASSERT_EQ(tree.AddFile("/ifs/t/old", isim::ns::NewEntry(), true), Status::kOk);

  EXPECT_EQ(tree.Copy("/ifs/s", "/ifs/s/sub/again", false), Status::kIntoItself);
  EXPECT_EQ(tree.Copy("/ifs/s", "/ifs/none/t", false), Status::kNotFound);
  EXPECT_EQ(tree.Copy("/ifs/s", "/ifs/t", false), Status::kExists);
  ASSERT_EQ(tree.Copy("/ifs/s", "/ifs/t", true), Status::kOk);
  // A directory meeting a directory is merged; the target keeps its own entries.
  EXPECT_TRUE(tree.Exists("/ifs/t/old"));
  EXPECT_TRUE(tree.Exists("/ifs/t/sub/b"));
  Entry source, copy;
  ASSERT_TRUE(tree.Lookup("/ifs/s/a", source));
  ASSERT_TRUE(tree.Lookup("/ifs/t/a", copy));
  EXPECT_EQ(copy.size, 100u);
  EXPECT_NE(copy.lin, source.lin);

  std::unique_ptr<Tree> frozen = tree.Freeze("/ifs/s");
  ASSERT_TRUE(frozen);
  ASSERT_EQ(tree.Modify("/ifs/s/a", [](Entry& e) { e.size = 1; }), Status::kOk);
  ASSERT_EQ(tree.Remove("/ifs/s/sub", true), Status::kOk);
  Entry kept;
  ASSERT_TRUE(frozen->Lookup("/ifs/s/a", kept));
  EXPECT_EQ(kept.size, 100u);
  EXPECT_EQ(kept.lin, source.lin);
  EXPECT_TRUE(frozen->Exists("/ifs/s/sub/b"));
  EXPECT_FALSE(frozen->Exists("/ifs/t"));
  EXPECT_EQ(tree.Freeze("/ifs/none"), nullptr);
}

TEST(NamespaceTree, SeedingFromTextFilesAndProgramOptions) {
  Tree tree;
  std::string error;
  ASSERT_EQ(tree.SeedFromText("# comment\n\nd - bob 0700 100 /ifs/home/bob\nf 5 - - 200 /ifs/home/bob/with blank.txt\r\n",
                              error),
            Status::kOk)
      << error;
  Entry e;
  ASSERT_TRUE(tree.Lookup("/ifs/home/bob/with blank.txt", e));
  EXPECT_EQ(e.size, 5u);
  EXPECT_EQ(e.owner, "root");
  EXPECT_EQ(e.mode, "0644");
  EXPECT_EQ(e.mtime, 200u);
  ASSERT_TRUE(tree.Lookup("/ifs/home/bob", e));
  EXPECT_EQ(e.owner, "bob");
  EXPECT_EQ(tree.SeedFromText("f x - - - /ifs/a\n", error), Status::kBadSeed);
  EXPECT_EQ(error, "line 1: expected KIND SIZE OWNER MODE MTIME PATH");
  EXPECT_EQ(tree.SeedFromText("f 1 - - - /ifs/home/bob/with blank.txt\n", error), Status::kExists);

  std::string dir;
  size_t files = 0, dirs = 0;
  EXPECT_TRUE(isim::NamespaceModule::ParseGenerateSpec("/ifs/g:10", dir, files, dirs, error));
  EXPECT_EQ(files, 10u);
  EXPECT_EQ(dirs, 0u);
  for (const char* bad : {"/ifs/g", ":10", "/ifs/g:x", "/ifs/g:10:", "/tmp:10", "/ifs/g:1000000000"}) {
    EXPECT_FALSE(isim::NamespaceModule::ParseGenerateSpec(bad, dir, files, dirs, error)) << bad;
  }

  // The program's options fill the tree of the server's own module.
  TempDir temp;
  const std::string seed = temp.File("seed.txt");
  std::ofstream(seed) << "f 9 - - - /ifs/seeded/file\n";
  isim::Server server;
  CLI::App app;
  server.addOptions(app);
  app.parse(std::vector<std::string>{"/ifs/gen:10:3", "--ns-generate", seed, "--ns-seed"});  // reversed order
  const Tree& served = server.module<isim::NamespaceModule>()->tree();
  EXPECT_TRUE(served.Exists("/ifs/seeded/file"));
  EXPECT_EQ(served.ChildCount("/ifs/gen"), 3u);
  EXPECT_TRUE(served.Exists("/ifs/gen/d000001/f0000001"));
  EXPECT_TRUE(served.Exists("/ifs/gen/d000000/f0000009"));

  CLI::App badApp;
  isim::Server other;
  other.addOptions(badApp);
  EXPECT_THROW(badApp.parse(std::vector<std::string>{temp.File("missing"), "--ns-seed"}), CLI::ValidationError);
}

}  // namespace
