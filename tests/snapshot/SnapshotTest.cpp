// Taking, listing and deleting snapshots through the real transport against the simulator.
#include <string>
#include <vector>

#include "sim/core/Faults.h"
#include "tests/snapshot/SnapshotSim.h"

namespace {

class SnapshotTest : public SnapshotSim {
 protected:
  SnapshotTest() : SnapshotSim("127.0.0.50") {}

  void SetUp() override {
    SnapshotSim::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(ifs().AddDirectory("/ifs/data/a", isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk);
    ASSERT_EQ(ifs().AddDirectory("/ifs/data/ab", isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk);
    ASSERT_EQ(ifs().AddDirectory("/ifs/data/b", isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk);
  }
};

TEST_F(SnapshotTest, CreateListAndDeleteByIdAndName) {
  int id = -1;
  ASSERT_TRUE(session().CreateSnapshot("/ifs/data/a", "first", id));
  ASSERT_TRUE(session().CreateSnapshot("/ifs/data/ab", "second", id));  // "/ifs/data/a" is its prefix
  ASSERT_TRUE(session().CreateSnapshot("/ifs/data/a", "third", id));

  std::vector<_IsilonSnapInfo> list;
  ASSERT_TRUE(session().GetSnapshotList(list, "", ""));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].strName, "first");
  EXPECT_EQ(list[2].strName, "third");
  EXPECT_EQ(list[1].strPath, "/ifs/data/ab");
  EXPECT_EQ(list[0].strState, "active");
  EXPECT_GT(list[0].nId, 0);

  ASSERT_TRUE(session().GetSnapshotList(list, "/ifs/data/a", ""));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].strName, "third");

  // By name: one request; a path that differs leaves the result empty, still a success.
  server().requestLog().clear();
  ASSERT_TRUE(session().GetSnapshotList(list, "/ifs/data/ab", "second"));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(Sent("GET", "/platform/1/snapshot/snapshots").size(), 1u);
  ASSERT_TRUE(session().GetSnapshotList(list, "/ifs/data/a", "second"));
  EXPECT_TRUE(list.empty());

  const int firstId = snaps().snapshotId("first");
  ASSERT_TRUE(session().DeleteSnapshot("/ifs/data/a", "ignored-name", firstId));
  ASSERT_TRUE(session().DeleteSnapshot("/ifs/data/b", "second", 0));
  EXPECT_EQ(LastCode(), "");
  EXPECT_EQ(snaps().snapshotCount(), 1u);

  // Gone already: the cluster's AEC_NOT_FOUND counts as success and stays in the last error.
  ASSERT_TRUE(session().DeleteSnapshot("/ifs/data/b", "second", 0));
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");
}

TEST_F(SnapshotTest, RefusedInputSendsNothing) {
  int id = 9;
  EXPECT_FALSE(session().CreateSnapshot("", "n", id));
  EXPECT_EQ(id, 0);
  ExpectLastError("Internal error", "Invalid input parameters");
  EXPECT_FALSE(session().CreateSnapshot("/ifs/data", "", id));
  EXPECT_FALSE(session().DeleteSnapshot("", "name", 0));
  EXPECT_FALSE(session().DeleteSnapshot("", "", 3));
  ExpectLastError("Internal error", "Invalid input parameters");
  EXPECT_TRUE(server().requestLog().entries().empty());
  // A path alone passes the check but forms no URI.
  EXPECT_FALSE(session().DeleteSnapshot("/ifs/data", "", 0));
  EXPECT_TRUE(Sent("DELETE", "").empty());
}

TEST_F(SnapshotTest, ClusterRefusalsAreFailures) {
  int id = 0;
  EXPECT_FALSE(session().CreateSnapshot("/ifs/missing", "x", id));
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");
  ASSERT_TRUE(session().CreateSnapshot("/ifs/data/a", "dup", id));
  EXPECT_FALSE(session().CreateSnapshot("/ifs/data/b", "dup", id));
  EXPECT_EQ(LastCode(), "AEC_CONFLICT");

  // A locked snapshot: a conflict, not treated as success.
  ASSERT_TRUE(snaps().setLocked("dup", /*locked=*/true));
  EXPECT_FALSE(session().DeleteSnapshot("/ifs/data/a", "dup", 0));
  EXPECT_EQ(LastCode(), "AEC_CONFLICT");
  snaps().setLocked("dup", /*locked=*/false);

  // A delete answered with a body is read as an error list.
  server().faults().add(isim::Fault::replace("/platform/1/snapshot/snapshots/dup", 200,
                                             R"({"errors":[{"code":"AEC_X","message":"odd"}]})")
                            .on("DELETE"));
  EXPECT_FALSE(session().DeleteSnapshot("/ifs/data/a", "dup", 0));
  ExpectLastError("AEC_X", "odd");
}

TEST_F(SnapshotTest, ListOf120TakesThreePagesInClusterOrder) {
  for (int i = 0; i < 120; ++i) {
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot(i % 2 ? "/ifs/data/a" : "/ifs/data/b", "s" + std::to_string(i), id));
  }
  server().requestLog().clear();
  std::vector<_IsilonSnapInfo> list;
  ASSERT_TRUE(session().GetSnapshotList(list, "", ""));
  ASSERT_EQ(list.size(), 120u);
  for (int i = 0; i < 120; ++i) EXPECT_EQ(list[i].strName, "s" + std::to_string(i));
  const auto gets = Sent("GET", "/platform/1/snapshot/snapshots");
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[0].target, "/platform/1/snapshot/snapshots?sort=created&limit=50");  // the follow-ups: RequestsTest

  ASSERT_TRUE(session().GetSnapshotList(list, "/ifs/data/a", ""));
  EXPECT_EQ(list.size(), 60u);
}

TEST_F(SnapshotTest, BrokenListingsFailCleanly) {
  for (int i = 0; i < 60; ++i) {
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot("/ifs/data/a", "s" + std::to_string(i), id));
  }
  std::vector<_IsilonSnapInfo> list;
  server().faults().add(isim::Fault::replace("/platform/1/snapshot/snapshots", 200, "{}").on("GET"));
  EXPECT_FALSE(session().GetSnapshotList(list, "", ""));
  ExpectLastError("Internal Error", "Failed to parse json response:[{}]");

  server().faults().add(
      isim::Fault::error("/platform/1/snapshot/snapshots", 500, "AEC_SYSTEM_INTERNAL_ERROR", "busy").after(1));
  EXPECT_FALSE(session().GetSnapshotList(list, "", ""));
  ExpectLastError("AEC_SYSTEM_INTERNAL_ERROR", "busy");
  // A failed page fails the list: the first page is not handed out as all.
  EXPECT_TRUE(list.empty());
}

}  // namespace
