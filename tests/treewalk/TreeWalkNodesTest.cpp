// Sessions spread over a cluster of three nodes: a session starts on the node it is given, and
// a tree walk's sessions go round-robin over the nodes, each passing over a node that is down.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "isilon/IsilonTreeWalk.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Certificate.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"
#include "tests/support/TempFile.h"

namespace {

const std::vector<std::string> kNodes = {"127.0.0.130", "127.0.0.131", "127.0.0.132"};
const char kLogin[] = "/session/1/session";

class TreeWalkNodesTest : public SimFixture {
 protected:
  TreeWalkNodesTest() : SimFixture(kNodes) {}

  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    // Retries would sleep; a node that refuses connections is passed over without one.
    registry_.reset(new ScopedRegistry("[NAS]\nsIsilonCAFile=" + certPath() + "\nsIsilonNodeAddresses=" + kNodes[0] +
                                       "," + kNodes[1] + "," + kNodes[2] + "\nnIsilonRetryCount=0\n"));
    // Twelve directories of three files each under the root.
    isim::ns::Tree& tree = server().module<isim::NamespaceModule>()->tree();
    for (int d = 0; d < 12; ++d)
      for (int f = 0; f < 3; ++f)
        ASSERT_EQ(isim::ns::Status::kOk,
                  tree.AddFile("/ifs/t/d" + std::to_string(d) + "/f" + std::to_string(f), isim::ns::NewEntry(), true));
    server().requestLog().clear();
  }
  void TearDown() override {
    registry_.reset();
    SimFixture::TearDown();
  }

  std::unique_ptr<ManageIsilon> Session() {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon());
    session->SetFileServer(kNodes[0]);
    session->SetUser(user());
    session->SetPasswd(password());
    session->SetSessionOptions(options_);
    return session;
  }

  // Logins that succeeded, by node.
  std::map<size_t, int> LoginsByNode() {
    std::map<size_t, int> logins;
    for (const isim::LoggedRequest& r : server().requestLog().entries())
      if (r.method == "POST" && r.target == kLogin && r.status == 201) ++logins[r.node];
    return logins;
  }

  // Walks /ifs/t with `parallel` sessions. The first page of a directory below the root is held
  // until every session is made, so that all of them take part however the threads run.
  struct Walked {
    bool complete = false;
    uint64_t entries = 0;
    int sessions = 0;
  };
  Walked Walk(int parallel) {
    std::mutex mutex;
    std::condition_variable made;
    Walked w;
    IsilonTreeWalk walk([&] {
      std::lock_guard<std::mutex> lock(mutex);
      ++w.sessions;
      made.notify_all();
      return Session();
    });
    EXPECT_TRUE(walk.SetParallel(parallel));
    bool held = false;
    walk.OnPage([&](const std::string& directory, std::vector<_IsilonFileInfo>&) {
      if (directory != "/ifs/t" && !held) {
        held = true;
        std::unique_lock<std::mutex> lock(mutex);
        // Only a guard against a hang; the count decides.
        made.wait_for(lock, std::chrono::seconds(30), [&] { return w.sessions == parallel; });
      }
      return true;
    });
    w.complete = walk.Run("/ifs/t");
    w.entries = walk.Entries();
    return w;
  }

  // (completed, resumed) TLS handshakes by node, nodes with none left out.
  std::map<size_t, std::pair<size_t, size_t>> HandshakesByNode() {
    std::map<size_t, std::pair<size_t, size_t>> counts;
    for (size_t i = 0; i < kNodes.size(); ++i) {
      const isim::Server::TlsHandshakes tls = server().nodeTlsHandshakes(i);
      if (tls.completed > 0) counts[i] = {tls.completed, tls.resumed};
    }
    return counts;
  }
  // Handshakes from here on.
  void RestartNodes() {
    for (size_t i = 0; i < kNodes.size(); ++i) {
      ASSERT_TRUE(server().stopNode(i));
      ASSERT_TRUE(server().startNode(i));
    }
  }

  std::unique_ptr<ScopedRegistry> registry_;
  IsilonSessionOptions options_;  // for the sessions Session() makes
};

}  // namespace

TEST_F(TreeWalkNodesTest, ASessionStartsOnTheNodeItIsGivenModuloTheNodes) {
  // (first node asked for, node that serves the session); 3 and 4 wrap around.
  const std::pair<size_t, size_t> cases[] = {{0, 0}, {2, 2}, {3, 0}, {4, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    server().requestLog().clear();
    std::unique_ptr<ManageIsilon> session = Session();
    session->SetFirstNode(c.first);
    std::vector<_IsilonFileInfo> files;
    std::string resume;
    ASSERT_TRUE(session->GetFileList(files, "/ifs/t", resume, 100));
    // A second open after an explicit close comes back to the same node.
    ASSERT_TRUE(session->CloseConnection());
    ASSERT_TRUE(session->GetFileList(files, "/ifs/t", resume, 100));
    std::map<size_t, int> nodes;
    for (const isim::LoggedRequest& r : server().requestLog().entries()) ++nodes[r.node];
    EXPECT_EQ((std::map<size_t, int>{{c.second, 5}}), nodes);  // login, list, logout, login, list
  }
}

TEST_F(TreeWalkNodesTest, AWalksSessionsGoRoundRobinOverTheNodes) {
  // (sessions, logins expected by node)
  const std::pair<int, std::map<size_t, int>> cases[] = {
      {1, {{0, 1}}}, {2, {{0, 1}, {1, 1}}}, {4, {{0, 2}, {1, 1}, {2, 1}}}, {6, {{0, 2}, {1, 2}, {2, 2}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    server().requestLog().clear();
    const Walked w = Walk(c.first);
    EXPECT_TRUE(w.complete);
    EXPECT_EQ(48u, w.entries);
    EXPECT_EQ(c.first, w.sessions);
    EXPECT_EQ(c.second, LoginsByNode());
    EXPECT_EQ(0u, server().sessions().liveCount());
  }
}

TEST_F(TreeWalkNodesTest, AWalksSessionsResumeEachOthersTlsSessionWithinOneRun) {
  // Both sessions on node 0: the one that reads the root reaches the node before the other
  // starts, and the other resumes that TLS session.
  options_.nodeAddresses = std::vector<std::string>{kNodes[0]};
  RestartNodes();
  EXPECT_TRUE(Walk(2).complete);
  EXPECT_EQ((std::map<size_t, std::pair<size_t, size_t>>{{0, {2, 1}}}), HandshakesByNode());
  // Each run of a walk starts afresh: its first session does a full handshake.
  RestartNodes();
  IsilonTreeWalk walk([this] { return Session(); });
  ASSERT_TRUE(walk.SetParallel(1));
  EXPECT_TRUE(walk.Run("/ifs/t"));
  EXPECT_TRUE(walk.Run("/ifs/t"));
  EXPECT_EQ((std::map<size_t, std::pair<size_t, size_t>>{{0, {2, 0}}}), HandshakesByNode());
}

TEST_F(TreeWalkNodesTest, ASessionOpenedAgainResumesOnlyWithTheSameTrust) {
  RestartNodes();
  std::unique_ptr<ManageIsilon> session = Session();
  std::vector<_IsilonFileInfo> files;
  std::string resume;
  ASSERT_TRUE(session->GetFileList(files, "/ifs/t", resume, 100));
  ASSERT_TRUE(session->CloseConnection());
  ASSERT_TRUE(session->GetFileList(files, "/ifs/t", resume, 100));
  EXPECT_EQ((std::map<size_t, std::pair<size_t, size_t>>{{0, {2, 1}}}), HandshakesByNode());

  // Trusting another certificate, the session must verify the node's again, and fail: a
  // session resumed from the earlier trust would let it in.
  isim::CertificatePair other;
  std::string error;
  ASSERT_TRUE(isim::makeSelfSigned(kNodes[0], other, error)) << error;
  TempFile otherCa(other.certificatePem, ".pem");
  ASSERT_TRUE(session->CloseConnection());
  IsilonSessionOptions options;
  options.caFile = otherCa.path();
  session->SetSessionOptions(options);
  EXPECT_FALSE(session->GetFileList(files, "/ifs/t", resume, 100));
  EXPECT_EQ((std::map<size_t, std::pair<size_t, size_t>>{{0, {2, 1}}}), HandshakesByNode());
  // Back to the cluster's own certificate, the first trust's session is resumed again.
  options.caFile = certPath();
  session->SetSessionOptions(options);
  ASSERT_TRUE(session->GetFileList(files, "/ifs/t", resume, 100));
  EXPECT_EQ((std::map<size_t, std::pair<size_t, size_t>>{{0, {3, 2}}}), HandshakesByNode());
}

TEST_F(TreeWalkNodesTest, SessionsOfANodeThatIsDownGoToTheNextNode) {
  ASSERT_TRUE(server().stopNode(1));
  const Walked w = Walk(6);
  EXPECT_TRUE(w.complete);
  EXPECT_EQ(48u, w.entries);
  // Sessions 1 and 4 pass over node 1 to node 2.
  EXPECT_EQ((std::map<size_t, int>{{0, 2}, {2, 4}}), LoginsByNode());
  ASSERT_TRUE(server().startNode(1));
}
