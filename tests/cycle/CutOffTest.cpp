// A change sent but cut off before its reply may have been acted on: it goes again only where
// the second answer settles it (a delete, a create whose conflict means done), never otherwise.
#include <functional>
#include <string>
#include <vector>

#include "tests/cycle/CycleFixture.h"

namespace cycletest {
namespace {

class CutOffTest : public CycleTest {};

using Change = std::function<bool(ManageIsilon&)>;

bool DeleteShare(ManageIsilon& session) { return session.DeleteCIFSShare("share", "/ifs/share", ""); }
bool CreateShare(ManageIsilon& session) { return session.CreateCIFSShare("share", "/ifs/share", "", ""); }
bool DeleteExport(ManageIsilon& session) { return session.DeleteNFSExport(7, ""); }
bool StartJob(ManageIsilon& session) {
  unsigned int id = 99;
  const bool started = session.StartSyncIQJob("policy-1", "snap-1", id);
  EXPECT_EQ(0u, id);
  return started;
}

const Reply kCreated = Reply::Ok(R"({"id":"share"})", 201);

TEST_F(CutOffTest, ASettledChangeIsSentAgainAndCountsAsDone) {
  struct Case {
    const char* name;
    Change change;
    TransportResult cutOff;
    Reply second;
    bool done;
  };
  const Case cases[] = {
      {"share delete, then gone", DeleteShare, TransportResult::kNoReply,
       Reply::Error(404, "AEC_NOT_FOUND", "no such share"), true},
      {"share delete timed out, then gone", DeleteShare, TransportResult::kTimedOut,
       Reply::Error(404, "AEC_NOT_FOUND", "no such share"), true},
      {"share delete, then deleted", DeleteShare, TransportResult::kNoReply, Reply::Status(204), true},
      {"share delete, then another refusal", DeleteShare, TransportResult::kNoReply,
       Reply::Error(403, "AEC_FORBIDDEN", "not allowed"), false},
      {"export delete, then gone", DeleteExport, TransportResult::kNoReply,
       Reply::Error(404, "AEC_NOT_FOUND", "no such export"), true},
      {"share create, then conflict", CreateShare, TransportResult::kNoReply,
       Reply::Error(409, "AEC_CONFLICT", "share exists"), true},
      {"share create timed out, then conflict", CreateShare, TransportResult::kTimedOut,
       Reply::Error(409, "AEC_CONFLICT", "share exists"), true},
      {"share create, then created", CreateShare, TransportResult::kNoReply, kCreated, true},
      {"share create, then bad request", CreateShare, TransportResult::kNoReply,
       Reply::Error(400, "AEC_BAD_REQUEST", "bad path"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Reply::Failure(c.cutOff), c.second});
    std::unique_ptr<ManageIsilon> session = NewSession();
    EXPECT_EQ(c.done, c.change(*session)) << LastError(*session);
    const std::vector<SentRequest> sent = cluster.script().Operations();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(sent[0].method, sent[1].method);
    EXPECT_EQ(sent[0].uri, sent[1].uri);
    EXPECT_EQ(sent[0].body, sent[1].body);
    EXPECT_EQ(1u, ScopedScriptedCluster::Sleeps().size());
    if (!c.done) ExpectReason(*session);
  }
}

TEST_F(CutOffTest, AChangeThatCannotBeSettledIsSentOnce) {
  struct Case {
    const char* name;
    Change change;
    TransportResult cutOff;
  };
  const Case cases[] = {
      {"policy modify (PUT) reset", &CycleTest::Disable, TransportResult::kNoReply},
      {"policy modify (PUT) timed out", &CycleTest::Disable, TransportResult::kTimedOut},
      {"job start (POST) reset", StartJob, TransportResult::kNoReply},
      {"job start (POST) timed out", StartJob, TransportResult::kTimedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    // Answers for a cycle that would send it again.
    cluster.script().Add({Login(), Reply::Failure(c.cutOff), Reply::Status(204), Reply::Status(204)});
    std::unique_ptr<ManageIsilon> session = NewSession();
    EXPECT_FALSE(c.change(*session));
    ExpectReason(*session);
    EXPECT_NE("", session->GetLastTransportError());
    EXPECT_EQ(1u, cluster.script().Operations().size());
    EXPECT_EQ(1u, cluster.script().Logins());
    EXPECT_TRUE(ScopedScriptedCluster::Sleeps().empty());
  }
}

TEST_F(CutOffTest, WithoutRetriesEvenASettledChangeIsSentOnce) {
  const Change changes[] = {DeleteShare, CreateShare, DeleteExport};
  for (const Change& change : changes) {
    Settings("nIsilonRetryCount=0\n");
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Reply::Failure(TransportResult::kNoReply), Reply::Status(204)});
    std::unique_ptr<ManageIsilon> session = NewSession();
    EXPECT_FALSE(change(*session));
    ExpectReason(*session);
    EXPECT_EQ(1u, cluster.script().Operations().size());
    EXPECT_EQ(1u, cluster.script().Unused());
  }
}

TEST_F(CutOffTest, ASettledChangeCutOffEveryTimeFailsWhenTheRetriesRunOut) {
  Settings("nIsilonRetryCount=1\n");
  script().Add({Login(), Reply::Failure(TransportResult::kNoReply), Reply::Failure(TransportResult::kNoReply),
                Reply::Status(204)});
  std::unique_ptr<ManageIsilon> session = NewSession();
  EXPECT_FALSE(DeleteShare(*session));
  ExpectReason(*session);
  EXPECT_EQ(2u, script().Operations().size());
  EXPECT_EQ(1u, script().Unused());
}

}  // namespace
}  // namespace cycletest

namespace cycletest {
namespace {

TEST_F(CutOffTest, ALoginCutOffIsSentAgain) {
  // A second login is harmless: the session the first may have made expires on its own.
  script().Add({Reply::Failure(TransportResult::kNoReply), Login("second"), Addresses()});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
  EXPECT_EQ(2u, script().Logins());
  ASSERT_EQ(1u, script().Operations().size());
  EXPECT_EQ("isisessid=second", script().Operations()[0].Header("Cookie"));
}

}  // namespace
}  // namespace cycletest
