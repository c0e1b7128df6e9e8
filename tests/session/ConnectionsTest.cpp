// A session holds one connection to the cluster, whatever mix of reads and changes it sends:
// counted by the kernel at the connections' client ends, which close as the client closes them
// (the node's end closes when the kernel gets round to it).
#include <memory>
#include <string>
#include <vector>

#include "tests/session/SessionFixture.h"

namespace {

using sessiontest::Demo;
using sessiontest::SessionFixture;

class ConnectionsTest : public SessionFixture {
 protected:
  ConnectionsTest() : SessionFixture(Demo()) {}

  size_t Open() { return server().nodeClientConnections(0); }

  // One round of what a backup does: a change, a read and another change.
  void Round(ManageIsilon& session, const std::string& name) {
    ASSERT_TRUE(session.CreateCIFSShare(name, "/ifs/data", "", ""));
    std::vector<_IsilonShareInfo> shares;
    ASSERT_TRUE(session.GetCIFSSharesList(shares, name, "", ""));
    int id = 0;
    ASSERT_TRUE(session.CreateSnapshot("/ifs/data", name, id));
    ASSERT_TRUE(session.DeleteSnapshot("/ifs/data", name, 0));
    ASSERT_TRUE(session.DeleteCIFSShare(name, "/ifs/data", ""));
  }
};

TEST_F(ConnectionsTest, OneConnectionAfterLoginAndAfterEveryRound) {
  EXPECT_EQ(0u, Open());
  ASSERT_TRUE(session().OpenConnection());
  EXPECT_EQ(1u, Open());
  // The first round replaces the login's connection; from the second on each change replaces
  // the one the reads before it used.
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    Round(session(), "r" + std::to_string(round));
    EXPECT_EQ(1u, Open());
  }
  ASSERT_TRUE(session().CloseConnection());
  EXPECT_EQ(0u, Open());
}

TEST_F(ConnectionsTest, TwoSessionsHoldOneEach) {
  std::unique_ptr<ManageIsilon> other = NewSession();
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    Round(session(), "a" + std::to_string(round));
    Round(*other, "b" + std::to_string(round));
    EXPECT_EQ(2u, Open());
  }
  other->CloseConnection();
  EXPECT_EQ(1u, Open());
}

}  // namespace
