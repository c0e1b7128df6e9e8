// Creating, listing and deleting NFS exports through the real transport against the simulator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/nfs/NfsSim.h"
#include "tests/support/LogCapture.h"

namespace {

const std::string kExportsPath = "/platform/1/protocols/nfs/exports";

class NfsSessionTest : public NfsSimTest {
 protected:
  NfsSessionTest() : NfsSimTest("127.0.0.30") {}

  std::vector<unsigned int> Ids(const std::vector<_IsilonNFSExportInfo>& list) {
    std::vector<unsigned int> ids;
    for (const auto& e : list) ids.push_back(e.nId);
    return ids;
  }
};

TEST_F(NfsSessionTest, CreateListAndDeleteOneExportOnTwoPaths) {
  ScopedLogCapture log(3);
  _IsilonNFSPermissions permissions;
  permissions.setClients = {"host2", "host1"};
  permissions.setRootClients = {"host1"};
  permissions.setSecurityFlavors = {"unix"};
  unsigned int id = 0;
  ASSERT_TRUE(session().CreateNFSExport(id, {"/ifs/data/b", "/ifs/data/a"}, permissions, "x", "y", true, false));
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(log.Contains("Request to create nfs export on path[/ifs/data/a]."));
  EXPECT_TRUE(log.Contains("Successfully created nfs export on [2] paths."));

  // Every field came through (the request bytes: RequestsTest).
  std::vector<_IsilonNFSExportInfo> list;
  ASSERT_TRUE(session().GetNFSExportList(list, id, "", ""));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(Text(list[0]),
            std::to_string(id) + " /ifs/data/b,/ifs/data/a host1,host2 ro: rw: root:host1 sec:unix read_only");
  EXPECT_EQ(ExportRequests("GET").back().target, kExportsPath + "/" + std::to_string(id));

  ASSERT_TRUE(session().DeleteNFSExport(id, "Ignored"));
  EXPECT_TRUE(nfs().exports().empty());
  EXPECT_TRUE(log.Contains("Successfully deleted nfs export. Export-Id [" + std::to_string(id) + "]."));
}

TEST_F(NfsSessionTest, ConflictAndMissingExportCountAsSuccessWithTheClusterError) {
  unsigned int first = 0;
  ASSERT_TRUE(session().CreateNFSExport(first, {"/ifs/data"}, _IsilonNFSPermissions(), "", "", false, true));
  unsigned int id = 77;
  ASSERT_TRUE(session().CreateNFSExport(id, {"/ifs/data"}, _IsilonNFSPermissions(), "", "", false, true));
  EXPECT_EQ(id, 77u);  // untouched
  EXPECT_EQ(LastError().first, "AEC_CONFLICT");
  EXPECT_EQ(nfs().exports().size(), 1u);

  ASSERT_TRUE(session().DeleteNFSExport(first, ""));
  ASSERT_TRUE(session().DeleteNFSExport(first, ""));
  EXPECT_EQ(LastError().first, "AEC_NOT_FOUND");
}

TEST_F(NfsSessionTest, InvalidInputIsRefusedBeforeAnyRequest) {
  unsigned int id = 5;
  EXPECT_FALSE(session().CreateNFSExport(id, {}, _IsilonNFSPermissions(), "", "", false, true));
  ExpectLastError("Internal error", "Invalid input parameters");
  EXPECT_FALSE(session().DeleteNFSExport(0, ""));
  ExpectLastError("Internal error", "Invalid input parameters");
  EXPECT_EQ(server().requestLog().size(), 0u);  // not even the session was opened
  EXPECT_EQ(id, 5u);
}

TEST_F(NfsSessionTest, RepliesThatCannotBeTakenAreFailures) {
  // A create answered without an id.
  server().faults().add(isim::Fault::replace(kExportsPath, 201, R"({"ids":[3]})").on("POST"));
  unsigned int id = 9;
  EXPECT_FALSE(session().CreateNFSExport(id, {"/ifs/a"}, _IsilonNFSPermissions(), "", "", false, true));
  ExpectLastError("Internal Error", R"(Failed to parse json response:[{"ids":[3]}])");
  EXPECT_EQ(id, 9u);

  // A delete that the transport calls a success but that carries a body failed, unless the body
  // names a missing export (taken like the cluster's refusal of a missing id).
  const struct {
    const char* body;
    bool ok;
    const char* code;
    const char* message;
  } deletes[] = {{R"({"errors":[{"code":"AEC_BUSY","message":"later"}]})", false, "AEC_BUSY", "later"},
                 {"ok", false, "Internal error", "Internal error"},
                 {R"({"errors":[{"code":"AEC_NOT_FOUND","message":"gone"}]})", true, "AEC_NOT_FOUND", "gone"}};
  for (const auto& d : deletes) {
    server().faults().add(isim::Fault::replace(kExportsPath, 200, d.body).on("DELETE"));
    EXPECT_EQ(session().DeleteNFSExport(3, ""), d.ok) << d.body;
    ExpectLastError(d.code, d.message);
  }

  // A listing page that is not JSON.
  server().faults().add(isim::Fault::notJson(kExportsPath).on("GET"));
  std::vector<_IsilonNFSExportInfo> list;
  EXPECT_FALSE(session().GetNFSExportList(list, 0, "", ""));
  EXPECT_EQ(LastError().first, "Internal Error");
  EXPECT_EQ(LastError().second.rfind("Failed to parse json response:[", 0), 0u);
}

TEST_F(NfsSessionTest, ListingFollowsEveryPageWithoutAFilter) {
  nfs().setPageSize(2);
  std::vector<unsigned int> made;
  for (int i = 0; i < 5; ++i) made.push_back(nfs().add(Item({"/ifs/p" + std::to_string(i)})));
  nfs().add(Item({"/ifs/elsewhere"}, "Other"));

  std::vector<_IsilonNFSExportInfo> list(1);
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "", ""));
  EXPECT_EQ(Ids(list), made);
  const auto gets = ExportRequests("GET");
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[0].target, kExportsPath);
  EXPECT_EQ(gets[2].target.rfind(kExportsPath + "?resume=", 0), 0u) << gets[2].target;

  // A later page that fails fails the list: the earlier pages are not handed out as the whole.
  server().faults().add(isim::Fault::error(kExportsPath, 500, "AEC_UNAVAILABLE", "try later").on("GET").after(1));
  EXPECT_FALSE(session().GetNFSExportList(list, 0, "", ""));
  ExpectLastError("AEC_UNAVAILABLE", "try later");
  EXPECT_TRUE(list.empty());

  // An empty cluster lists nothing and succeeds.
  nfs().clear();
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "", ""));
  EXPECT_TRUE(list.empty());
}

TEST_F(NfsSessionTest, PathFilterStopsAfterThePageWithAMatch) {
  nfs().setPageSize(2);
  nfs().add(Item({"/ifs/xa", "/ifs"}));                             // a prefix either way is no match
  const unsigned int both = nfs().add(Item({"/ifs/x", "/ifs/x"}));  // two equal paths: returned once
  nfs().add(Item({"/ifs/b"}));
  nfs().add(Item({"/ifs/c"}));
  nfs().add(Item({"/ifs/x"}));  // on page 3: never asked for

  std::vector<_IsilonNFSExportInfo> list;
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "/ifs/x", ""));
  EXPECT_EQ(Ids(list), std::vector<unsigned int>{both});
  EXPECT_EQ(ExportRequests("GET").size(), 1u);

  // The comparison is exact and case-sensitive; without a match every page is read.
  server().requestLog().clear();
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "/IFS/X", ""));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(ExportRequests("GET").size(), 3u);
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "/ifs/c", ""));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].vPaths, std::vector<std::string>{"/ifs/c"});
}

TEST_F(NfsSessionTest, ZoneIsEncodedAndCarriedByTheResumeToken) {
  nfs().setPageSize(1);
  nfs().add(Item({"/ifs/sys"}));
  const unsigned int a = nfs().add(Item({"/ifs/z1"}, "R&D Zone"));
  const unsigned int b = nfs().add(Item({"/ifs/z2"}, "R&D Zone"));

  std::vector<_IsilonNFSExportInfo> list;
  ASSERT_TRUE(session().GetNFSExportList(list, 0, "", "R&D Zone"));
  EXPECT_EQ(Ids(list), (std::vector<unsigned int>{a, b}));
  EXPECT_EQ(ExportRequests("GET").size(), 2u);

  // A zone the cluster refuses is the cluster's error.
  EXPECT_FALSE(session().GetNFSExportList(list, 0, "", "a/b"));
  EXPECT_EQ(LastError().first, "AEC_BAD_REQUEST");
}

TEST_F(NfsSessionTest, ClusterRefusesMalformedOrClashingCreates) {
  // Through the session's own request cycle, with bodies the library would never send.
  ASSERT_TRUE(session().OpenConnection());
  const std::string uri = "https://" + address() + ":8080" + kExportsPath;
  auto post = [&](const std::string& query, const std::string& body) {
    std::string response;
    if (session().SendRequest(response, 1, uri + query, body, true)) return std::string("ok ") + response;
    IsilonJsonBase error;
    error.ParseError(response);
    std::string code, message;
    error.getError(code, message);
    return code;
  };
  EXPECT_EQ(post("?force=true", R"({"paths":["/ifs/a","/ifs/b"]})").substr(0, 3), "ok ");
  // Sharing one path needs force; the same paths never pass.
  EXPECT_EQ(post("", R"({"paths":["/ifs/b","/ifs/c"]})"), "AEC_CONFLICT");
  EXPECT_EQ(post("?force=true", R"({"paths":["/ifs/b","/ifs/c"]})").substr(0, 3), "ok ");
  EXPECT_EQ(post("?force=true", R"({"paths":["/ifs/b/","/ifs//a"]})"), "AEC_CONFLICT");
  // The same paths in another zone are another export.
  EXPECT_EQ(post("?force=true&zone=Other", R"({"paths":["/ifs/a","/ifs/b"]})").substr(0, 3), "ok ");
  for (const char* body :
       {"", "[1]", "{}", R"({"paths":[]})", R"({"paths":["relative"]})", R"({"paths":["/ifs/q"],"clients":[""]})",
        R"({"paths":["/ifs/q"],"read_only":"no"})", R"({"paths":["/ifs/q"],"security_flavors":["none"]})",
        R"({"paths":["/ifs/q"],"map_all":{}})", R"({"paths":"/ifs/q"})"}) {
    EXPECT_EQ(post("?force=true", body), "AEC_BAD_REQUEST") << body;
  }
  EXPECT_EQ(nfs().exports().size(), 3u);
}

}  // namespace
