// External IPs and node versions through the real transport against the simulator.
#include <gtest/gtest.h>

#include "tests/namespace/NamespaceFixture.h"

namespace {

using isim::Fault;

class ClusterTest : public NamespaceFixture {
 protected:
  ClusterTest() : NamespaceFixture("127.0.0.46") {}
};

TEST_F(ClusterTest, ExternalIPsInEveryReplyForm) {
  std::vector<std::string> ips = {"stale"};
  // The cluster's bare array.
  ASSERT_TRUE(session().GetExternalIPs(ips)) << LastError().second;
  EXPECT_EQ(ips, (std::vector<std::string>{"192.0.2.1", "192.0.2.2", "192.0.2.3"}));
  EXPECT_EQ(LastSent().target, "/platform/1/cluster/external-ips");

  clusterModule().setIpReplyForm(isim::ClusterModule::IpReplyForm::kObject);
  clusterModule().setExternalIPs({"10.20.30.40"});
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_EQ(ips, (std::vector<std::string>{"10.20.30.40"}));

  clusterModule().setIpReplyForm(isim::ClusterModule::IpReplyForm::kBareArray);
  clusterModule().setExternalIPs({});
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_TRUE(ips.empty());

  // A short text in the array ends the scan.
  server().faults().add(Fault::replace("/platform/1/cluster", 200, R"(["10.0.0.1","abc","10.0.0.2"])"));
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_EQ(ips, (std::vector<std::string>{"10.0.0.1"}));
  server().faults().add(Fault::replace("/platform/1/cluster", 200, ""));
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_TRUE(ips.empty());

  server().faults().add(Fault::error("/platform/1/cluster", 500, "AEC_SYSTEM_INTERNAL_ERROR", "busy"));
  EXPECT_FALSE(session().GetExternalIPs(ips));
  EXPECT_EQ(LastError(), std::make_pair(std::string("AEC_SYSTEM_INTERNAL_ERROR"), std::string("busy")));

  ManageIsilon wrong;
  wrong.SetFileServer(address());
  wrong.SetUser(user());
  wrong.SetPasswd("wrong");
  EXPECT_FALSE(wrong.GetExternalIPs(ips));
  std::string code, message;
  wrong.GetLastError(code, message);
  // The refused login is reported as itself.
  EXPECT_EQ(code, "AEC_UNAUTHORIZED");
  EXPECT_EQ(message, "Authorization failed: invalid username or password");
}

TEST_F(ClusterTest, NodeVersionsAndTheirFailures) {
  std::vector<_IsilonVersionInfo> nodes;
  CZemError error = session().GetVersionInfo(nodes);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_EQ(LastSent().target, "/platform/3/cluster/version");
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[2].nId, 3);
  EXPECT_EQ(nodes[0].strRelease, "9.5.0.0");
  EXPECT_EQ(nodes[0].strType, "Isilon OneFS");
  EXPECT_FALSE(nodes[0].strBuild.empty());
  EXPECT_FALSE(nodes[0].strVersion.empty());
  EXPECT_EQ(nodes[0].strRevision, "0");

  isim::ClusterModule::Node odd;
  odd.id = 7;
  odd.build = "b";
  odd.release = "r";
  odd.revision = "v";
  odd.type = "t";
  odd.version = "x";
  clusterModule().setNodes({odd});
  ASSERT_FALSE(session().GetVersionInfo(nodes).IsError());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].nId, 7);
  EXPECT_EQ(nodes[0].strBuild, "b");
  EXPECT_EQ(nodes[0].strRevision, "v");

  // Numbers out of range and missing members give defined values.
  server().faults().add(
      Fault::replace("/platform/3/cluster", 200, R"({"nodes":[{"id":4294967299},{"id":-1.9,"build":3},5]})"));
  ASSERT_FALSE(session().GetVersionInfo(nodes).IsError());
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0].nId, 3);
  EXPECT_EQ(nodes[1].nId, -1);
  EXPECT_EQ(nodes[1].strBuild, "");

  server().faults().add(Fault::replace("/platform/3/cluster", 200, "garbage"));
  error = session().GetVersionInfo(nodes);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Number(), -1);
  EXPECT_TRUE(nodes.empty());
  EXPECT_EQ(LastError().second, "Failed to parse json response:[garbage]");

  server().faults().add(Fault::error("/platform/3/cluster", 500, "AEC_EXCEPTION", "down"));
  error = session().GetVersionInfo(nodes);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Message(),
            "Unable to send request to get version info. Error Code [AEC_EXCEPTION], Error Message [down]");

  ManageIsilon wrong;
  wrong.SetFileServer(address());
  wrong.SetUser(user());
  wrong.SetPasswd("wrong");
  error = wrong.GetVersionInfo(nodes);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Message(), "Unable to open connection to the file server [" + address() + "]");
}

}  // namespace
