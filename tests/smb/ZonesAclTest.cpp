// Access zones, the all-zone share listing and share ACLs through the real transport against
// the simulated cluster.
#include <gtest/gtest.h>

#include "sim/core/Faults.h"
#include "tests/smb/SmbFixture.h"

namespace {

class SmbZones : public SmbFixture {
 protected:
  SmbZones() : SmbFixture("127.0.0.21") {}
};

TEST_F(SmbZones, ZonesComeWithIdsAndAllSharesGoZoneByZoneInIdOrder) {
  ASSERT_TRUE(smb().addZone("zeta", "/ifs/zeta", 3));
  ASSERT_TRUE(smb().addZone("alpha", "/ifs/alpha", 2));
  ASSERT_TRUE(smb().addZone("empty", "/ifs/empty", 4));
  AddShares("zeta", "z", "/ifs/zeta", 55);
  AddShares("System", "s", "/ifs", 2);
  AddShares("alpha", "a", "/ifs/alpha", 1);

  std::vector<_IsilonAccessZoneInfo> zones;
  CZemError error = session().GetAccessZonesList(zones);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  ASSERT_EQ(zones.size(), 4u);
  EXPECT_EQ(zones[0].strName, "System");
  EXPECT_TRUE(zones[0].bSystem);
  EXPECT_EQ(zones[1].strName + " " + zones[1].strPath, "zeta /ifs/zeta");
  EXPECT_EQ(zones[1].nZoneId, 3u);
  EXPECT_FALSE(zones[1].bSystem);

  std::vector<_IsilonShareInfo> shares(1);
  shares[0].strName = "kept";
  error = session().GetAllCIFSSharesList(shares);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  ASSERT_EQ(shares.size(), 1u + 2 + 1 + 55);
  EXPECT_EQ(shares[0].strName, "kept");
  EXPECT_EQ(shares[1].strZone, "System");
  EXPECT_EQ(shares[3].strZone + " " + shares[4].strZone + " " + shares.back().strName, "alpha zeta z054");
  EXPECT_EQ(shares[3].nZoneId, 2u);
}

TEST_F(SmbZones, AFailingZoneStopsTheWalkAndKeepsEarlierZones) {
  ASSERT_TRUE(smb().addZone("second", "/ifs/second", 2));
  ASSERT_TRUE(smb().addZone("third", "/ifs/third", 3));
  AddShares("System", "s", "/ifs", 3);
  AddShares("third", "t", "/ifs/third", 3);
  isim::Fault fault = isim::Fault::error("", 500, "AEC_SYSTEM_INTERNAL_ERROR", "zone down");
  fault.regex = "zone=second";
  server().faults().add(fault);
  std::vector<_IsilonShareInfo> shares;
  const CZemError error = session().GetAllCIFSSharesList(shares);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.Number(), 1359);
  EXPECT_EQ(error.Message(),
            "Could not get cifs shares, Error code:[AEC_SYSTEM_INTERNAL_ERROR] Error message:[zone down]");
  ASSERT_EQ(shares.size(), 3u);
  EXPECT_EQ(shares[0].strZone, "System");
}

TEST_F(SmbZones, ZoneListFailuresCarryTheirNumbers) {
  server().faults().add(isim::Fault::replace("/platform/3/zones", 200, "no json here"));
  std::vector<_IsilonAccessZoneInfo> zones;
  CZemError error = session().GetAccessZonesList(zones);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.Number(), -1);
  EXPECT_EQ(LastMessage(), "Failed to parse json response:[no json here]");

  server().faults().add(isim::Fault::error("/platform/3/zones", 500, "AEC_UNAVAILABLE", "later"));
  error = session().GetAccessZonesList(zones);
  EXPECT_EQ(error.Number(), 774);

  // The all-zone listing hands on the zone listing's error with its own location added.
  server().faults().add(isim::Fault::error("/platform/3/zones", 500, "AEC_UNAVAILABLE", "later"));
  std::vector<_IsilonShareInfo> shares;
  error = session().GetAllCIFSSharesList(shares);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Locations().size(), 2u);

  error = WrongPasswordSession().GetAccessZonesList(zones);
  EXPECT_EQ(error.Number(), 774);
  EXPECT_EQ(error.Message(), "Unable to open connection to the file server [" + address() + "]");
}

TEST_F(SmbZones, AclReplacesPermissionsAndRunAsRootUsers) {
  ASSERT_TRUE(session().CreateCIFSShare("team docs", "/ifs/docs", "", ""));
  const _IsilonSMBACLs acls{{{"read", "allow", {"", "Everyone", ""}}, {"full", "allow", {"SID:S-1-5-32-544", "", ""}}},
                            {{"", "root", ""}}};
  ASSERT_TRUE(session().SetSMBACLs(acls, "team docs", "")) << LastMessage();

  // The cluster fills in the ids and names it resolved.
  std::string path;
  _IsilonShareInfo info;
  ASSERT_TRUE(session().GetFSPathForShare("team docs", path, info, ""));
  EXPECT_EQ(Texts(info.ACLs.vPermissions),
            (std::vector<std::string>{"read/allow/SID:S-1-1-0|Everyone|wellknown",
                                      "full/allow/SID:S-1-5-32-544|Administrators|group"}));
  EXPECT_EQ(Texts(info.ACLs.vRunAsRoot), std::vector<std::string>{"UID:0|root|user"});

  // Both lists empty clears everything.
  ASSERT_TRUE(session().SetSMBACLs(_IsilonSMBACLs(), "team docs", ""));
  ASSERT_TRUE(session().GetFSPathForShare("team docs", path, info, ""));
  EXPECT_TRUE(info.ACLs.vPermissions.empty());
  EXPECT_TRUE(info.ACLs.vRunAsRoot.empty());
}

TEST_F(SmbZones, AclRefusalsAreFailuresWhateverTheCode) {
  EXPECT_FALSE(session().SetSMBACLs(_IsilonSMBACLs(), "", ""));
  ExpectLastError("Invalid arguments", "Share name is empty");
  EXPECT_EQ(server().requestLog().size(), 0u);

  EXPECT_FALSE(session().SetSMBACLs(_IsilonSMBACLs(), "missing", ""));
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");

  ASSERT_TRUE(smb().addZone("z&x=1", "/ifs/z"));
  ASSERT_TRUE(session().CreateCIFSShare("s", "/ifs/z/s", "", "z&x=1"));
  const _IsilonSMBACLs acls{{}, {{"", "no such user", ""}}};
  EXPECT_FALSE(session().SetSMBACLs(acls, "s", "z&x=1"));
  EXPECT_EQ(LastCode(), "AEC_BAD_REQUEST");
  EXPECT_NE(LastMessage().find("no such user"), std::string::npos) << LastMessage();  // share s of that zone found
}

}  // namespace
