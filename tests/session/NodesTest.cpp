// A session bound to one node of a cluster of three: it stays on its node, passes over a dead
// node at login, and moves to another node, asking for the same page again, when its node stops.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

namespace {

const std::vector<std::string> kNodes = {"127.0.0.110", "127.0.0.111", "127.0.0.112"};
// Listed first in the registry; nothing listens there.
const char kDeadNode[] = "127.0.0.113";

class NodesTest : public SimFixture {
 protected:
  NodesTest() : SimFixture(kNodes) {}

  // Nodes that served requests since the log was cleared.
  std::set<size_t> NodesUsed() {
    std::set<size_t> nodes;
    for (const isim::LoggedRequest& r : server().requestLog().entries()) nodes.insert(r.node);
    return nodes;
  }
};

TEST_F(NodesTest, WalkStaysOnItsNodeAndMovesFromTheSamePageWhenItStops) {
  // The URL keeps naming the first node, whose name the certificate carries; the node
  // addresses decide where the connections go.
  ScopedRegistry registry("[NAS]\nsIsilonCAFile=" + certPath() + "\nsIsilonNodeAddresses=" + kDeadNode + ", " +
                          kNodes[0] + "," + kNodes[1] + " ," + kNodes[2] + "\nnIsilonRetryCount=0\n");
  ManageIsilon session;
  session.SetFileServer(kNodes[0]);
  session.SetUser(user());
  session.SetPasswd(password());
  isim::ns::Tree& tree = server().module<isim::NamespaceModule>()->tree();
  for (int i = 0; i < 250; ++i) {
    ASSERT_EQ(isim::ns::Status::kOk, tree.AddFile("/ifs/walk/f" + std::to_string(i), isim::ns::NewEntry(), true));
  }

  std::set<std::string> names;
  std::string resume;
  int page = 0;
  do {
    // Re-opened after the cluster forgot its sessions: the same node serves it again.
    if (page == 1) server().sessions().expireAll();
    if (page == 2) {
      ASSERT_EQ(std::set<size_t>{0}, NodesUsed());
      ASSERT_EQ(1u, session.GetRequestCounters().reopenedSessions);
      // The session's node goes away between two pages.
      ASSERT_TRUE(server().stopNode(0));
      server().requestLog().clear();
    }
    std::vector<_IsilonFileInfo> files;
    ASSERT_TRUE(session.GetFileList(files, "/ifs/walk", resume, 100)) << page;
    for (const _IsilonFileInfo& f : files) EXPECT_TRUE(names.insert(f.strName).second) << f.strName;
    ++page;
  } while (!resume.empty());
  EXPECT_EQ(250u, names.size());
  EXPECT_EQ(std::set<size_t>{1}, NodesUsed());
  EXPECT_EQ(2u, session.GetRequestCounters().nodeSwitches);  // the dead node at the first login, then node 0
}

}  // namespace
