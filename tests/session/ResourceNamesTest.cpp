// Caller values that could name another resource once a URI is normalised: each is refused
// before anything is sent, or reaches only its own resource; and a session never carries one
// cluster's cookie to another server.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/core/Http.h"
#include "sim/core/RequestLog.h"
#include "tests/session/SessionFixture.h"

namespace {

using sessiontest::SessionFixture;

// One operation that puts a caller's value into a URI path, and the resource it may reach.
using Value = const std::string&;
struct Target {
  const char* name;
  const char* resource;  // the value must come right after this, alone
  std::function<bool(ManageIsilon&, Value)> call;
};

// Where the calls leave their results: only what reaches the cluster matters here.
struct {
  std::string text, resume;
  _IsilonShareInfo share;
  std::vector<_IsilonShareInfo> shares;
  std::vector<_IsilonSnapInfo> snaps;
  std::vector<_IsilonFileInfo> files;
  _IsilonFileInfo file;
} out;

const char kShares[] = "/platform/1/protocols/smb/shares/";
const char kSnapshots[] = "/platform/1/snapshot/snapshots/";

std::vector<Target> NameTargets() {
  return {
      {"DeleteCIFSShare", kShares, [](ManageIsilon& s, Value v) { return s.DeleteCIFSShare(v, "/ifs/x", ""); }},
      {"GetFSPathForShare", kShares,
       [](ManageIsilon& s, Value v) { return s.GetFSPathForShare(v, out.text, out.share, ""); }},
      {"GetCIFSSharesList", kShares,
       [](ManageIsilon& s, Value v) { return s.GetCIFSSharesList(out.shares, v, "", ""); }},
      {"SetSMBACLs", "/platform/3/protocols/smb/shares/",
       [](ManageIsilon& s, Value v) { return s.SetSMBACLs(_IsilonSMBACLs(), v, ""); }},
      {"DeleteSnapshot", kSnapshots, [](ManageIsilon& s, Value v) { return s.DeleteSnapshot("/ifs/data", v, 0); }},
      {"GetSnapshotList", kSnapshots, [](ManageIsilon& s, Value v) { return s.GetSnapshotList(out.snaps, "", v); }},
      {"ModifySyncIQPolicy", "/platform/1/sync/policies/",
       [](ManageIsilon& s, Value v) {
         return s.ModifySyncIQPolicy(v, {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_ENABLED, "true")});
       }},
  };
}

std::vector<Target> PathTargets() {
  return {
      // Each listing from the first page: erase() hands over an empty resume token.
      {"GetFileList", "/namespace",
       [](ManageIsilon& s, Value v) { return s.GetFileList(out.files, v, out.resume.erase(), /*limit=*/10); }},
      {"GetPathAttributes", "/namespace", [](ManageIsilon& s, Value v) { return s.GetPathAttributes(out.file, v); }},
      {"CopyTarget", "/namespace",
       [](ManageIsilon& s, Value v) { return s.CopyFileOrDirectory("/ifs/no-source", v, /*overwrite=*/false); }},
      {"CopySource", "/namespace/ifs/copy-target",
       [](ManageIsilon& s, Value v) { return s.CopyFileOrDirectory(v, "/ifs/copy-target", /*overwrite=*/false); }},
  };
}

class ResourceNamesTest : public SessionFixture {
 protected:
  // Runs `target` with `value`: refused before sending, or only ever reaching its own resource.
  void Check(const Target& target, const std::string& value, bool refused) {
    SCOPED_TRACE(std::string(target.name) + " [" + value + "]");
    server().requestLog().clear();
    const bool result = target.call(session(), value);
    const std::vector<isim::LoggedRequest> sent = Requests();
    if (refused) {
      EXPECT_FALSE(result);
      ExpectLastError("Internal error", "Invalid input parameters");
      EXPECT_TRUE(sent.empty()) << sent.front().target;
      return;
    }
    for (const isim::LoggedRequest& r : sent) {
      if (r.path() == "/session/1/session") continue;
      std::string path = isim::percentDecode(r.path());
      if (path.size() > 1 && path.back() == '/' && value.back() != '/') path.pop_back();  // a listing's own "/"
      if (std::string(target.resource) == "/namespace/ifs/copy-target") {
        EXPECT_EQ(target.resource, path);
        // (header values reach the simulator's log percent-decoded once already)
        EXPECT_EQ("/namespace" + value, r.header("x-isi-ifs-copy-source"));
      } else {
        EXPECT_EQ(target.resource + value, path);
      }
    }
  }
};

TEST_F(ResourceNamesTest, ValuesThatLeaveTheirResourceAreRefusedOthersStayInIt) {
  struct Group {
    std::vector<Target> targets;
    std::vector<std::string> refused, ownResource;
  };
  const Group groups[] = {
      // A name is one segment.
      {NameTargets(),
       {"../../nfs/exports/2", "nosuch/../victim", "a/b", "..", ".", "x/..", "/", "a/"},
       {"%2e%2e", "%2E.", "..a", "a..", "q?x=1", "h#frag", "a&b", "with space", "na\xc3\xafve-\xe6\x97\xa5"}},
      // A path is absolute, without dot segments.
      {PathTargets(),
       {"/ifs/../../platform/1/sync/policies/home-dr", "relative", "ifs/data", "", "/ifs/./data", "/ifs/data/..",
        "/ifs/data/.", "/.."},
       {"/ifs/data/%2e%2e", "/ifs/data/...", "/ifs/data/.hidden", "/ifs/a b", "/ifs/data/x?y#z"}},
  };
  for (const Group& group : groups) {
    for (const Target& target : group.targets) {
      for (const std::string& value : group.refused) Check(target, value, /*refused=*/true);
      for (const std::string& value : group.ownResource) Check(target, value, /*refused=*/false);
    }
  }

  // Raw requests with dot segments in the path are not sent either.
  ASSERT_TRUE(session().OpenConnection());
  for (const char* path : {"/platform/1/../1/sync/policies", "/namespace/ifs/%2e%2e/x", "/a/./b"}) {
    SCOPED_TRACE(path);
    server().requestLog().clear();
    EXPECT_FALSE(Get(session(), path));
    EXPECT_EQ(0u, server().requestLog().size());
  }
  EXPECT_TRUE(Get(session(), "/platform/1/sync/policies?x=../.."));
}

TEST_F(ResourceNamesTest, ServerMustBeABareNameOrAddress) {
  for (const char* name : {"cluster.example.com", "127.0.0.10", "node_1", "::1", "[::1]", "fe80::1"}) {
    EXPECT_TRUE(ManageIsilon::IsValidFileServer(name)) << name;
  }
  for (const char* name : {"", "host:8080", "[::1]:8080", "127.0.0.10/", "https://host", "user@host", "host name",
                           " host", "-host", "[host]", "host\n"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ManageIsilon::IsValidFileServer(name));
    std::unique_ptr<ManageIsilon> session = NewSession(name, user(), password());
    server().requestLog().clear();
    EXPECT_FALSE(session->OpenConnection());
    EXPECT_EQ("Internal error|Invalid input parameters", LastError(*session));
    EXPECT_EQ(0u, server().requestLog().size());
  }
}

TEST_F(ResourceNamesTest, ChangingServerOrCredentialsEndsTheSessionFirst) {
  SimCluster other("127.0.0.101");  // with a certificate of its own
  registry().Rewrite("[NAS]\nsIsilonVerifyTLS=no\n");
  ASSERT_TRUE(session().OpenConnection());
  std::vector<_IsilonSnapInfo> snaps;
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  const std::string firstCookie = LastSent().header("Cookie");
  ASSERT_FALSE(firstCookie.empty());

  session().SetFileServer(other.address());
  // The first cluster was told the session ended.
  EXPECT_EQ("DELETE", LastSent().method);
  EXPECT_EQ(firstCookie, LastSent().header("Cookie"));
  ASSERT_TRUE(session().GetSnapshotList(snaps, "", ""));
  for (const isim::LoggedRequest& r : other.server().requestLog().entries()) {
    EXPECT_NE(firstCookie, r.header("Cookie")) << r.target;
    EXPECT_FALSE(r.method == "POST" && r.hasHeader("Cookie")) << "login carried a cookie";
  }

  // Same value again: the session stays; another user or password: it ends first.
  const size_t sent = other.server().requestLog().size();
  session().SetFileServer(other.address());
  session().SetPasswd(other.password());
  EXPECT_EQ(sent, other.server().requestLog().size());
  session().SetUser("someone-else");
  EXPECT_EQ("DELETE", other.server().requestLog().entries().back().method);
}

}  // namespace
