// Request forms and reply reading of the SMB share, access zone and ACL request classes.
#include <gtest/gtest.h>

#include "isilon/IsilonJSON.h"
#include "json/jsonxx.h"
#include "tests/smb/SmbFixture.h"

namespace {

const char kServer[] = "127.0.0.20";
const std::string kShares = "https://127.0.0.20:8080/platform/1/protocols/smb/shares";

TEST(SmbRequests, CreateFormsUriAndBodyAndEscapesWhatJsonNeeds) {
  IsilonJsonCIFSShareCreate request;
  request.Initialize(kServer, "data", "/ifs/data", "never sent", "");
  std::string uri = "x", body = "y";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, kShares);
  EXPECT_EQ(body,
            "{\"name\" : \"data\",\"path\" : \"/ifs/data\",\"permissions\" : [],"
            "\"run_as_root\" : [ { \"name\":\"Everyone\"}]}");

  // Plain zone names stay as they are; anything that could end or extend the query is encoded.
  for (const auto& zone : std::vector<std::pair<std::string, std::string>>{
           {"zone-1_b", "zone-1_b"}, {"a b&limit=1#x", "a%20b%26limit%3D1%23x"}}) {
    request.Initialize(kServer, "data", "/ifs/data", "", zone.first);
    request.BuildRequest(uri, body);
    EXPECT_EQ(uri, kShares + "?zone=" + zone.second);
  }

  // A quote or backslash stays inside its string and names exactly that share.
  const std::string name = "q\"uote\\d", path = "/ifs/a\\b\"c";
  request.Initialize(kServer, name, path, "", "");
  request.BuildRequest(uri, body);
  jsonxx::Object parsed;
  ASSERT_TRUE(parsed.parse(body)) << body;
  EXPECT_EQ(parsed.get<std::string>("name"), name);
  EXPECT_EQ(parsed.get<std::string>("path"), path);
  EXPECT_EQ(parsed.size(), 4u);
}

TEST(SmbRequests, DeleteEncodesNameAndZoneAndSendsNoBody) {
  IsilonJsonCIFSShareDelete request;
  request.Initialize(kServer, "my share$", "/ifs/never-sent", "");
  std::string uri, body = "stale";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, kShares + "/my%20share%24");
  EXPECT_EQ(body, "");
  request.Initialize(kServer, "plain-name_1", "/ifs/x", "sales & ops");
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, kShares + "/plain-name_1?zone=sales%20%26%20ops");
}

TEST(SmbRequests, ListUriForFirstPageNamedShareAndResume) {
  IsilonJsonCIFSShareList request;
  request.Initialize(kServer, "", "", "", 50);
  std::string uri, body = "stale";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, kShares + "?limit=50");
  EXPECT_EQ(body, "");

  request.Initialize(kServer, "a b#c", "eng zone", "", 50);
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, kShares + "/a%20b%23c?limit=50&zone=eng%20zone");
  // The follow-up request carries the token alone; it holds the rest of the query.
  std::string page = R"({"shares":[],"resume":"tok-2_x"})";
  ASSERT_TRUE(request.ParseResponse(page));
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, kShares + "/a%20b%23c?resume=tok-2_x");

  // A negative page size would become a twenty-digit number: refused, nothing formed.
  request.Initialize(kServer, "", "", "", -1);
  EXPECT_FALSE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "");
  request.Initialize(kServer, "", "", "", 999999999);
  EXPECT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, kShares + "?limit=999999999");
}

TEST(SmbRequests, ListReplyFillsRecordsAclsAndTheAskedZone) {
  IsilonJsonCIFSShareList request;
  request.Initialize(kServer, "", "asked", "", 50);
  std::string reply = R"({"resume":null,"shares":[
    {"name":"data","path":"/ifs/data","description":"d","zid":1.9,
     "permissions":[{"permission":"full","permission_type":"allow",
                     "trustee":{"id":"SID:S-1-1-0","name":"Everyone","type":"wellknown"}},
                    {"permission":"read","permission_type":"deny","trustee":{"id":"UID:7"}}],
     "run_as_root":[{"id":"UID:0","name":"root"},{"id":"GID:5","type":"group"}]},
    {"name":"big","path":"/ifs/big","description":"","zid":18446744073709551615,"permissions":[],"run_as_root":[]}]})";
  ASSERT_TRUE(request.ParseResponse(reply));
  std::vector<_IsilonShareInfo> shares(5);
  ASSERT_TRUE(request.GetSharesInfo(shares));
  ASSERT_EQ(shares.size(), 2u);
  const _IsilonShareInfo& a = shares[0];
  EXPECT_EQ(a.strName + " " + a.strPath + " " + a.strDescription + " " + a.strZone, "data /ifs/data d asked");
  EXPECT_EQ(a.nZoneId, 1u);
  EXPECT_EQ(Texts(a.ACLs.vPermissions),
            (std::vector<std::string>{"full/allow/SID:S-1-1-0|Everyone|wellknown", "read/deny/UID:7||"}));
  EXPECT_EQ(Texts(a.ACLs.vRunAsRoot), (std::vector<std::string>{"UID:0|root|", "GID:5||group"}));
  EXPECT_EQ(shares[1].nZoneId, UINT64_MAX);
}

TEST(SmbRequests, ZoneListReply) {
  IsilonJsonAccessZoneList request;
  const std::string reply = R"({"zones":[{"name":"System","path":"/ifs","zone_id":1,"system":true},
      {"name":"big","path":"/ifs/big","zone_id":4294967298.7,"system":false},{"name":"neg","zone_id":-1}]})";
  ASSERT_TRUE(request.ParseResponse(reply));
  std::vector<_IsilonAccessZoneInfo> zones(1);
  request.GetAccessZonesList(zones);
  std::vector<std::string> got;
  for (const auto& z : zones) got.push_back(Pipe(z.strName, z.strPath, z.nZoneId, z.bSystem));
  // Ids keep their low 32 bits.
  EXPECT_EQ(got, (std::vector<std::string>{"System|/ifs|1|1", "big|/ifs/big|2|0", "neg||4294967295|0"}));
  EXPECT_FALSE(request.ParseResponse(std::string("{}")));
}

TEST(SmbRequests, AclBodyComesFromTheJsonWriter) {
  IsilonJsonSMBACLModify request;
  std::string uri, body;
  request.Initialize(kServer, _IsilonSMBACLs(), "plain_share-1", "");
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.20:8080/platform/3/protocols/smb/shares/plain_share-1");
  EXPECT_EQ(body, "{\"permissions\": [], \"run_as_root\": []}");

  const _IsilonSMBACLs acls{
      {{"full", "allow", {"SID:S-1-5-32-544", "", ""}}, {"read", "deny", {"", "DOM\\us\"er/x", "user"}}},
      {{"UID:0", "root", ""}}};
  request.Initialize(kServer, acls, "my share&x=1", "z #1");
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.20:8080/platform/3/protocols/smb/shares/my%20share%26x%3D1?zone=z%20%231");
  EXPECT_EQ(body,
            "{\"permissions\": [{\"permission\": \"full\", \"permission_type\": \"allow\", \"trustee\": "
            "{\"id\": \"SID:S-1-5-32-544\"}}, "
            "{\"permission\": \"read\", \"permission_type\": \"deny\", \"trustee\": "
            "{\"name\": \"DOM\\\\us\\\"er\\/x\", \"type\": \"user\"}}], "
            "\"run_as_root\": [{\"id\": \"UID:0\", \"name\": \"root\"}]}");
}

}  // namespace
