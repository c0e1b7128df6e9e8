// External IPs and node versions through the real transport against the simulator.
#include <gtest/gtest.h>

#include "tests/namespace/NamespaceFixture.h"

namespace {

using isim::Fault;
using Ips = std::vector<std::string>;

class ClusterTest : public NamespaceFixture {
 protected:
  ClusterTest() : NamespaceFixture("127.0.0.46") {}
};

TEST_F(ClusterTest, ExternalIPsInEveryReplyForm) {
  Ips ips = {"stale"};
  ASSERT_TRUE(session().GetExternalIPs(ips)) << LastError().second;
  EXPECT_EQ(ips, (Ips{"192.0.2.1", "192.0.2.2", "192.0.2.3"}));
  EXPECT_EQ(LastSent().target, "/platform/1/cluster/external-ips");
  clusterModule().setIpReplyForm(isim::ClusterModule::IpReplyForm::kObject);
  clusterModule().setExternalIPs({"10.20.30.40"});
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_EQ(ips, Ips{"10.20.30.40"});
  server().replyProblems().clear();  // the object form was planted; the description has the array
  clusterModule().setIpReplyForm(isim::ClusterModule::IpReplyForm::kBareArray);
  clusterModule().setExternalIPs({});
  ASSERT_TRUE(session().GetExternalIPs(ips));
  EXPECT_TRUE(ips.empty());

  // Every text of the array is an address, short or IPv6; an empty reply holds none.
  for (const auto& reply :
       std::vector<std::pair<std::string, Ips>>{{R"(["10.0.0.1","abc","10.0.0.2"])", {"10.0.0.1", "abc", "10.0.0.2"}},
                                                {R"(["10.0.0.1","::5","10.0.0.9"])", {"10.0.0.1", "::5", "10.0.0.9"}},
                                                {R"({"":["fd00::1"]})", {"fd00::1"}},
                                                {"", {}}}) {
    server().faults().add(Fault::replace("/platform/1/cluster", 200, reply.first));
    ASSERT_TRUE(session().GetExternalIPs(ips)) << reply.first;
    EXPECT_EQ(ips, reply.second) << reply.first;
  }
  // A login page, an array cut short or holding a number, an object without addresses: no list.
  for (const std::string reply :
       {R"(<html><meta http-equiv="refresh" content="0;url=/login"></html>)", R"(["10.0.0.1","10.0.0.2")",
        R"(["10.0.0.1",7])", R"({"ips":["10.0.0.1"]})", R"({"":"10.0.0.1"})", "[\"10.0.0.1\"] x"}) {
    server().faults().add(Fault::replace("/platform/1/cluster", 200, reply));
    ips = {"old"};
    EXPECT_FALSE(session().GetExternalIPs(ips)) << reply;
    ExpectLastError("Internal Error", "Failed to parse json response:[" + reply + "]");
    EXPECT_TRUE(ips.empty()) << reply;
  }
  // The refused login is reported as itself.
  ManageIsilon& wrong = WrongPasswordSession();
  EXPECT_FALSE(wrong.GetExternalIPs(ips));
  std::string code, message;
  wrong.GetLastError(code, message);
  EXPECT_EQ(code + ": " + message, "AEC_UNAUTHORIZED: Authorization failed: invalid username or password");
}

TEST_F(ClusterTest, NodeVersionsAndTheirFailures) {
  std::vector<_IsilonVersionInfo> nodes;
  CZemError error = session().GetVersionInfo(nodes);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_EQ(LastSent().target, "/platform/3/cluster/version");
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[2].nId, 3);
  EXPECT_EQ(nodes[0].strRelease + " " + nodes[0].strType + " " + nodes[0].strRevision, "8.0.1.2 Isilon OneFS 0");

  clusterModule().setNodes({isim::ClusterModule::Node{7, "b", "r", "v", "t", "x"}});
  ASSERT_FALSE(session().GetVersionInfo(nodes).IsError());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].nId, 7);
  const _IsilonVersionInfo& n = nodes[0];
  EXPECT_EQ(n.strBuild + n.strRelease + n.strRevision + n.strType + n.strVersion, "brvtx");

  server().faults().add(Fault::replace("/platform/3/cluster", 200, "garbage"));
  error = session().GetVersionInfo(nodes);
  EXPECT_EQ(error.Number(), -1);
  EXPECT_TRUE(nodes.empty());
  EXPECT_EQ(LastError().second, "Failed to parse json response:[garbage]");

  server().faults().add(Fault::error("/platform/3/cluster", 500, "AEC_EXCEPTION", "down"));
  error = session().GetVersionInfo(nodes);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Message(),
            "Unable to send request to get version info. Error Code [AEC_EXCEPTION], Error Message [down]");

  error = WrongPasswordSession().GetVersionInfo(nodes);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Message(), "Unable to open connection to the file server [" + address() + "]");
}

}  // namespace
