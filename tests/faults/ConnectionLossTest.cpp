// The cluster going away: nothing listening, and the simulator stopped in the middle of a
// directory walk. Both must end in a failure that says why, within the configured time-outs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

namespace {

TEST(ConnectionLoss, NothingListeningFailsWithTheTransportsCause) {
  ScopedRegistry registry("[NAS]\nnIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 2\n");
  ScopedLogCapture log(-1);
  ManageIsilon session;
  session.SetFileServer("127.0.0.81");  // no server on this address
  session.SetUser("admin");
  session.SetPasswd("unused");
  std::vector<_IsilonFileInfo> files;
  std::string resume, code, message;
  EXPECT_FALSE(session.GetFileList(files, "/ifs", resume, 10));
  session.GetLastError(code, message);
  EXPECT_FALSE(code.empty());
  const std::string cause = session.GetLastTransportError();
  EXPECT_TRUE(cause.find("onnect") != std::string::npos || cause.find("refused") != std::string::npos) << cause;
  EXPECT_TRUE(log.Contains(cause)) << "the cause reaches the log";
}

TEST(ConnectionLoss, SimulatorStoppedMidWalk) {
  std::unique_ptr<SimCluster> cluster(new SimCluster("127.0.0.82"));
  ScopedRegistry registry("[NAS]\nsIsilonCAFile = " + cluster->certPath() +
                          "\nnIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 2\n");
  ScopedLogCapture log(-1);
  ManageIsilon session;
  session.SetFileServer("127.0.0.82");
  session.SetUser(cluster->user());
  session.SetPasswd(cluster->password());
  // A directory with enough entries for several pages.
  isim::NamespaceModule* ns = cluster->server().module<isim::NamespaceModule>();
  ASSERT_NE(ns, nullptr);
  for (int i = 0; i < 12; ++i) ns->tree().AddDirectory("/ifs/walk-" + std::to_string(i));
  std::vector<_IsilonFileInfo> files;
  std::string resume;
  ASSERT_TRUE(session.GetFileList(files, "/ifs", resume, 2));
  ASSERT_FALSE(resume.empty());
  const std::vector<_IsilonFileInfo> firstPage = files;

  cluster->server().stop();
  const std::string token = resume;
  EXPECT_FALSE(session.GetFileList(files, "/ifs", resume, 2));
  std::string code, message;
  session.GetLastError(code, message);
  EXPECT_FALSE(code.empty() && message.empty());
  EXPECT_FALSE(session.GetLastTransportError().empty());
  // The caller can go on from where it was once the cluster is back.
  EXPECT_EQ(resume, token);
}

}  // namespace
