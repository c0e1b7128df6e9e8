// Changes whose reply is lost after the cluster acted on them: those the cluster's answer to a
// second look makes safe are settled (sent again, or read back), every other one fails with its
// cause and goes out once. Real transport against the simulator.
#include <functional>
#include <string>
#include <vector>

#include "sim/core/Faults.h"
#include "sim/nfs/NfsModule.h"
#include "tests/session/SessionFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using sessiontest::Demo;
using sessiontest::SessionFixture;

const char kShares[] = "/platform/1/protocols/smb/shares";
const char kExports[] = "/platform/1/protocols/nfs/exports";
const char kSnapshots[] = "/platform/1/snapshot/snapshots";

class CutOffTest : public SessionFixture {
 public:
  CutOffTest() : SessionFixture(Demo()) {}

  void SetUp() override {
    SessionFixture::SetUp();
    if (HasFatalFailure()) return;
    SetRegistry("nIsilonRetryDelayMs=10\n");
  }
  size_t Count(const std::string& method, const std::string& prefix) { return Sent(method, prefix).size(); }
  bool HasSnapshot(const std::string& name) {
    std::vector<_IsilonSnapInfo> snaps;
    return session().GetSnapshotList(snaps, "", name) && snaps.size() == 1;
  }
  // Exports of exactly `path`, or with id `id`.
  size_t Exports(const std::string& path, unsigned int id = 0) {
    size_t found = 0;
    for (const isim::nfs::Export& e : module<isim::nfs::NfsModule>().exports()) {
      if (id != 0 ? e.id == id : e.paths == std::vector<std::string>{path}) ++found;
    }
    return found;
  }
  bool HasShare(const std::string& name) {
    std::vector<_IsilonShareInfo> shares;
    return session().GetCIFSSharesList(shares, name, "", "") && shares.size() == 1;
  }
};

struct Change {
  const char* name;
  const char* method;
  const char* path;
  std::function<void(CutOffTest&, ManageIsilon&)> before;
  std::function<bool(ManageIsilon&)> change;
  std::function<bool(CutOffTest&)> holds;  // the change's goal, read afterwards
};

unsigned int g_exportId = 0;

const std::vector<Change>& Settled() {
  static const std::vector<Change> changes = {
      {"DeleteSnapshot", "DELETE", kSnapshots,
       [](CutOffTest&, ManageIsilon& s) {
         int id = 0;
         ASSERT_TRUE(s.CreateSnapshot("/ifs/data", "old", id));
       },
       [](ManageIsilon& s) { return s.DeleteSnapshot("/ifs/data", "old", 0); },
       [](CutOffTest& t) { return !t.HasSnapshot("old"); }},
      {"DeleteCIFSShare", "DELETE", kShares,
       [](CutOffTest&, ManageIsilon& s) { ASSERT_TRUE(s.CreateCIFSShare("gone", "/ifs/data", "", "")); },
       [](ManageIsilon& s) { return s.DeleteCIFSShare("gone", "/ifs/data", ""); },
       [](CutOffTest& t) { return !t.HasShare("gone"); }},
      {"DeleteNFSExport", "DELETE", kExports,
       [](CutOffTest&, ManageIsilon& s) {
         ASSERT_TRUE(s.CreateNFSExport(g_exportId, {"/ifs/data"}, _IsilonNFSPermissions(), "", "", false, true));
       },
       [](ManageIsilon& s) { return s.DeleteNFSExport(g_exportId, ""); },
       [](CutOffTest& t) { return t.Exports("", g_exportId) == 0; }},
      {"CreateCIFSShare", "POST", kShares, nullptr,
       [](ManageIsilon& s) { return s.CreateCIFSShare("new", "/ifs/data", "", ""); },
       [](CutOffTest& t) { return t.HasShare("new"); }},
      {"CreateNFSExport", "POST", kExports, nullptr,
       [](ManageIsilon& s) {
         unsigned int id = 0;
         return s.CreateNFSExport(id, {"/ifs/data"}, _IsilonNFSPermissions(), "", "", false, true);
       },
       [](CutOffTest& t) { return t.Exports("/ifs/data") == 1; }},
  };
  return changes;
}

TEST_F(CutOffTest, DeletesAndProtocolCreatesAreSentAgainAndTheirSecondAnswerCountsAsDone) {
  for (const Change& c : Settled()) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before(*this, session());
    server().faults().add(isim::Fault::closeAfterChange(c.path).on(c.method));
    server().requestLog().clear();
    ScopedLogCapture log(2);
    EXPECT_TRUE(c.change(session())) << LastCode() << " " << LastMessage();
    EXPECT_EQ(2u, Count(c.method, c.path));
    EXPECT_TRUE(log.Contains("got no reply")) << log.All();
    EXPECT_TRUE(log.Contains("sending it again to settle it")) << log.All();
    EXPECT_TRUE(log.Contains("found its goal reached")) << log.All();
    EXPECT_TRUE(c.holds(*this));
  }
}

TEST_F(CutOffTest, WithoutRetriesACutOffChangeFailsAfterOneRequest) {
  SetRegistry("nIsilonRetryCount=0\n");
  for (const Change& c : Settled()) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before(*this, session());
    server().faults().add(isim::Fault::closeAfterChange(c.path).on(c.method));
    server().requestLog().clear();
    EXPECT_FALSE(c.change(session()));
    EXPECT_EQ(1u, Count(c.method, c.path));
    EXPECT_NE("", LastCode());
    EXPECT_NE("", session().GetLastTransportError());
    EXPECT_TRUE(c.holds(*this));  // the cluster did act; only the reply was lost
  }
  int id = 0;
  server().faults().add(isim::Fault::closeAfterChange(kSnapshots).on("POST"));
  server().requestLog().clear();
  EXPECT_FALSE(session().CreateSnapshot("/ifs/data", "once", id));
  EXPECT_EQ(1u, Count("POST", kSnapshots));
  EXPECT_EQ(0u, Count("GET", kSnapshots));
}

TEST_F(CutOffTest, ASnapshotCreateIsSettledByReadingTheSnapshotByName) {
  struct Case {
    const char* name;
    isim::Fault fault;
    size_t posts;  // the create sent again only when the read does not find it
    const char* logLine;
  };
  const Case cases[] = {
      {"appliedThenCut", isim::Fault::closeAfterChange(kSnapshots).on("POST"), 1, "counts as done"},
      {"cutBeforeApplied", isim::Fault::closeBeforeReply(kSnapshots).on("POST"), 2, "did not take effect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server().faults().add(c.fault);
    server().requestLog().clear();
    ScopedLogCapture log(2);
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot("/ifs/data", c.name, id)) << LastMessage();
    EXPECT_EQ(c.posts, Count("POST", kSnapshots));
    const std::vector<isim::LoggedRequest> reads = Sent("GET", kSnapshots);
    ASSERT_EQ(1u, reads.size());
    EXPECT_EQ(std::string(kSnapshots) + "/" + c.name, reads[0].target);
    EXPECT_TRUE(log.Contains("reading whether it took effect")) << log.All();
    EXPECT_TRUE(log.Contains(c.logLine)) << log.All();
    std::vector<_IsilonSnapInfo> snaps;
    ASSERT_TRUE(session().GetSnapshotList(snaps, "", c.name));
    ASSERT_EQ(1u, snaps.size());
    EXPECT_EQ(snaps[0].nId, id);  // the id of the snapshot made, as a whole reply gives it
    ExpectLastError("", "");
  }
}

TEST_F(CutOffTest, ASnapshotThatCannotBeReadBackOrIsAnotherPathsFailsWithTheCause) {
  int id = 0;
  ASSERT_TRUE(session().CreateSnapshot("/ifs", "taken", id));
  // The name is held by a snapshot of another path: not this create's doing.
  server().faults().add(isim::Fault::closeBeforeReply(kSnapshots).on("POST"));
  server().requestLog().clear();
  EXPECT_FALSE(session().CreateSnapshot("/ifs/data", "taken", id));
  EXPECT_EQ(1u, Count("POST", kSnapshots));
  EXPECT_NE("", LastCode());
  // The read is cut off as well, every time.
  server().faults().add(isim::Fault::closeAfterChange(kSnapshots).on("POST"));
  server().faults().add(isim::Fault::closeBeforeReply(kSnapshots).on("GET").count(0));
  server().requestLog().clear();
  ScopedLogCapture log(2);
  EXPECT_FALSE(session().CreateSnapshot("/ifs/data", "unread", id));
  EXPECT_EQ(1u, Count("POST", kSnapshots));
  EXPECT_TRUE(log.Contains("Could not read whether the change took effect")) << log.All();
  EXPECT_NE("", session().GetLastTransportError());
}

TEST_F(CutOffTest, OtherChangesCutOffFailWithTheirCauseAndAreNeverRepeated) {
  ASSERT_TRUE(session().CreateCIFSShare("acl", "/ifs/data", "", ""));
  server().faults().add(isim::Fault::closeAfterChange("/platform/3/protocols/smb/shares/").on("PUT"));
  server().requestLog().clear();
  EXPECT_FALSE(session().SetSMBACLs(_IsilonSMBACLs(), "acl", ""));
  EXPECT_EQ(1u, Count("PUT", "/platform/3/protocols/smb/shares/"));
  EXPECT_NE("", LastCode());
  EXPECT_NE("", session().GetLastTransportError());
  EXPECT_EQ(0u, session().GetRequestCounters().retries);
}

}  // namespace
