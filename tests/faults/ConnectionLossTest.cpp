// The cluster going away: nothing listening, and the simulator stopped in the middle of a
// directory walk. Both must end in a failure that says why, within the configured time-outs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/namespace/NamespaceModule.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimSessionFixture.h"

namespace {

class ConnectionLoss : public SimSessionFixture {
 protected:
  ConnectionLoss() : SimSessionFixture("127.0.0.82") {}
  std::string RegistryText() const override {
    return SimSessionFixture::RegistryText() + "nIsilonConnectTimeout = 2\nnIsilonRequestTimeout = 2\n";
  }
  ScopedLogCapture log_{-1};
  std::vector<_IsilonFileInfo> files_;
  std::string resume_;
};

TEST_F(ConnectionLoss, NothingListeningFailsWithTheTransportsCause) {
  session().SetFileServer("127.0.0.81");  // no server on this address
  EXPECT_FALSE(session().GetFileList(files_, "/ifs", resume_, 10));
  EXPECT_FALSE(LastCode().empty());
  const std::string cause = session().GetLastTransportError();
  EXPECT_TRUE(cause.find("onnect") != std::string::npos || cause.find("refused") != std::string::npos) << cause;
  EXPECT_TRUE(log_.Contains(cause)) << "the cause reaches the log";
}

TEST_F(ConnectionLoss, SimulatorStoppedMidWalk) {
  // A directory with enough entries for several pages.
  for (int i = 0; i < 12; ++i) module<isim::NamespaceModule>().tree().AddDirectory("/ifs/walk-" + std::to_string(i));
  ASSERT_TRUE(session().GetFileList(files_, "/ifs", resume_, 2));
  ASSERT_FALSE(resume_.empty());

  server().stop();
  const std::string token = resume_;
  EXPECT_FALSE(session().GetFileList(files_, "/ifs", resume_, 2));
  EXPECT_NE(LastError(), std::make_pair(std::string(), std::string()));
  EXPECT_FALSE(session().GetLastTransportError().empty());
  // The caller can go on from where it was once the cluster is back.
  EXPECT_EQ(resume_, token);
}

}  // namespace
