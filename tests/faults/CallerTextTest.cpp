// A caller's text is taken whole: a NUL anywhere in any text an operation takes is refused
// before anything is sent (no login either), and the same text without the NUL goes through.
// Other control bytes in names and paths reach the cluster percent-encoded; a raw URI, body
// or header line that would be cut short or broken is never handed to the transport.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/QuorLibCurl.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Http.h"
#include "sim/namespace/NamespaceModule.h"
#include "sim/snapshot/SnapshotModule.h"
#include "sim/synciq/SyncIQ.h"
#include "tests/support/ModuleSession.h"

namespace {

using Text = const std::string&;
using Call = std::function<bool(ManageIsilon&, Text)>;

// One text argument of one operation: a value that succeeds, and the call that passes it.
struct Row {
  const char* name;
  std::string good;
  Call call;
};

// The good value with a NUL first, in the middle and last, and beside a "..".
std::vector<std::string> WithNul(const std::string& good) {
  const std::string nul(1, '\0');
  const size_t half = good.size() / 2;
  return {nul + good,
          good.substr(0, half) + nul + good.substr(half),
          good + nul,
          good + "/.." + nul,
          good + "/" + nul + "..",
          nul};
}

bool Ok(const CZemError& error) { return !error.IsError(); }

class CallerTextTest : public ModuleSession {
 protected:
  CallerTextTest() : ModuleSession("127.0.0.141") {}

  void SetUp() override {
    ModuleSession::SetUp();
    if (HasFatalFailure()) return;
    isim::ns::Tree& tree = module<isim::NamespaceModule>().tree();
    for (const char* file : {"/ifs/data/plan.txt", "/ifs/data/notes.txt", "/ifs/data/tab\there", "/ifs/data/a\nb"}) {
      ASSERT_EQ(tree.AddFile(file, isim::ns::NewEntry(), /*parents=*/true), isim::ns::Status::kOk) << file;
    }
    ASSERT_EQ(tree.AddDirectory("/ifs/copies", isim::ns::NewEntry()), isim::ns::Status::kOk);
    isim::synciq::Policy policy;
    policy.name = "home-dr";
    ASSERT_TRUE(module<isim::synciq::SyncIQModule>().addPolicy(policy, &policyId_));
    isim::synciq::Report report;
    report.policyName = "home-dr";
    module<isim::synciq::SyncIQModule>().addReport(report);
    isim::synciq::Settings settings = module<isim::synciq::SyncIQModule>().settings();
    settings.timing.appearAfter = 0;
    module<isim::synciq::SyncIQModule>().setSettings(settings);
    module<isim::SnapshotModule>().addSyntheticChangeList(1, 2, 1500);
  }

  // Every NUL variant of the row's value is refused with nothing sent; the good value is not.
  void Check(const Row& row) {
    for (const std::string& bad : WithNul(row.good)) {
      SCOPED_TRACE(std::string(row.name) + " [" + isim::percentEncode(bad) + "]");
      server().requestLog().clear();
      EXPECT_FALSE(row.call(session(), bad));
      ExpectLastError("Internal error", "Invalid input parameters");
      EXPECT_EQ(server().requestLog().size(), 0u) << LastSent().method << " " << LastSent().target;
    }
    SCOPED_TRACE(std::string(row.name) + " [" + row.good + "]");
    server().requestLog().clear();
    EXPECT_TRUE(row.call(session(), row.good)) << LastCode() << ": " << LastMessage();
    EXPECT_GT(server().requestLog().size(), 0u);
  }

  // A first page's token, to hand back with a NUL in it.
  std::string ListingToken() {
    std::vector<_IsilonFileInfo> files;
    std::string token;
    EXPECT_TRUE(session().GetFileList(files, "/ifs/data", token, 1));
    EXPECT_FALSE(token.empty());
    return token;
  }
  std::string ChangeListToken() {
    unsigned long long older = 1, newer = 2;
    _IsilonChangeListInfo info;
    EXPECT_TRUE(Ok(session().GetSnapshotChangeList(older, newer, info)));
    EXPECT_FALSE(info.strResume.empty());
    return info.strResume;
  }

  std::string policyId_;
};

// Where the calls leave their results: only what reaches the cluster matters here.
struct {
  std::string text;
  unsigned int id = 0;
  int snapId = 0;
  _IsilonShareInfo share;
  std::vector<_IsilonShareInfo> shares;
  std::vector<_IsilonNFSExportInfo> exports;
  std::vector<_IsilonFileInfo> files;
  _IsilonFileInfo file;
  std::vector<_IsilonSnapInfo> snaps;
  std::vector<_IsilonSyncIQPolicyInfo> policies;
  _IsilonSyncIQJobInfo job;
  _IsilonSyncIQJobReportInfo report;
  std::string code, message;
} out;

_IsilonSMBACLs Acl(Text permission, Text trustee, Text runAsRoot) {
  return _IsilonSMBACLs{{{permission, "allow", {"", trustee, ""}}}, {{"", runAsRoot, ""}}};
}

_IsilonNFSPermissions Clients(Text client, Text flavor) {
  _IsilonNFSPermissions p;
  p.setClients.insert(client);
  p.setReadWriteClients.insert("10.0.0.2");
  p.setSecurityFlavors.insert(flavor);
  return p;
}

bool CreateExport(ManageIsilon& s, Text path, Text client, Text flavor, Text extraA, Text extraB) {
  return s.CreateNFSExport(out.id, {"/ifs/copies", path}, Clients(client, flavor), extraA, extraB, false, true);
}

TEST_F(CallerTextTest, ANulInAnyTextIsRefusedBeforeAnythingIsSent) {
  const std::string listingToken = ListingToken(), changeToken = ChangeListToken();
  const std::string host = address(), admin = user(), secret = password();
  const std::vector<Row> rows = {
      // SMB shares, zones and ACLs
      {"CreateCIFSShare name", "nulcheck",
       [](ManageIsilon& s, Text v) { return s.CreateCIFSShare(v, "/ifs/data", "", ""); }},
      {"CreateCIFSShare path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("nulcheck", v, "", ""); }},
      {"CreateCIFSShare extra", "note",
       [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("nulcheck", "/ifs/data", v, ""); }},
      {"CreateCIFSShare zone", "System",
       [](ManageIsilon& s, Text v) { return s.CreateCIFSShare("nulcheck", "/ifs/data", "", v); }},
      {"GetCIFSSharesList name", "nulcheck",
       [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, v, "", ""); }},
      {"GetCIFSSharesList path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, "", v, ""); }},
      {"GetCIFSSharesList zone", "System",
       [](ManageIsilon& s, Text v) { return s.GetCIFSSharesList(out.shares, "", "", v); }},
      {"GetFSPathForShare name", "nulcheck",
       [](ManageIsilon& s, Text v) { return s.GetFSPathForShare(v, out.text, out.share, ""); }},
      {"GetFSPathForShare zone", "System",
       [](ManageIsilon& s, Text v) { return s.GetFSPathForShare("nulcheck", out.text, out.share, v); }},
      {"SetSMBACLs name", "nulcheck",
       [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", "Everyone", "root"), v, ""); }},
      {"SetSMBACLs zone", "System",
       [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", "Everyone", "root"), "nulcheck", v); }},
      {"SetSMBACLs permission", "read",
       [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl(v, "Everyone", "root"), "nulcheck", ""); }},
      {"SetSMBACLs trustee", "Everyone",
       [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", v, "root"), "nulcheck", ""); }},
      {"SetSMBACLs run-as-root", "root",
       [](ManageIsilon& s, Text v) { return s.SetSMBACLs(Acl("read", "Everyone", v), "nulcheck", ""); }},
      {"DeleteCIFSShare name", "nulcheck",
       [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare(v, "/ifs/data", ""); }},
      {"DeleteCIFSShare path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare("nulcheck", v, ""); }},
      {"DeleteCIFSShare zone", "System",
       [](ManageIsilon& s, Text v) { return s.DeleteCIFSShare("nulcheck", "/ifs/data", v); }},
      // NFS exports
      {"CreateNFSExport path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return CreateExport(s, v, "10.0.0.1", "unix", "", ""); }},
      {"CreateNFSExport client", "10.0.0.1",
       [](ManageIsilon& s, Text v) { return CreateExport(s, "/ifs/data", v, "unix", "", ""); }},
      {"CreateNFSExport flavor", "unix",
       [](ManageIsilon& s, Text v) { return CreateExport(s, "/ifs/data", "10.0.0.1", v, "", ""); }},
      {"CreateNFSExport extraA", "a",
       [](ManageIsilon& s, Text v) { return CreateExport(s, "/ifs/data", "10.0.0.1", "unix", v, ""); }},
      {"CreateNFSExport extraB", "b",
       [](ManageIsilon& s, Text v) { return CreateExport(s, "/ifs/data", "10.0.0.1", "unix", "", v); }},
      {"GetNFSExportList path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.GetNFSExportList(out.exports, 0, v, ""); }},
      {"GetNFSExportList zone", "System",
       [](ManageIsilon& s, Text v) { return s.GetNFSExportList(out.exports, 0, "", v); }},
      {"DeleteNFSExport zone", "System", [](ManageIsilon& s, Text v) { return s.DeleteNFSExport(99999, v); }},
      // Namespace
      {"GetFileList path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.GetFileList(out.files, v, out.text.erase(), 10); }},
      {"GetFileList resume", listingToken,
       [](ManageIsilon& s, Text v) { return s.GetFileList(out.files, "/ifs/data", out.text.assign(v), 10); }},
      {"GetPathAttributes", "/ifs/data/plan.txt",
       [](ManageIsilon& s, Text v) { return s.GetPathAttributes(out.file, v); }},
      {"CopyFileOrDirectory source", "/ifs/data/plan.txt",
       [](ManageIsilon& s, Text v) { return s.CopyFileOrDirectory(v, "/ifs/copies/plan.txt", true); }},
      {"CopyFileOrDirectory target", "/ifs/copies/notes.txt",
       [](ManageIsilon& s, Text v) { return s.CopyFileOrDirectory("/ifs/data/notes.txt", v, true); }},
      // Snapshots and change lists
      {"CreateSnapshot name", "daily",
       [](ManageIsilon& s, Text v) { return s.CreateSnapshot("/ifs/data", v, out.snapId); }},
      {"CreateSnapshot path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.CreateSnapshot(v, "weekly", out.snapId); }},
      {"GetSnapshotList name", "daily", [](ManageIsilon& s, Text v) { return s.GetSnapshotList(out.snaps, "", v); }},
      {"GetSnapshotList path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.GetSnapshotList(out.snaps, v, ""); }},
      {"DeleteSnapshot name", "daily", [](ManageIsilon& s, Text v) { return s.DeleteSnapshot("/ifs/data", v, 0); }},
      {"DeleteSnapshot path", "/ifs/data", [](ManageIsilon& s, Text v) { return s.DeleteSnapshot(v, "weekly", 0); }},
      {"DeleteSnapshot name beside an id", "gone",
       [](ManageIsilon& s, Text v) { return s.DeleteSnapshot("/ifs/data", v, 4242); }},
      {"GetSnapshotChangeList resume", changeToken,
       [](ManageIsilon& s, Text v) {
         unsigned long long older = 1, newer = 2;
         _IsilonChangeListInfo info;
         info.strResume = v;
         return Ok(s.GetSnapshotChangeList(older, newer, info));
       }},
      // SyncIQ
      {"GetSyncIQPolicy name", "home-dr",
       [](ManageIsilon& s, Text v) { return s.GetSyncIQPolicy(out.policies, "", v); }},
      {"GetSyncIQPolicy path", "/ifs/data",
       [](ManageIsilon& s, Text v) { return s.GetSyncIQPolicy(out.policies, v, ""); }},
      {"ValidateSyncIQPolicy name", "home-dr",
       [](ManageIsilon& s, Text v) { return s.ValidateSyncIQPolicy(v, nullptr, false); }},
      {"ModifySyncIQPolicy id", policyId_,
       [](ManageIsilon& s, Text v) {
         return s.ModifySyncIQPolicy(v, {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_ENABLED, "true")});
       }},
      {"ModifySyncIQPolicy value", "sync",
       [this](ManageIsilon& s, Text v) {
         return s.ModifySyncIQPolicy(policyId_, {_IsilonSyncIQProperty(SYNCIQ_PROPERTY_ACTION, v)});
       }},
      {"GetSyncIQJobReport policy", "home-dr",
       [](ManageIsilon& s, Text v) { return s.GetSyncIQJobReport(out.report, 0, v, SYNCIQ_JOB_STATE_FINISHED); }},
      {"StartSyncIQJob policy", "home-dr",
       [](ManageIsilon& s, Text v) { return s.StartSyncIQJob(v, "snap-1", out.id); }},
      {"GetSyncIQJobInfo policy", "home-dr",
       [](ManageIsilon& s, Text v) { return s.GetSyncIQJobInfo(out.job, v, SYNCIQ_JOB_STATE_NONE); }},
      // Exported functions: each makes its own session.
      {"CreateShareIsilon server", host,
       [&](ManageIsilon&, Text v) {
         return CreateShareIsilon(0, v, admin, secret, "/ifs/data", "exported", out.code, out.message);
       }},
      {"CreateShareIsilon user", admin,
       [&](ManageIsilon&, Text v) {
         return CreateShareIsilon(0, host, v, secret, "/ifs/data", "exported", out.code, out.message);
       }},
      {"CreateShareIsilon password", secret,
       [&](ManageIsilon&, Text v) {
         return CreateShareIsilon(0, host, admin, v, "/ifs/data", "exported", out.code, out.message);
       }},
      {"CreateShareIsilon path", "/ifs/data",
       [&](ManageIsilon&, Text v) {
         return CreateShareIsilon(0, host, admin, secret, v, "exported", out.code, out.message);
       }},
      {"CreateShareIsilon name", "exported",
       [&](ManageIsilon&, Text v) {
         return CreateShareIsilon(0, host, admin, secret, "/ifs/data", v, out.code, out.message);
       }},
      {"DeleteShareIsilon name", "exported",
       [&](ManageIsilon&, Text v) {
         return DeleteShareIsilon(0, host, admin, secret, v, "/ifs/data", out.code, out.message);
       }},
      {"DeleteShareIsilon path", "/ifs/data",
       [&](ManageIsilon&, Text v) {
         return DeleteShareIsilon(0, host, admin, secret, "exported", v, out.code, out.message);
       }},
      {"CreateNfsExportIsilon path", "/ifs/copies",
       [&](ManageIsilon&, Text v) {
         return CreateNfsExportIsilon(0, host, admin, secret, "", v, "10.0.0.9", out.code, out.message);
       }},
      {"CreateNfsExportIsilon client", "10.0.0.9",
       [&](ManageIsilon&, Text v) {
         return CreateNfsExportIsilon(0, host, admin, secret, "", "/ifs/copies", v, out.code, out.message);
       }},
      {"CreateNfsExportIsilon extra", "x",
       [&](ManageIsilon&, Text v) {
         return CreateNfsExportIsilon(0, host, admin, secret, v, "/ifs/copies", "10.0.0.9", out.code, out.message);
       }},
      {"DeleteNfsExportIsilon extra", "x",
       [&](ManageIsilon&, Text v) {
         return DeleteNfsExportIsilon(0, host, admin, secret, v, "/ifs/copies", out.code, out.message);
       }},
      {"DeleteNfsExportIsilon path", "/ifs/copies",
       [&](ManageIsilon&, Text v) {
         return DeleteNfsExportIsilon(0, host, admin, secret, "", v, out.code, out.message);
       }},
  };
  for (const Row& row : rows) {
    // The exported functions report through their own strings.
    const bool exported = std::string(row.name).find("Isilon ") != std::string::npos;
    if (!exported) {
      Check(row);
      continue;
    }
    for (const std::string& bad : WithNul(row.good)) {
      SCOPED_TRACE(std::string(row.name) + " [" + isim::percentEncode(bad) + "]");
      server().requestLog().clear();
      out.code.clear();
      EXPECT_FALSE(row.call(session(), bad));
      EXPECT_EQ(out.code + "|" + out.message, "Internal error|Invalid input parameters");
      EXPECT_EQ(server().requestLog().size(), 0u) << LastSent().method << " " << LastSent().target;
    }
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(row.call(session(), row.good)) << out.code << ": " << out.message;
  }
}

TEST_F(CallerTextTest, CredentialsWithANulNeverReachTheLogin) {
  struct Credentials {
    std::string user, password;
  };
  const std::string nul(1, '\0');
  const Credentials cases[] = {
      {nul + user(), password()}, {"ad" + nul + "min", password()}, {user() + nul, password()},
      {user(), nul + password()}, {user(), "sec" + nul + "ret"},    {user(), password() + nul},
  };
  for (const Credentials& c : cases) {
    SCOPED_TRACE(isim::percentEncode(c.user) + " / " + isim::percentEncode(c.password));
    ManageIsilon s;
    s.SetFileServer(address());
    s.SetUser(c.user);
    s.SetPasswd(c.password);
    server().requestLog().clear();
    EXPECT_FALSE(s.OpenConnection());
    std::string code, message;
    s.GetLastError(code, message);
    EXPECT_EQ(code + "|" + message, "Internal error|Invalid input parameters");
    EXPECT_EQ(server().requestLog().size(), 0u);
  }
  // An enciphered password is deciphered whole or not at all.
  ManageIsilon s;
  EXPECT_FALSE(s.SetPasswd("0123" + nul + "4567", /*encrypted=*/true));
  // The server: a NUL would hide whatever follows an address from its check.
  for (const std::string& name : {address() + nul + "evil", "::1" + nul + "x", "[::1" + nul + "]", nul + address()}) {
    ManageIsilon bad;
    bad.SetFileServer(name);
    bad.SetUser(user());
    bad.SetPasswd(password());
    EXPECT_FALSE(ManageIsilon::IsValidFileServer(name));
    EXPECT_FALSE(bad.OpenConnection());
  }
  EXPECT_TRUE(session().OpenConnection());
}

TEST_F(CallerTextTest, ControlBytesInNamesAndPathsAreEncodedRawURIsWithThemRefused) {
  // A file name may hold a tab or a line feed: it is asked for encoded, and found.
  for (const std::string& path : {std::string("/ifs/data/tab\there"), std::string("/ifs/data/a\nb")}) {
    SCOPED_TRACE(isim::percentEncode(path));
    server().requestLog().clear();
    _IsilonFileInfo info;
    ASSERT_TRUE(session().GetPathAttributes(info, path)) << LastMessage();
    EXPECT_EQ(info.strPath, path);
    const std::string target = LastSent().target;
    EXPECT_EQ(target.find_first_of("\t\n"), std::string::npos) << target;
    EXPECT_EQ(isim::percentDecode(LastSent().path()), "/namespace" + path + "/");
  }
  // A share name with control bytes: the cluster is asked about exactly that name.
  server().requestLog().clear();
  EXPECT_TRUE(session().DeleteCIFSShare("x\x01\r\n\x7fy", "/ifs/data", ""));  // none such: not found
  EXPECT_EQ(LastSent().target, "/platform/1/protocols/smb/shares/x%01%0D%0A%7Fy");

  // Raw URIs and bodies go whole or not at all.
  const std::string base = Url("/platform/1/protocols/smb/shares");
  const std::string nul(1, '\0');
  struct Raw {
    std::string uri, body;
    bool sent;
  };
  const Raw raws[] = {
      {base, "", true},
      {base + nul, "", false},
      {nul + base, "", false},
      {base + nul + "/data", "", false},
      {base + "/a\tb", "", false},
      {base + "/a\nb", "", false},
      {base + "/a\rb", "", false},
      {base + "/a b", "", false},
      {base + "/a\x7f", "", false},
      {base + "?zone=System", "{\"x\":1}", true},
      {base, "{\"x\":" + nul + "1}", false},
      {base, nul, false},
      {base, "{}" + nul, false},
  };
  for (const Raw& raw : raws) {
    SCOPED_TRACE(isim::percentEncode(raw.uri) + " " + isim::percentEncode(raw.body));
    server().requestLog().clear();
    std::string response;
    const bool accepted = session().SendRequest(response, ManageIsilon::kGet, raw.uri, raw.body, true);
    EXPECT_EQ(server().requestLog().size(), raw.sent ? 1u : 0u);
    if (!raw.sent) {
      EXPECT_FALSE(accepted);
      ExpectLastError("Internal error", "Invalid input parameters");
    }
  }
}

TEST_F(CallerTextTest, TheTransportNeverCutsAURIOrAHeaderLineShort) {
  // The last line of defence, for a host that drives the transport itself.
  QuorLibCurl transport;
  ASSERT_TRUE(transport.QuorLibCurlInit("Content-Type: application/json", true, true, nullptr));
  const std::string nul(1, '\0');
  EXPECT_TRUE(transport.QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, "X-Check: one"));
  for (const std::string& line : {"X-Check: a" + nul + "b", nul + "X-Check: a", "X-Check: a" + nul,
                                  std::string("X-Check: a\r\nX-Other: b"), std::string("X-Check: a\n")}) {
    EXPECT_FALSE(transport.QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line)) << isim::percentEncode(line);
  }
  const std::string url = Url("/platform/1/cluster/external-ips");
  for (const std::string& uri : {url + nul + "/x", nul + url, url + nul, url + " ", url + "\t"}) {
    server().requestLog().clear();
    EXPECT_FALSE(transport.QuorLibCurlSendHttpReq(HTTP_REQ_GET, uri, nullptr, 0, false, nullptr));
    EXPECT_EQ(transport.GetLastResult(), TransportResult::kNotSent);
    EXPECT_EQ(server().requestLog().size(), 0u) << isim::percentEncode(uri);
  }
  server().requestLog().clear();
  transport.QuorLibCurlSendHttpReq(HTTP_REQ_GET, url, nullptr, 0, false, nullptr);  // 401: no session
  ASSERT_EQ(server().requestLog().size(), 1u);
  EXPECT_EQ(LastSent().header("X-Check"), "one");
}

}  // namespace
