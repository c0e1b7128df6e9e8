// The six rules a policy must pass for snapshot replication, checked without a cluster.
#include <gtest/gtest.h>

#include "isilon/ManageIsilon.h"

namespace {

_IsilonSyncIQPolicyInfo FitPolicy() {
  _IsilonSyncIQPolicyInfo p;
  p.strName = "nightly";
  p.strId = "abc123";
  p.bEnabled = true;
  p.strAction = "sync";
  p.bTargetSnapshotArchive = true;
  p.nTargetSnapshotExpiration = 0;
  p.strTargetHost = "dr.example.com";
  p.strTargetPath = "/ifs/dr";
  return p;
}

using Error = std::pair<std::string, std::string>;

Error LastError(ManageIsilon& session) {
  Error error;
  session.GetLastError(error.first, error.second);
  return error;
}

// Only the older pattern is replaced; a fit policy leaves an empty account.
TEST(SyncIQRules, FitPoliciesPassWithEmptyAccount) {
  ManageIsilon session;
  for (const char* pattern : {"SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S", "",
                              "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d", "custom-%Y"}) {
    SCOPED_TRACE(pattern);
    EXPECT_FALSE(session.DeleteCIFSShare("", "", ""));  // refused input: a last error to clear
    _IsilonSyncIQPolicyInfo p = FitPolicy();
    p.strTargetSnapshotPattern = pattern;
    std::vector<_IsilonSyncIQProperty> invalid;
    EXPECT_TRUE(session.GetInvalidSyncIQProperties(p, invalid));
    EXPECT_TRUE(invalid.empty());
    EXPECT_EQ(LastError(session), Error());
  }
}

TEST(SyncIQRules, EveryRuleFailsInOrderWithItsTextAndProperty) {
  _IsilonSyncIQPolicyInfo p = FitPolicy();
  p.bEnabled = false;
  p.strAction = "copy";
  p.strSchedule = "manual";  // only the empty schedule is manual
  p.bTargetSnapshotArchive = false;
  p.nTargetSnapshotExpiration = -1;
  p.strTargetSnapshotPattern = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M";
  ManageIsilon session;
  std::vector<_IsilonSyncIQProperty> invalid;
  invalid.emplace_back(SYNCIQ_PROPERTY_ACTION, "kept");  // appended to, not emptied
  ASSERT_TRUE(session.GetInvalidSyncIQProperties(p, invalid));
  std::string kinds;
  for (const auto& property : invalid) kinds += std::to_string(property.eType) + "=" + property.strValue + ",";
  EXPECT_EQ(kinds, "1=kept,6=true,1=sync,2=,3=true,4=0,5=SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S,");
  // The account itself is checked against the cluster's policy in ValidateTest.
  EXPECT_NE(LastError(session).second.find("\nPolicy should be enabled."), std::string::npos);
}

TEST(SyncIQRules, ValidateRefusesBeforeAnyRequest) {
  ManageIsilon session;  // no file server: any request would fail differently
  EXPECT_FALSE(session.ValidateSyncIQPolicy("", nullptr, /*modify=*/false));
  EXPECT_EQ(LastError(session), Error("Invalid arguments", "Policy name is empty."));
  EXPECT_FALSE(session.ModifySyncIQPolicy("", {{SYNCIQ_PROPERTY_ENABLED, "true"}}));
  EXPECT_EQ(LastError(session), Error("Invalid arguments", "Policy Id is empty"));
  EXPECT_FALSE(session.ModifySyncIQPolicy("id", {}));
  EXPECT_EQ(LastError(session).second, "No properties to be modified");
  unsigned int jobId = 5;
  EXPECT_FALSE(session.StartSyncIQJob("p", "", jobId));
  EXPECT_EQ(jobId, 0u);
  EXPECT_EQ(LastError(session), Error("Internal error", "Invalid input parameters"));
  _IsilonSyncIQJobInfo job;
  EXPECT_FALSE(session.GetSyncIQJobInfo(job, "", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(LastError(session).second, "Policy name is empty");
  _IsilonSyncIQJobReportInfo report;
  EXPECT_FALSE(session.GetSyncIQJobReport(report, 1, "", SYNCIQ_JOB_STATE_NONE));
  EXPECT_EQ(LastError(session), Error("Internal error", "Policy name is empty"));
}

}  // namespace
