// Creating, deleting, listing and looking up SMB shares through the real transport against
// the simulated cluster.
#include <gtest/gtest.h>

#include "sim/core/Faults.h"
#include "tests/smb/SmbFixture.h"

namespace {

const char kShares[] = "/platform/1/protocols/smb/shares";

class SmbShares : public SmbFixture {
 protected:
  SmbShares() : SmbFixture("127.0.0.20") {}
};

TEST_F(SmbShares, CreateListLookUpAndDeleteOneShare) {
  ASSERT_TRUE(session().CreateCIFSShare("data", "/ifs/data", "ignored", "")) << LastMessage();
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", ""));
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(shares[0].strName + " " + shares[0].strPath, "data /ifs/data");

  std::string path;
  _IsilonShareInfo info;
  ASSERT_TRUE(session().GetFSPathForShare("data", path, info, ""));
  EXPECT_EQ(path, "/ifs/data");
  EXPECT_EQ(info.strName, "data");
  // A name is matched whole: neither a shorter nor a longer one finds the share.
  for (const char* other : {"dat", "data1"}) {
    path = "kept";
    EXPECT_FALSE(session().GetFSPathForShare(other, path, info, "")) << other;
    EXPECT_EQ(LastCode(), "AEC_NOT_FOUND") << other;
    EXPECT_EQ(path, "kept");
  }

  ASSERT_TRUE(session().DeleteCIFSShare("data", "/ifs/data", ""));
  EXPECT_EQ(ShareTargets("DELETE"), std::vector<std::string>{std::string(kShares) + "/data"});
  EXPECT_TRUE(smb().shares("System").empty());
  // One session for all of it.
  EXPECT_EQ(server().requestLog().find("POST", "/session/1/session").size(), 1u);
}

TEST_F(SmbShares, ConflictAndNotFoundCountAsSuccessWithTheClusterCodeKept) {
  ASSERT_TRUE(session().CreateCIFSShare("data", "/ifs/data", "", ""));
  ASSERT_TRUE(session().CreateCIFSShare("DATA", "/ifs/other", "", ""));
  EXPECT_EQ(LastCode(), "AEC_CONFLICT");
  EXPECT_NE(LastMessage().find("already exists"), std::string::npos) << LastMessage();
  EXPECT_EQ(smb().shares("System").size(), 1u);
  ASSERT_TRUE(session().DeleteCIFSShare("missing", "/ifs/x", ""));
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");
  // Any other refusal fails, with the cluster's words.
  EXPECT_FALSE(session().CreateCIFSShare("outside", "/tmp/x", "", ""));
  EXPECT_EQ(LastCode(), "AEC_BAD_REQUEST");
  EXPECT_NE(LastMessage().find("not within zone"), std::string::npos) << LastMessage();
}

TEST_F(SmbShares, EmptyInputIsRefusedBeforeAnythingIsSent) {
  EXPECT_FALSE(session().CreateCIFSShare("", "/ifs/data", "", ""));
  ExpectLastError("Internal error", "Invalid input parameters");
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
  isim::SmbModule::Share share;
  // Create: path before name. Delete: name before path; never a zone.
  ASSERT_TRUE(CreateShareIsilon(7, address(), user(), password(), "/ifs/data/x", "xshare", code, message));
  ASSERT_TRUE(smb().findShare("System", "xshare", share));
  EXPECT_EQ(share.path, "/ifs/data/x");
  EXPECT_EQ(code, "untouched");
  ASSERT_TRUE(DeleteShareIsilon(7, address(), user(), password(), "xshare", "/ifs/data/x", code, message));
  EXPECT_FALSE(smb().findShare("System", "xshare", share));
  for (const auto& target : ShareTargets("")) EXPECT_EQ(target.find("zone="), std::string::npos) << target;

  // Failures hand back the cluster's error.
  EXPECT_FALSE(CreateShareIsilon(0, address(), user(), "wrong", "/ifs/y", "y", code, message));
  EXPECT_EQ(code, "AEC_UNAUTHORIZED");
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(DeleteShareIsilon(0, address(), user(), password(), "", "/ifs/y", code, message));
  EXPECT_EQ(code + ": " + message, "Internal error: Invalid input parameters");
}

TEST_F(SmbShares, ListingFollowsResumeTokensWithAndWithoutPathFilter) {
  AddShares("System", "s", "/ifs/a", 60);
  AddShares("System", "t", "/ifs/b", 60);
  AddShares("System", "u", "/ifs/b2", 1);
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", ""));
  ASSERT_EQ(shares.size(), 121u);
  EXPECT_EQ(shares.front().strName + " " + shares.back().strName, "s000 u000");
  // The page size the session asks for; the follow-up forms are RequestsTest's.
  const std::vector<std::string> targets = ShareTargets("GET");
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0], std::string(kShares) + "?limit=50");

  // A path filter keeps the exact matches of every page; a longer path, case and trailing slash count.
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "/ifs/b", ""));
  ASSERT_EQ(shares.size(), 60u);
  EXPECT_EQ(shares.front().strName + " " + shares.back().strName, "t000 t059");
  for (const char* other : {"/ifs/b/", "/IFS/b"}) {
    ASSERT_TRUE(session().GetCIFSSharesList(shares, "", other, ""));
    EXPECT_TRUE(shares.empty()) << other;
  }
}

TEST_F(SmbShares, EmptyListingSucceedsButAnEmptyPageFailsAFilteredOne) {
  ASSERT_TRUE(smb().addZone("empty", "/ifs/empty"));
  std::vector<_IsilonShareInfo> shares(2);
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", "empty"));
  EXPECT_TRUE(shares.empty());
  EXPECT_EQ(ShareTargets("GET").back(), std::string(kShares) + "?limit=50&zone=empty");
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "/ifs/empty", "empty"));
  EXPECT_EQ(LastCode(), "Internal Error");
  EXPECT_EQ(LastMessage().rfind("Failed to parse json response:[{", 0), 0u) << LastMessage();
}

TEST_F(SmbShares, BrokenRepliesFailCleanly) {
  AddShares("System", "s", "/ifs/a", 70);
  std::vector<_IsilonShareInfo> shares;
  // A second page that is not JSON fails the list: the first page is not handed out as all.
  server().faults().add(isim::Fault::notJson(kShares).on("GET").after(1));
  EXPECT_FALSE(session().GetCIFSSharesList(shares, "", "", ""));
  EXPECT_TRUE(shares.empty());
  EXPECT_EQ(LastMessage().rfind("Failed to parse json response:[", 0), 0u) << LastMessage();
  server().faults().clear();
  std::string path;
  _IsilonShareInfo info;
  // A lookup answered with no record fails instead of handing out an empty path.
  server().faults().add(isim::Fault::replace(kShares, 200, "{\"shares\":[]}"));
  EXPECT_FALSE(session().GetFSPathForShare("s001", path, info, ""));
  EXPECT_EQ(LastMessage(), "Failed to parse json response:[{\"shares\":[]}]");
  ASSERT_TRUE(session().GetFSPathForShare("s001", path, info, ""));
  EXPECT_EQ(path, "/ifs/a");
}

TEST_F(SmbShares, ADeleteAnsweredWithTextIsReadAsAnError) {
  AddShares("System", "s", "/ifs/a", 1);
  const struct {
    const char* body;
    bool ok;
    const char* error;  // code and the start of the message
  } cases[] = {
      {R"({"errors":[{"code":"AEC_BUSY","message":"in use"}]})", false, "AEC_BUSY in use"},
      {"OK", false, "Internal error "},
      {R"({"errors":[{"code":"AEC_NOT_FOUND","message":"gone"}]})", true, "AEC_NOT_FOUND gone"},
  };
  for (const auto& c : cases) {
    server().faults().add(isim::Fault::replace(std::string(kShares) + "/s000", 200, c.body));
    EXPECT_EQ(session().DeleteCIFSShare("s000", "/ifs/a", ""), c.ok) << c.body;
    EXPECT_EQ((LastCode() + " " + LastMessage()).rfind(c.error, 0), 0u) << LastCode() << " " << LastMessage();
  }
}

}  // namespace
