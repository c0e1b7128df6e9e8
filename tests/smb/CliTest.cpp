// isilonctl shares and zones as a real process against the simulated cluster: the tool's arguments,
// output and exit codes (what the operations do is left to the library's tests).
#include <gtest/gtest.h>

#include "tests/smb/SmbFixture.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/TempFile.h"

namespace {

class SmbCli : public CtlFixture<SmbFixture> {
 protected:
  SmbCli() : CtlFixture("127.0.0.23") {}
};

TEST_F(SmbCli, CreateSetAclShowAndDeleteAShare) {
  TempFile acl(R"({"permissions":[{"permission":"full","permission_type":"allow","trustee":{"name":"Administrators"}}],
                  "run_as_root":["UID:0"]})",
               ".json");
  TempFile notJson("permissions: all", ".json");
  ExpectRuns({
      {{"--json", "shares", "create", "team", "/ifs/team/"}, 0, "\"existed\": false"},
      {{"--json", "shares", "create", "team", "/ifs/team"}, 0, "\"existed\": true"},
      // An id keeps its colons: the permission follows the last one.
      {{"shares", "acl-set", "team", "--replace", "--file", acl.path(), "--deny", "Users:change", "--allow",
        "SID:S-1-1-0:read"},
       0,
       "Set 3 permission entries and 1 run-as-root user on share team\n"},
      {{"shares", "path", "team"},
       0,
       "/ifs/team\n  allow full  Administrators (SID:S-1-5-32-544)\n  allow read  Everyone (SID:S-1-1-0)\n"
       "  deny change  Users (SID:S-1-5-32-545)\n  run as root  root (UID:0)\n"},
      {{"shares", "acl-set", "team", "--file", notJson.path()}, 2, "not valid JSON"},
      {{"shares", "acl-set", "team"}, 2, "needs --allow, --deny, --remove, --run-as-root, --no-run-as-root"},
      {{"shares", "acl-set", "team", "--allow", "Everyone"}, 2, "'Everyone' is not TRUSTEE:PERMISSION"},
      {{"shares", "delete", "team"}, 0, "Deleted share team\n"},
      {{"shares", "delete", "team"}, 0, "No share team: "},
      {{"shares", "path", "team"}, 3, "isilonctl: no such share: team\n"},
      {{"--json", "shares", "path", "team"}, 3, "\"message\": \"no such share: team\",\n  \"ok\": false"},
  });
  // Only the accepted ACL reached the cluster.
  EXPECT_EQ(Sent("PUT", "/platform/3/protocols/smb/shares").size(), 1u);
}

TEST_F(SmbCli, ListingsAlignByDisplayWidthAndNothingFoundIsConsistent) {
  ASSERT_TRUE(smb().addZone("eng", "/ifs/eng", 5));
  AddShares("eng", "e", "/ifs/eng", 1);
  isim::SmbModule::Share share;
  share.name = "日本";  // two wide characters: four columns, six bytes
  share.path = "/ifs/jp";
  ASSERT_TRUE(smb().addShare("System", share));
  share.name = "é";
  share.path = "/ifs/e";
  ASSERT_TRUE(smb().addShare("System", share));
  ExpectRuns({
      {{"shares", "list", "--path", "/ifs/jp/"}, 0, "NAME  PATH     DESCRIPTION\n日本  /ifs/jp\n"},
      {{"shares", "list", "--all-zones"},
       0,
       "ZONE    NAME  PATH      DESCRIPTION\nSystem  é     /ifs/e\nSystem  日本  /ifs/jp\n"
       "eng     e000  /ifs/eng\n"},
      {{"shares", "list", "--all-zones", "--zone", "eng"}, 2, "--all-zones lists everything"},
      {{"--json", "zones", "list"},
       0,
       "\"name\": \"eng\",\n      \"path\": \"/ifs/eng\",\n      \"system\": false,\n      \"zone_id\": 5"},
      // A list that finds nothing is empty; a zone that is not there is a failure.
      {{"shares", "list", "--name", "nosuch"}, 0, "NAME  PATH  DESCRIPTION\n"},
      {{"--json", "shares", "list", "--path", "/ifs/none"}, 0, "\"shares\": []"},
      {{"shares", "list", "--zone", "nowhere"}, 3, "isilonctl: shares list failed: AEC_NOT_FOUND"},
  });
}

}  // namespace
