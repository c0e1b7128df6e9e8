// Checking a policy on the simulated cluster and putting it right with one PUT.
#include "tests/synciq/SyncIQSim.h"

namespace {

class SyncIQValidation : public SyncIQSim {
 protected:
  SyncIQValidation() : SyncIQSim("127.0.0.61") {}

  // Fails every one of the six rules.
  static isim::synciq::Policy UnfitPolicy(const std::string& name) {
    isim::synciq::Policy p = FitPolicy(name, "/ifs/data/projects");
    p.enabled = false;
    p.action = "copy";
    p.schedule = "manual";
    p.targetSnapshotArchive = false;
    p.targetSnapshotExpiration = 86400;
    p.targetSnapshotPattern = isim::synciq::kOlderPattern;
    return p;
  }
};

const char kAccount[] =
    "\nPolicy should be enabled."
    "\nAction should be set to \"sync\". Current value[copy]."
    "\nSchedule should be set to manual. Current value[manual]."
    "\n\"Enable capture of snapshots on the target cluster\" property should be selected."
    "\nTarget snapshot should not be set for auto expiration. Current value[86400]."
    "\nModify target snapshot naming pattern to \"SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S\". "
    "Current value\"SIQ_%{ SrcCluster }_%{ PolicyName }_%Y - %m - %d_%H - %M\"]";

const char kFullBody[] =
    "{\"enabled\" : true,\"action\" : \"sync\",\"schedule\" : \"\",\"target_snapshot_archive\" : true,"
    "\"target_snapshot_expiration\" : 0,"
    "\"target_snapshot_pattern\" : \"SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S\"}";

TEST_F(SyncIQValidation, UnfitPolicyIsReportedThenFixedWithOnePut) {
  const std::string id = AddPolicy(UnfitPolicy("projects"));

  EXPECT_FALSE(session().ValidateSyncIQPolicy("projects", nullptr, /*modify=*/false));
  ExpectLastError("Invalid synciq policy", kAccount);
  EXPECT_TRUE(Requests("PUT").empty());

  ASSERT_TRUE(session().ValidateSyncIQPolicy("projects", nullptr, /*modify=*/true)) << LastMessage();
  const std::vector<std::string> puts = Requests("PUT");
  ASSERT_EQ(puts.size(), 1u);
  EXPECT_EQ(puts[0], "PUT /platform/1/sync/policies/" + id);
  EXPECT_EQ(server().requestLog().find("PUT", "").at(0).body, kFullBody);

  // Fit now (every change took): no change is sent and the account is empty.
  EXPECT_TRUE(session().ValidateSyncIQPolicy("projects", nullptr, /*modify=*/true));
  EXPECT_EQ(LastMessage(), "");
  EXPECT_EQ(Requests("PUT").size(), 1u);
}

TEST_F(SyncIQValidation, GivenPolicyIsCheckedWithoutLookup) {
  AddPolicy(FitPolicy("home", "/ifs/home"));
  std::vector<_IsilonSyncIQPolicyInfo> found;
  ASSERT_TRUE(session().GetSyncIQPolicy(found, "/ifs/home", ""));
  server().requestLog().clear();
  EXPECT_TRUE(session().ValidateSyncIQPolicy("home", &found[0], /*modify=*/false));
  EXPECT_TRUE(Requests().empty());  // the session is open and the record was given

  _IsilonSyncIQPolicyInfo noTarget = found[0];
  noTarget.strTargetHost.clear();
  EXPECT_FALSE(session().ValidateSyncIQPolicy("home", &noTarget, /*modify=*/true));
  EXPECT_EQ(LastCode(), "Invalid synciq policy");
  EXPECT_EQ(LastMessage(),
            "Target host and target path should not be empty. Current value: TargetHost[], "
            "TargetPath[/ifs/dr/home].");
  EXPECT_TRUE(Requests().empty());

  EXPECT_FALSE(session().ValidateSyncIQPolicy("missing", nullptr, /*modify=*/true));
  EXPECT_EQ(LastMessage(), "No policies found for path:[]");
}

TEST_F(SyncIQValidation, RefusedChangesKeepTheirReason) {
  const std::string id = AddPolicy(UnfitPolicy("projects"));
  server().faults().add(
      isim::Fault::error("/platform/1/sync/policies/", 400, "AEC_BAD_REQUEST", "Field: schedule is locked").on("PUT"));
  EXPECT_FALSE(session().ValidateSyncIQPolicy("projects", nullptr, /*modify=*/true));
  ExpectLastError("Invalid synciq policy", "Field: schedule is locked");

  // Kinds the body has no form for, and bare values that are not their kind's literal, are
  // refused before anything is sent.
  server().requestLog().clear();
  const std::vector<std::vector<_IsilonSyncIQProperty>> refused = {
      {{SYNCIQ_PROPERTY_ENABLED, "true"}, {static_cast<eIsilonSyncIQPropertyType>(7), "x"}},
      {{static_cast<eIsilonSyncIQPropertyType>(0), "x"}},
      {{SYNCIQ_PROPERTY_ENABLED, "true,\"target_path\" : \"/ifs/elsewhere\""}},
      {{SYNCIQ_PROPERTY_TARGET_SNAPSHOT_ARCHIVE, "yes"}},
      {{SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION, "1.5"}},
      {{SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION, ""}},
  };
  for (const auto& properties : refused) {
    EXPECT_FALSE(session().ModifySyncIQPolicy(id, properties));
    ExpectLastError("Internal Error", "Failed to create json request for sync iq policy modificaiton request.");
  }
  EXPECT_TRUE(Requests("PUT").empty());
  // Whole numbers reach the cluster, which holds them to its minimum of 0.
  EXPECT_FALSE(session().ModifySyncIQPolicy(id, {{SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION, "-1"}}));
  ExpectLastError("AEC_BAD_REQUEST",
                  "Field: target_snapshot_expiration has error: The value -1 is less than the minimum 0.");
  isim::synciq::Policy now;
  for (const char* accepted : {"0", "86400"}) {
    EXPECT_TRUE(session().ModifySyncIQPolicy(id, {{SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION, accepted}}));
    ASSERT_TRUE(siq().findPolicy(id, now));
    EXPECT_EQ(std::to_string(now.targetSnapshotExpiration), accepted);
  }
}

TEST_F(SyncIQValidation, StringValuesAndThePolicyIdArriveExactly) {
  isim::synciq::Policy p = FitPolicy("odd", "/ifs/data/odd");
  p.id = "siq id&enabled=false?x";
  AddPolicy(p);
  const std::string schedule = "every \"day\" at 22:00, \\ and\ttab";
  const std::string pattern = "SIQ_%{PolicyName}_\"quoted\"";
  ASSERT_TRUE(session().ModifySyncIQPolicy(
      p.id, {{SYNCIQ_PROPERTY_SCHEDULE, schedule}, {SYNCIQ_PROPERTY_TARGET_SNAPSHOT_PATTERN, pattern}}))
      << LastMessage();
  EXPECT_EQ(Requests("PUT"),
            (std::vector<std::string>{"PUT /platform/1/sync/policies/siq%20id%26enabled%3Dfalse%3Fx"}));
  isim::synciq::Policy now;
  ASSERT_TRUE(siq().findPolicy("odd", now));
  EXPECT_EQ(now.schedule, schedule);
  EXPECT_EQ(now.targetSnapshotPattern, pattern);
  EXPECT_TRUE(now.enabled);
}

TEST_F(SyncIQValidation, ClusterRefusesMalformedChangesWhole) {
  const std::string id = AddPolicy(FitPolicy("home", "/ifs/home"));
  ASSERT_TRUE(session().OpenConnection());
  const std::string uri = "https://" + address() + ":8080/platform/1/sync/policies/" + id;
  const std::string bodies[] = {
      R"({"schedule":"hourly","enabled":"yes"})",
      R"({"schedule":"hourly","conflicted":true})",
      R"({"schedule":"hourly","unknown":1})",
      R"({"schedule":"hourly","action":"move"})",
      R"({"schedule":"hourly","target_snapshot_expiration":1.5})",
      R"(["schedule"])",
      "{",
  };
  for (const std::string& body : bodies) {
    std::string response;
    EXPECT_FALSE(session().SendRequest(response, ManageIsilon::kPut, uri, body, /*resetHeaders=*/true)) << body;
    EXPECT_NE(response.find("AEC_BAD_REQUEST"), std::string::npos) << response;
  }
  isim::synciq::Policy now;
  ASSERT_TRUE(siq().findPolicy(id, now));
  EXPECT_EQ(now.schedule, "");
}

}  // namespace
