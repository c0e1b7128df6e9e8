// Request forms and reply reading of the NFS export request classes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"
#include "json/jsonxx.h"
#include "tests/nfs/NfsSim.h"

namespace {

const char kServer[] = "127.0.0.30";
const char kExports[] = "https://127.0.0.30:8080/platform/1/protocols/nfs/exports";

std::string CreateBody(const std::vector<std::string>& paths, const _IsilonNFSPermissions& permissions, bool readOnly,
                       bool allDirs, std::string* uri = nullptr) {
  IsilonJsonNFSExportCreate request;
  request.Initialize(kServer, paths, permissions, "second", readOnly, allDirs, "first");
  std::string u = "stale", body = "stale";
  EXPECT_TRUE(request.BuildRequest(u, body));
  if (uri != nullptr) *uri = u;
  return body;
}

TEST(NfsRequests, CreateBodyIsJoinedExactlyWithSortedUniqueSets) {
  _IsilonNFSPermissions permissions;
  // Inserted out of order and twice: emitted once each, in ascending byte order.
  for (const char* host : {"zeta", "Alpha", "beta", "alpha", "beta"}) permissions.setClients.insert(host);
  permissions.setReadWriteClients.insert("10.0.0.2");
  permissions.setReadWriteClients.insert("10.0.0.10");
  permissions.setRootClients.insert("backup");
  permissions.setSecurityFlavors.insert("unix");
  permissions.setSecurityFlavors.insert("krb5");
  std::string uri;
  const std::string body = CreateBody({"/ifs/b", "/ifs/a"}, permissions, false, true, &uri);
  EXPECT_EQ(uri, std::string(kExports) + "?force=true");
  EXPECT_EQ(body,
            "{\"paths\":[\"/ifs/b\",\"/ifs/a\"],\"clients\":[\"Alpha\",\"alpha\",\"beta\",\"zeta\"],"
            "\"read_only_clients\":[],\"read_write_clients\":[\"10.0.0.10\",\"10.0.0.2\"],"
            "\"root_clients\":[\"backup\"],\"security_flavors\":[\"krb5\",\"unix\"],"
            "\"read_only\" :false,\"all_dirs\" :true}");

  // Bytes of 128 and above sort after ASCII, as unsigned bytes.
  _IsilonNFSPermissions high;
  high.setClients.insert("\xc3\xa9t\xc3\xa9");
  high.setClients.insert("z");
  EXPECT_EQ(CreateBody({"/ifs/x"}, high, true, false),
            "{\"paths\":[\"/ifs/x\"],\"clients\":[\"z\",\"\xc3\xa9t\xc3\xa9\"],\"read_only_clients\":[],"
            "\"read_write_clients\":[],\"root_clients\":[],\"security_flavors\":[],"
            "\"read_only\" :true,\"all_dirs\" :false}");

  // A cleared record gives five empty lists.
  permissions.clear();
  EXPECT_EQ(CreateBody({"/ifs/x"}, permissions, false, true),
            "{\"paths\":[\"/ifs/x\"],\"clients\":[],\"read_only_clients\":[],\"read_write_clients\":[],"
            "\"root_clients\":[],\"security_flavors\":[],\"read_only\" :false,\"all_dirs\" :true}");
}

TEST(NfsRequests, CreateBodyEscapesValuesThatWouldBreakTheJson) {
  _IsilonNFSPermissions permissions;
  permissions.setClients.insert("h\"],\"root_clients\":[\"*");
  permissions.setSecurityFlavors.insert("unix\\");
  const std::string body = CreateBody({"/ifs/a\"b\\c\n"}, permissions, false, true);
  EXPECT_EQ(body,
            "{\"paths\":[\"/ifs/a\\\"b\\\\c\\n\"],\"clients\":[\"h\\\"],\\\"root_clients\\\":[\\\"*\"],"
            "\"read_only_clients\":[],\"read_write_clients\":[],\"root_clients\":[],"
            "\"security_flavors\":[\"unix\\\\\"],\"read_only\" :false,\"all_dirs\" :true}");
  // The escaped body reads back with the caller's exact texts.
  jsonxx::Object parsed;
  ASSERT_TRUE(parsed.parse(body));
  EXPECT_EQ(parsed.get<jsonxx::Array>("paths").get<std::string>(0), "/ifs/a\"b\\c\n");
  EXPECT_EQ(parsed.get<jsonxx::Array>("clients").size(), 1u);
  EXPECT_TRUE(parsed.get<jsonxx::Array>("root_clients").empty());
}

TEST(NfsRequests, CreateReplyIdIsTruncatedAndRequired) {
  const struct {
    const char* reply;
    bool ok;
    unsigned int id;
  } cases[] = {
      {R"({"id": 7.9})", true, 7},
      {R"({"id": 4294967298})", true, 2},  // low 32 bits
      {R"({"id": -1})", true, 4294967295u},
      // A reply cut short, or followed by other text, names no export.
      {R"({"id": 12, "extra": [)", false, 0},
      {R"({"id": 12} x)", false, 0},
      {R"({"id": 12} )", true, 12},
      {R"({"id": "12"})", false, 0},
      {R"({"other": 1})", false, 0},
      {"{}", false, 0},
      {"", false, 0},
      {"<html>busy</html>", false, 0},
  };
  for (const auto& c : cases) {
    IsilonJsonNFSExportCreate request;
    std::string reply = c.reply;
    EXPECT_EQ(request.ParseResponse(reply), c.ok) << c.reply;
    EXPECT_EQ(request.getExportId(), c.id) << c.reply;
  }
}

TEST(NfsRequests, DeleteUriNamesTheIdAndSendsNoZoneOrBody) {
  IsilonJsonNFSExportDelete request;
  request.Initialize(kServer, 4294967295u, "Zone A");
  std::string uri = "x", body = "y";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, std::string(kExports) + "/4294967295");
  EXPECT_EQ(body, "");
}

TEST(NfsRequests, ListUriCarriesIdEncodedZoneOrOnlyTheResumeToken) {
  std::string uri, body = "y";
  const std::string zoned = std::string(kExports) + "?zone=Sales%20%26%20Ops%3Fx%3D1%23";
  const struct {
    unsigned int id;
    const char* zone;
    std::string uri;
  } cases[] = {{0, "", kExports}, {42, "", std::string(kExports) + "/42"}, {0, "Sales & Ops?x=1#", zoned}};
  for (const auto& c : cases) {
    IsilonJsonNFSExportList request;
    request.Initialize(kServer, c.id, c.zone);
    ASSERT_TRUE(request.BuildRequest(uri, body));
    EXPECT_EQ(uri, c.uri);
    EXPECT_EQ(body, "");
  }
  // The token goes back alone, as received; after the last page the first query again.
  IsilonJsonNFSExportList request;
  request.Initialize(kServer, 0, "Sales & Ops?x=1#");
  std::string page = R"({"exports":[],"resume":"tok+/1=="})";
  ASSERT_TRUE(request.ParseResponse(page));
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, std::string(kExports) + "?resume=tok+/1==");
  std::string last = R"({"exports":[],"resume":null})";
  ASSERT_TRUE(request.ParseResponse(last));
  request.BuildRequest(uri, body);
  EXPECT_EQ(uri, zoned);
}

TEST(NfsRequests, ListReplyFillsEveryFieldInReplyOrder) {
  IsilonJsonNFSExportList request;
  request.Initialize(kServer, 0, "");
  std::string page = R"({"exports":[
      {"id":12.7,"paths":["/ifs/b","/ifs/a"],"clients":["z","a"],"read_only_clients":["ro"],
       "read_write_clients":["rw1","rw2"],"root_clients":["root"],"security_flavors":["unix","krb5"],
       "read_only":true,"all_dirs":false,"zone":"System"},
      {"id":3,"paths":["/ifs/c"]}],
    "resume":"next","total":9})";
  ASSERT_TRUE(request.ParseResponse(page));
  std::vector<_IsilonNFSExportInfo> list(5);
  ASSERT_TRUE(request.GetExportsInfo(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(Text(list[0]), "12 /ifs/b,/ifs/a z,a ro:ro rw:rw1,rw2 root:root sec:unix,krb5 read_only");
  EXPECT_EQ(list[0].strReserved, "");
  // Missing members read as empty values of their kind.
  EXPECT_EQ(Text(list[1]), "3 /ifs/c  ro: rw: root: sec:");
  std::string resume;
  request.GetResume(resume);
  EXPECT_EQ(resume, "next");

  // Each page replaces the previous one.
  std::string second = R"({"exports":[{"id":1}]})";
  ASSERT_TRUE(request.ParseResponse(second));
  request.GetExportsInfo(list);
  EXPECT_EQ(list.size(), 1u);
  request.GetResume(resume);
  EXPECT_EQ(resume, "");
}

TEST(NfsRequests, ARefusedListReplyLeavesNoExports) {
  IsilonJsonNFSExportList request;
  std::vector<_IsilonNFSExportInfo> list;
  for (std::string bad : {std::string(), std::string("not json"), std::string("{}"), std::string("[{\"id\":1}]")}) {
    std::string good = R"({"exports":[{"id":1}]})";
    ASSERT_TRUE(request.ParseResponse(good));
    EXPECT_FALSE(request.ParseResponse(bad)) << bad;
    request.GetExportsInfo(list);
    EXPECT_TRUE(list.empty()) << bad;
  }
}

}  // namespace
