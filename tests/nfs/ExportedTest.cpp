// The exported whole-export functions and the isilonctl exports commands, against the simulator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/nfs/NfsSim.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/LogCapture.h"

namespace {

class NfsExportedTest : public NfsSimTest {
 protected:
  NfsExportedTest() : NfsSimTest("127.0.0.31") {}

  bool Create(const std::string& path, const std::string& client, std::string& code, std::string& message,
              const std::string& pass = std::string()) {
    return CreateNfsExportIsilon(/*context=*/99, address(), user(), pass.empty() ? password() : pass, "unused", path,
                                 client, code, message);
  }
  bool Delete(const std::string& path, std::string& code, std::string& message) {
    return DeleteNfsExportIsilon(/*context=*/99, address(), user(), password(), "unused", path, code, message);
  }
};

TEST_F(NfsExportedTest, CreateAndDeleteByPath) {
  ScopedLogCapture log(3);
  std::string code = "untouched", message = "untouched";
  ASSERT_TRUE(Create("/ifs/backup", "agent.example.com", code, message));
  EXPECT_EQ(code, "untouched");
  EXPECT_TRUE(log.Contains("Successfully created nfs export on path[/ifs/backup]."));
  const auto made = nfs().exports();
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(Text(made[0]), std::to_string(made[0].id) +
                               " /ifs/backup agent.example.com ro: rw:agent.example.com root:agent.example.com "
                               "sec:unix all_dirs");

  // Creating it again is the cluster's conflict, which counts as success.
  ASSERT_TRUE(Create("/ifs/backup", "agent.example.com", code, message));
  EXPECT_EQ(nfs().exports().size(), 1u);

  // Only the export serving the path goes; the other stays.
  const unsigned int other = nfs().add(Item({"/ifs/other"}));
  ASSERT_TRUE(Delete("/ifs/backup", code, message));
  EXPECT_TRUE(log.Contains("Successfully deleted nfs export on path[/ifs/backup]."));
  const auto left = nfs().exports();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].id, other);
  // Neither function ends the session on the cluster: the transport is just released.
  EXPECT_TRUE(server().requestLog().find("DELETE", "/session/1/session").empty());
}

TEST_F(NfsExportedTest, RefusalsComeBackInTheOutputStrings) {
  nfs().add(Item({"/ifs/kept"}));
  std::string code, message;
  EXPECT_FALSE(Delete("/ifs/nothing here", code, message));
  EXPECT_EQ(code + ": " + message, "Internal Error: No nfs export found on path:[/ifs/nothing here]");
  // An empty path would match every export; it is refused instead of deleting the first one.
  EXPECT_FALSE(Delete("", code, message));
  EXPECT_EQ(code + ": " + message, "Internal error: Invalid input parameters");
  // The cluster refuses an empty path or client host to export, and a wrong password.
  EXPECT_FALSE(Create("", "h", code, message));
  EXPECT_EQ(code, "AEC_BAD_REQUEST");
  code.clear();
  EXPECT_FALSE(Create("/ifs/a", "", code, message));
  EXPECT_EQ(code, "AEC_BAD_REQUEST");
  EXPECT_FALSE(Create("/ifs/a", "h", code, message, "wrong password"));
  EXPECT_EQ(code + ": " + message, "AEC_UNAUTHORIZED: Authorization failed: invalid username or password");
  EXPECT_EQ(nfs().exports().size(), 1u);
  EXPECT_TRUE(server().requestLog().find("DELETE", "/platform").empty());
}

// isilonctl, run as its own process.
class NfsCliTest : public CtlFixture<NfsSimTest> {
 protected:
  NfsCliTest() : CtlFixture("127.0.0.32") {}
};

TEST_F(NfsCliTest, CreateListAndDeleteExports) {
  const CtlRun created = Ctl(
      {"--json", "exports", "create", "/ifs/data/a", "/ifs/data/b", "--client", "h2", "--client", "h1", "--read-only"});
  ASSERT_EQ(created.exitCode, 0) << created.err;
  const auto made = nfs().exports();
  ASSERT_EQ(made.size(), 1u);
  const std::string id = std::to_string(made[0].id);
  EXPECT_NE(created.out.find("\"id\": " + id), std::string::npos) << created.out;
  EXPECT_NE(Text(made[0]).find(" ro:h1,h2 rw: root:"), std::string::npos) << Text(made[0]);
  EXPECT_TRUE(made[0].readOnly);

  nfs().add(Item({"/ifs/zoned"}, "Z1"));
  const CtlRun zoned = Ctl({"--json", "exports", "list", "--zone", "Z1"});
  EXPECT_EQ(zoned.exitCode, 0) << zoned.err;
  EXPECT_NE(zoned.out.find("/ifs/zoned"), std::string::npos) << zoned.out;
  EXPECT_EQ(zoned.out.find("/ifs/data/a"), std::string::npos) << zoned.out;
  ExpectRuns({
      {{"exports", "create", "/ifs/data/a", "/ifs/data/b"}, 0, "exists already (id " + id + ")"},
      {{"exports", "list", "--path", "/ifs/data/b"}, 0, "/ifs/data/a,/ifs/data/b"},
      {{"exports", "delete", id}, 0, "Deleted NFS export " + id},
      {{"exports", "delete", id}, 0, "did not exist"},
      {{"exports", "delete", "0"}, 2, ""},
  });
}

}  // namespace
