// Reading the policies from the simulated cluster: pages, selection, broken and failing replies.
#include "tests/synciq/SyncIQSim.h"

namespace {

class SyncIQPolicies : public SyncIQSim {
 protected:
  SyncIQPolicies() : SyncIQSim("127.0.0.60") {}
};

std::vector<std::string> Names(const std::vector<_IsilonSyncIQPolicyInfo>& list) {
  std::vector<std::string> names;
  for (const auto& p : list) names.push_back(p.strName);
  return names;
}

// Every field of a policy record on one line: id|name|description|the five flags|schedule|source|
// target host|target path|action|archive|expiration|pattern.
std::string Fields(const _IsilonSyncIQPolicyInfo& p) {
  const std::string flags = Pipe(p.bCheckIntegrity, p.bConflicted, p.bEnabled, p.bExpectedDataloss, p.bHasSyncState);
  return Pipe(p.strId, p.strName, p.strDescription, flags, p.strSchedule, p.strSourceRootPath, p.strTargetHost,
              p.strTargetPath, p.strAction, p.bTargetSnapshotArchive, p.nTargetSnapshotExpiration,
              p.strTargetSnapshotPattern);
}

TEST_F(SyncIQPolicies, PagesAreFollowedAndPoliciesSelectedByPathOrName) {
  SetPageSize(2);
  const std::string aId = AddPolicy(FitPolicy("a", "/ifs/data/a"));
  AddPolicy(FitPolicy("b", "/ifs/data/b"));
  isim::synciq::Policy c = FitPolicy("c", "/ifs/data/a");
  c.description = "second of /ifs/data/a";
  c.checkIntegrity = false;
  c.conflicted = true;
  c.enabled = false;
  c.expectedDataloss = true;
  c.hasSyncState = true;
  c.schedule = "every day at 22:00";
  c.action = "copy";
  c.targetSnapshotArchive = false;
  c.targetSnapshotExpiration = 604800;
  c.targetSnapshotPattern = isim::synciq::kOlderPattern;
  const std::string cId = AddPolicy(c);
  AddPolicy(FitPolicy("d", "/ifs/data/A"));   // another case
  AddPolicy(FitPolicy("e", "/ifs/data/a/"));  // a trailing slash
  AddPolicy(FitPolicy("bc", "/ifs/data"));    // a longer name, a shorter path

  std::vector<_IsilonSyncIQPolicyInfo> found(1);
  ASSERT_TRUE(session().GetSyncIQPolicy(found, "/ifs/data/a", "not a filter")) << LastMessage();
  EXPECT_EQ(Names(found), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(Requests("/platform/1/sync/policies").size(), 3u);  // their forms: RequestsTest

  // Every field on both sides of its default.
  EXPECT_EQ(Fields(found[0]),
            aId + "|a||1|0|1|0|0||/ifs/data/a|dr.example.com|/ifs/dr/data/a|sync|1|0|" + isim::synciq::kCurrentPattern);
  EXPECT_EQ(Fields(found[1]), cId +
                                  "|c|second of /ifs/data/a|0|1|0|1|1|every day at 22:00|/ifs/data/a|dr.example.com|"
                                  "/ifs/dr/data/a|copy|0|604800|" +
                                  isim::synciq::kOlderPattern);

  // Without a path the name selects.
  ASSERT_TRUE(session().GetSyncIQPolicy(found, "", "b"));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"b"}));

  EXPECT_FALSE(session().GetSyncIQPolicy(found, "/ifs/nothing", "a"));
  EXPECT_TRUE(found.empty());
  ExpectLastError("Internal Error", "No policies found for path:[/ifs/nothing]");
  // No path and no name: only nameless policies would match, and there are none.
  EXPECT_FALSE(session().GetSyncIQPolicy(found, "", ""));
  EXPECT_EQ(LastMessage(), "No policies found for path:[]");
}

TEST_F(SyncIQPolicies, FailingAndBrokenRepliesFailCleanly) {
  AddPolicy(FitPolicy("a", "/ifs/data/a"));
  std::vector<_IsilonSyncIQPolicyInfo> found;

  server().faults().add(isim::Fault::replace("/platform/1/sync/policies", 200, "<html>maintenance</html>"));
  EXPECT_FALSE(session().GetSyncIQPolicy(found, "/ifs/data/a", ""));
  ExpectLastError("Internal Error", "Failed to parse json response:[<html>maintenance</html>]");

  // Members of the wrong kind and numbers out of range give defined values.
  server().faults().add(
      isim::Fault::replace("/platform/1/sync/policies", 200,
                           R"({"policies":[{"name":"odd","source_root_path":"/ifs/data/a","enabled":"yes","id":7,)"
                           R"("target_snapshot_expiration":1e30},{"name":"neg","source_root_path":"/ifs/data/a",)"
                           R"("target_snapshot_expiration":-12.9},{"source_root_path":["/ifs/data/a"]}]})"));
  ASSERT_TRUE(session().GetSyncIQPolicy(found, "/ifs/data/a", ""));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_FALSE(found[0].bEnabled);
  EXPECT_EQ(found[0].strId, "");
  EXPECT_EQ(found[0].nTargetSnapshotExpiration, -1);  // the low 32 bits of the saturated value
  EXPECT_EQ(found[1].nTargetSnapshotExpiration, -12);

  // A policy that is not a record fails the list.
  server().faults().add(isim::Fault::replace("/platform/1/sync/policies", 200,
                                             R"({"policies":[{"name":"a","source_root_path":"/ifs/data/a"},17]})"));
  EXPECT_FALSE(session().GetSyncIQPolicy(found, "/ifs/data/a", ""));
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(LastCode(), "Internal Error");
}

TEST_F(SyncIQPolicies, RepeatedResumeTokenStopsTheListing) {
  SetPageSize(1);
  for (const std::string name : {"a", "b", "c"}) AddPolicy(FitPolicy(name, "/ifs/data/" + name));
  // The second page names itself as the next one.
  server().faults().add(isim::Fault::repeatResume("/platform/1/sync/policies").after(1).count(0));
  std::vector<_IsilonSyncIQPolicyInfo> found;
  EXPECT_FALSE(session().GetSyncIQPolicy(found, "/ifs/data/b", ""));
  EXPECT_EQ(LastCode(), "Internal Error");
  EXPECT_NE(LastMessage().find("repeated resume token"), std::string::npos) << LastMessage();
  EXPECT_TRUE(found.empty());  // a list that stopped is not handed out as the whole
  EXPECT_EQ(Requests("/platform/1/sync/policies").size(), 2u);
}

}  // namespace
