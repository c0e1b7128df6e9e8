// isilonctl shares and zones as a real process against the simulated cluster.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/smb/SmbFixture.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/TempFile.h"

namespace {

class SmbCli : public SmbFixture {
 protected:
  SmbCli() : SmbFixture("127.0.0.23") {}

  void SetUp() override {
    SmbFixture::SetUp();
    if (HasFatalFailure()) return;
    if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    return RunIsilonctl({address(), user(), password(), certPath()}, args);
  }
};

TEST_F(SmbCli, CreateListSetAclAndDeleteAShare) {
  ASSERT_EQ(Ctl({"shares", "create", "team", "/ifs/team"}).exitCode, 0);
  CtlRun again = Ctl({"--json", "shares", "create", "team", "/ifs/team"});
  ASSERT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.Json().at("existed"), true) << again.out;
  EXPECT_EQ(again.err, "") << "an outcome the tool explains is not a logged failure";

  CtlRun list = Ctl({"--json", "shares", "list", "--path", "/ifs/team"});
  ASSERT_EQ(list.exitCode, 0) << list.out;
  EXPECT_EQ(list.Json().at("shares").size(), 1u);
  EXPECT_EQ(list.Json().at("shares")[0].at("name"), "team");

  TempFile acl(R"({"permissions":[{"permission":"full","permission_type":"allow","trustee":{"name":"Administrators"}}],
                  "run_as_root":[]})",
               ".json");
  ASSERT_EQ(Ctl({"shares", "acl-set", "team", "--file", acl.path(), "--deny", "Users:change"}).exitCode, 0);
  isim::SmbModule::Share share;
  ASSERT_TRUE(smb().findShare("System", "team", share));
  ASSERT_EQ(share.permissions.size(), 2u);
  EXPECT_EQ(share.permissions[0]["trustee"]["id"], "SID:S-1-5-32-544");
  EXPECT_EQ(share.permissions[1]["permission_type"], "deny");
  EXPECT_TRUE(share.runAsRoot.empty());

  CtlRun path = Ctl({"shares", "path", "team"});
  EXPECT_EQ(path.out.substr(0, path.out.find('\n')), "/ifs/team");
  ASSERT_EQ(Ctl({"shares", "delete", "team"}).exitCode, 0);
  EXPECT_FALSE(smb().findShare("System", "team", share));
  EXPECT_EQ(Ctl({"shares", "delete", "team"}).exitCode, 0);  // gone already: nothing to do
}

TEST_F(SmbCli, TablesAlignByDisplayWidthAndNothingFoundIsConsistent) {
  isim::SmbModule::Share share;
  share.name = "日本";  // two wide characters: four columns, six bytes
  share.path = "/ifs/jp";
  ASSERT_TRUE(smb().addShare("System", share));
  CtlRun run = Ctl({"shares", "list", "--path", "/ifs/jp/"});
  EXPECT_EQ(run.out, "NAME  PATH     DESCRIPTION\n日本  /ifs/jp\n1 share\n");
  share.name = "é";
  share.path = "/ifs/e";
  ASSERT_TRUE(smb().addShare("System", share));
  run = Ctl({"shares", "list"});
  EXPECT_NE(run.out.find("\né     /ifs/e\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n2 shares\n"), std::string::npos) << run.out;

  // A list that finds nothing is empty; one named share that is not there is a failure.
  run = Ctl({"shares", "list", "--name", "nosuch"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "NAME  PATH  DESCRIPTION\n0 shares\n");
  run = Ctl({"--json", "shares", "list", "--path", "/ifs/none"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.Json().at("shares"), nlohmann::json::array());
  run = Ctl({"shares", "path", "nosuch"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "isilonctl: no such share: nosuch\n");
  run = Ctl({"--json", "shares", "path", "nosuch"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Json().at("message"), "no such share: nosuch");
  EXPECT_EQ(run.Json().at("ok"), false);
}

TEST_F(SmbCli, ZonesAllSharesAndBadUsage) {
  ASSERT_TRUE(smb().addZone("eng", "/ifs/eng", 5));
  AddShares("eng", "e", "/ifs/eng", 2);
  AddShares("System", "s", "/ifs", 1);
  EXPECT_EQ(Ctl({"--json", "zones", "list"}).Json().at("zones").size(), 2u);
  CtlRun all = Ctl({"--json", "shares", "list", "--all-zones"});
  ASSERT_EQ(all.exitCode, 0);
  const nlohmann::json shares = all.Json().at("shares");
  ASSERT_EQ(shares.size(), 3u);
  EXPECT_EQ(shares[0].at("zone"), "System");
  EXPECT_EQ(shares[2].at("zone"), "eng");

  TempFile notJson("permissions: all", ".json");
  EXPECT_EQ(Ctl({"shares", "acl-set", "s000", "--file", notJson.path()}).exitCode, 2);
  EXPECT_EQ(Ctl({"shares", "acl-set", "s000"}).exitCode, 2);
  EXPECT_EQ(Ctl({"shares", "acl-set", "s000", "--allow", "Everyone"}).exitCode, 2);
  EXPECT_EQ(Ctl({"shares", "list", "--zone", "nowhere"}).exitCode, 1);
  // Nothing reached the share interface from the refused commands.
  EXPECT_TRUE(server().requestLog().find("PUT", "/platform/3/protocols/smb/shares").empty());
}

}  // namespace
