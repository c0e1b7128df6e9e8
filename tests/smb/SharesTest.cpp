// Creating, deleting, listing and looking up SMB shares through the real transport against
// the simulated cluster.
#include <gtest/gtest.h>

#include "sim/core/Faults.h"
#include "tests/smb/SmbFixture.h"

namespace {

class SmbShares : public SmbFixture {
 protected:
  SmbShares() : SmbFixture("127.0.0.20") {}
};

TEST_F(SmbShares, CreateListLookUpAndDeleteOneShare) {
  ASSERT_TRUE(session().CreateCIFSShare("data", "/ifs/data", "ignored", "")) << Message();
  auto posts = server().requestLog().find("POST", "/platform/1/protocols/smb/shares");
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].target, "/platform/1/protocols/smb/shares");
  EXPECT_EQ(posts[0].body,
            "{\"name\" : \"data\",\"path\" : \"/ifs/data\",\"permissions\" : [],"
            "\"run_as_root\" : [ { \"name\":\"Everyone\"}]}");

  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", ""));
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(shares[0].strName, "data");
  EXPECT_EQ(shares[0].strPath, "/ifs/data");
  EXPECT_EQ(shares[0].nZoneId, 1u);
  ASSERT_EQ(shares[0].ACLs.vRunAsRoot.size(), 1u);
  EXPECT_EQ(shares[0].ACLs.vRunAsRoot[0].strId, "SID:S-1-1-0");
  EXPECT_TRUE(shares[0].ACLs.vPermissions.empty());

  std::string path;
  _IsilonShareInfo info;
  ASSERT_TRUE(session().GetFSPathForShare("data", path, info, ""));
  EXPECT_EQ(path, "/ifs/data");
  EXPECT_EQ(info.strName, "data");

  ASSERT_TRUE(session().DeleteCIFSShare("data", "/ifs/data", ""));
  EXPECT_EQ(ShareTargets("DELETE"), std::vector<std::string>{"/platform/1/protocols/smb/shares/data"});
  EXPECT_TRUE(smb().shares("System").empty());
  // One session for all of it.
  EXPECT_EQ(server().requestLog().find("POST", "/session/1/session").size(), 1u);
}

TEST_F(SmbShares, ConflictAndNotFoundCountAsSuccessWithTheClusterCodeKept) {
  ASSERT_TRUE(session().CreateCIFSShare("data", "/ifs/data", "", ""));
  ASSERT_TRUE(session().CreateCIFSShare("DATA", "/ifs/other", "", ""));
  EXPECT_EQ(Code(), "AEC_CONFLICT");
  EXPECT_NE(Message().find("already exists"), std::string::npos) << Message();
  EXPECT_EQ(smb().shares("System").size(), 1u);

  ASSERT_TRUE(session().DeleteCIFSShare("missing", "/ifs/x", ""));
  EXPECT_EQ(Code(), "AEC_NOT_FOUND");

  // Any other refusal fails, with the cluster's words.
  EXPECT_FALSE(session().CreateCIFSShare("outside", "/tmp/x", "", ""));
  EXPECT_EQ(Code(), "AEC_BAD_REQUEST");
  EXPECT_NE(Message().find("not within zone"), std::string::npos) << Message();
}

TEST_F(SmbShares, EmptyInputIsRefusedBeforeAnythingIsSent) {
  EXPECT_FALSE(session().CreateCIFSShare("", "/ifs/data", "", ""));
  EXPECT_EQ(Code(), "Internal error");
  EXPECT_EQ(Message(), "Invalid input parameters");
  EXPECT_FALSE(session().CreateCIFSShare("x", "", "", ""));
  EXPECT_FALSE(session().DeleteCIFSShare("", "/ifs", ""));
  EXPECT_FALSE(session().DeleteCIFSShare("x", "", ""));
  std::string path = "kept";
  _IsilonShareInfo info;
  EXPECT_FALSE(session().GetFSPathForShare("", path, info, ""));
  EXPECT_EQ(path, "kept");
  EXPECT_EQ(server().requestLog().size(), 0u);
}

TEST_F(SmbShares, ExportedFunctionsTakeTheirOwnArgumentOrders) {
  std::string code = "untouched", message = "untouched";
  // Create: path before name.
  ASSERT_TRUE(CreateShareIsilon(7, address(), user(), password(), "/ifs/data/x", "xshare", code, message));
  isim::SmbModule::Share share;
  ASSERT_TRUE(smb().findShare("System", "xshare", share));
  EXPECT_EQ(share.path, "/ifs/data/x");
  EXPECT_EQ(code, "untouched");
  // Delete: name before path; never a zone.
  ASSERT_TRUE(DeleteShareIsilon(7, address(), user(), password(), "xshare", "/ifs/data/x", code, message));
  EXPECT_FALSE(smb().findShare("System", "xshare", share));
  for (const auto& target : ShareTargets("")) EXPECT_EQ(target.find("zone="), std::string::npos) << target;

  // Failures hand back the cluster's error.
  EXPECT_FALSE(CreateShareIsilon(0, address(), user(), "wrong", "/ifs/y", "y", code, message));
  EXPECT_EQ(code, "AEC_UNAUTHORIZED");
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(DeleteShareIsilon(0, address(), user(), password(), "", "/ifs/y", code, message));
  EXPECT_EQ(code, "Internal error");
  EXPECT_EQ(message, "Invalid input parameters");
}

TEST_F(SmbShares, NamesAndPathsWithSpecialCharactersStayExact) {
  // Blank, "&", "#" and "$" in a name neither break a request nor add query parameters.
  const std::string name = "a b&c#d$";
  const std::string path = "/ifs/odd \"quoted\" \\ dir";
  ASSERT_TRUE(smb().addZone("ops & sales #1", "/ifs"));
  ASSERT_TRUE(session().CreateCIFSShare(name, path, "", "ops & sales #1")) << Message();
  isim::SmbModule::Share share;
  ASSERT_TRUE(smb().findShare("ops & sales #1", name, share));
  EXPECT_EQ(share.path, path);

  std::string found;
  _IsilonShareInfo info;
  ASSERT_TRUE(session().GetFSPathForShare(name, found, info, "ops & sales #1")) << Message();
  EXPECT_EQ(found, path);
  EXPECT_EQ(info.strZone, "ops & sales #1");
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", path, "ops & sales #1")) << Message();
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(shares[0].strName, name);
  ASSERT_TRUE(session().DeleteCIFSShare(name, path, "ops & sales #1"));
  EXPECT_EQ(Code(), "");
  EXPECT_TRUE(smb().shares("ops & sales #1").empty());

  // The cluster refuses a quote in a share name on its own rules, not as broken JSON.
  EXPECT_FALSE(session().CreateCIFSShare("bad\"name", "/ifs/data", "", ""));
  EXPECT_EQ(Code(), "AEC_BAD_REQUEST");
  EXPECT_NE(Message().find("invalid characters"), std::string::npos) << Message();
}

TEST_F(SmbShares, ListingFollowsResumeTokensWithAndWithoutPathFilter) {
  AddShares("System", "s", "/ifs/a", 60);
  AddShares("System", "t", "/ifs/b", 60);
  AddShares("System", "u", "/ifs/b2", 1);
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", ""));
  ASSERT_EQ(shares.size(), 121u);
  EXPECT_EQ(shares.front().strName, "s000");
  EXPECT_EQ(shares.back().strName, "u000");
  std::vector<std::string> targets = ShareTargets("GET");
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0], "/platform/1/protocols/smb/shares?limit=50");
  EXPECT_EQ(targets[1].rfind("/platform/1/protocols/smb/shares?resume=", 0), 0u) << targets[1];
  EXPECT_EQ(targets[1].find("limit"), std::string::npos);

  // A path filter keeps the exact matches of every page; a longer path, case and trailing slash count.
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "/ifs/b", ""));
  ASSERT_EQ(shares.size(), 60u);
  EXPECT_EQ(shares.front().strName, "t000");
  EXPECT_EQ(shares.back().strName, "t059");
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "/ifs/b/", ""));
  EXPECT_TRUE(shares.empty());
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "/IFS/b", ""));
  EXPECT_TRUE(shares.empty());
}

TEST_F(SmbShares, EmptyListingSucceedsButAnEmptyPageFailsAFilteredOne) {
  ASSERT_TRUE(smb().addZone("empty", "/ifs/empty"));
  std::vector<_IsilonShareInfo> shares(2);
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", "empty"));
  EXPECT_TRUE(shares.empty());
  EXPECT_EQ(ShareTargets("GET").back(), "/platform/1/protocols/smb/shares?limit=50&zone=empty");
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "/ifs/empty", "empty"));
  EXPECT_EQ(Code(), "Internal Error");
  EXPECT_EQ(Message().rfind("Failed to parse json response:[{", 0), 0u) << Message();
}

TEST_F(SmbShares, ARepeatedResumeTokenStopsTheListing) {
  AddShares("System", "s", "/ifs/a", 120);
  server().faults().add(isim::Fault::repeatResume("/platform/1/protocols/smb/shares").count(0));
  std::vector<_IsilonShareInfo> shares;
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "", ""));
  EXPECT_EQ(Code(), "Internal Error");
  EXPECT_NE(Message().find("repeated resume token"), std::string::npos) << Message();
  EXPECT_LE(ShareTargets("GET").size(), 3u);
}

TEST_F(SmbShares, BrokenRepliesFailCleanly) {
  AddShares("System", "s", "/ifs/a", 70);
  std::vector<_IsilonShareInfo> shares;
  // A second page that is not JSON: the first page's records stay.
  server().faults().add(isim::Fault::notJson("/platform/1/protocols/smb/shares").on("GET").after(1));
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "", ""));
  EXPECT_EQ(shares.size(), 50u);
  EXPECT_EQ(Message().rfind("Failed to parse json response:[", 0), 0u) << Message();

  // Cut replies, every time (a single one is retried away).
  server().faults().clear();
  server().faults().add(isim::Fault::closeMidReply("/platform/1/protocols/smb/shares").count(0));
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "", ""));
  server().faults().clear();
  server().faults().add(isim::Fault::truncate("/platform/1/protocols/smb/shares", "{\"shares\":[{\"na", 500).count(0));
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "", ""));
  server().faults().clear();
  server().faults().add(
      isim::Fault::error("/platform/1/protocols/smb/shares", 500, "AEC_SYSTEM_INTERNAL_ERROR", "boom"));
  std::string path;
  _IsilonShareInfo info;
  EXPECT_FALSE(session().GetFSPathForShare("s001", path, info, ""));
  EXPECT_EQ(Code(), "AEC_SYSTEM_INTERNAL_ERROR");
  EXPECT_EQ(Message(), "boom");
  // A lookup answered with no record fails instead of handing out an empty path.
  server().faults().add(isim::Fault::replace("/platform/1/protocols/smb/shares", 200, "{\"shares\":[]}"));
  EXPECT_FALSE(session().GetFSPathForShare("s001", path, info, ""));
  EXPECT_EQ(Message(), "Failed to parse json response:[{\"shares\":[]}]");
  ASSERT_TRUE(session().GetFSPathForShare("s001", path, info, ""));
  EXPECT_EQ(path, "/ifs/a");
}

TEST_F(SmbShares, ADeleteAnsweredWithTextIsReadAsAnError) {
  AddShares("System", "s", "/ifs/a", 1);
  server().faults().add(isim::Fault::replace("/platform/1/protocols/smb/shares/s000", 200,
                                             R"({"errors":[{"code":"AEC_BUSY","message":"in use"}]})"));
  EXPECT_FALSE(session().DeleteCIFSShare("s000", "/ifs/a", ""));
  EXPECT_EQ(Code(), "AEC_BUSY");
  EXPECT_EQ(Message(), "in use");
  server().faults().add(isim::Fault::replace("/platform/1/protocols/smb/shares/s000", 200, "OK"));
  EXPECT_FALSE(session().DeleteCIFSShare("s000", "/ifs/a", ""));
  EXPECT_EQ(Code(), "Internal error");
  server().faults().add(isim::Fault::replace("/platform/1/protocols/smb/shares/s000", 200,
                                             R"({"errors":[{"code":"AEC_NOT_FOUND","message":"gone"}]})"));
  EXPECT_TRUE(session().DeleteCIFSShare("s000", "/ifs/a", ""));
  EXPECT_EQ(Code(), "AEC_NOT_FOUND");
}

}  // namespace
