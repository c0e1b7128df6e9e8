// What a call reports describes that call: the last error is cleared when an operation starts,
// and a new snapshot's id comes back from its create.
#include <string>

#include "sim/core/Faults.h"
#include "sim/snapshot/SnapshotModule.h"
#include "tests/session/SessionFixture.h"

namespace {

using sessiontest::SessionFixture;

class ResultsTest : public SessionFixture {};

TEST_F(ResultsTest, LastErrorAndNewIdDescribeTheLastCall) {
  // Nothing to delete: true with the cluster's code. Then a real delete: true with none.
  EXPECT_TRUE(session().DeleteCIFSShare("absent", "/ifs", ""));
  EXPECT_EQ("AEC_NOT_FOUND", LastCode());
  ASSERT_TRUE(session().CreateCIFSShare("present", "/ifs", "", ""));
  ExpectLastError("", "");
  ASSERT_TRUE(session().CreateCIFSShare("present", "/ifs", "", ""));
  EXPECT_EQ("AEC_CONFLICT", LastCode());
  EXPECT_TRUE(session().DeleteCIFSShare("present", "/ifs", ""));
  ExpectLastError("", "");

  // A failure, then a success of the same operation.
  _IsilonFileInfo info;
  EXPECT_FALSE(session().GetPathAttributes(info, "/ifs/absent"));
  EXPECT_EQ("AEC_NOT_FOUND", LastCode());
  EXPECT_TRUE(session().GetPathAttributes(info, "/ifs"));
  ExpectLastError("", "");

  // A new snapshot's id comes back from its create.
  for (const char* name : {"first", "second"}) {
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot("/ifs", name, id));
    EXPECT_EQ(module<isim::SnapshotModule>().snapshotId(name), id);
  }

  // A reply without a usable id: the call still succeeds, with id 0. The largest int is kept.
  const char kLargest[] = "{\"id\":2147483647}";
  for (const char* reply :
       {"{}", "{\"id\":\"7\"}", "{\"id\":-3}", "{\"id\":4294967297}", "not json", "{\"id\":2147483648}", kLargest}) {
    SCOPED_TRACE(reply);
    server().faults().add(isim::Fault::replace("/platform/1/snapshot/snapshots", 201, reply).on("POST"));
    int id = 99;
    EXPECT_TRUE(session().CreateSnapshot("/ifs", "odd", id));
    EXPECT_EQ(reply == kLargest ? 2147483647 : 0, id);
  }
}

}  // namespace
