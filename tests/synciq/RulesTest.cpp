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
  p.strTargetSnapshotPattern = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S";
  p.strTargetHost = "dr.example.com";
  p.strTargetPath = "/ifs/dr";
  return p;
}

std::string Message(ManageIsilon& session) {
  std::string code, message;
  session.GetLastError(code, message);
  return message;
}

TEST(SyncIQRules, FitPolicyPassesWithEmptyAccount) {
  ManageIsilon session;
  std::vector<_IsilonSyncIQProperty> invalid;
  EXPECT_FALSE(session.DeleteCIFSShare("", "", ""));  // refused input: a last error to clear
  EXPECT_TRUE(session.GetInvalidSyncIQProperties(FitPolicy(), invalid));
  EXPECT_TRUE(invalid.empty());
  std::string code, message;
  session.GetLastError(code, message);
  EXPECT_EQ(message, "");  // the failed check before left nothing behind
  EXPECT_EQ(code, "");
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
  ASSERT_EQ(invalid.size(), 7u);
  const std::pair<int, std::string> expected[] = {
      {1, "kept"},
      {6, "true"},
      {1, "sync"},
      {2, ""},
      {3, "true"},
      {4, "0"},
      {5, "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S"},
  };
  for (size_t i = 0; i < invalid.size(); ++i) {
    EXPECT_EQ(static_cast<int>(invalid[i].eType), expected[i].first) << i;
    EXPECT_EQ(invalid[i].strValue, expected[i].second) << i;
  }
  EXPECT_EQ(Message(session),
            "\nPolicy should be enabled."
            "\nAction should be set to \"sync\". Current value[copy]."
            "\nSchedule should be set to manual. Current value[manual]."
            "\n\"Enable capture of snapshots on the target cluster\" property should be selected."
            "\nTarget snapshot should not be set for auto expiration. Current value[-1]."
            "\nModify target snapshot naming pattern to \"SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S\". "
            "Current value\"SIQ_%{ SrcCluster }_%{ PolicyName }_%Y - %m - %d_%H - %M\"]");
}

TEST(SyncIQRules, OnlyTheOlderPatternIsReplaced) {
  ManageIsilon session;
  for (const char* pattern : {"", "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d", "custom-%Y"}) {
    _IsilonSyncIQPolicyInfo p = FitPolicy();
    p.strTargetSnapshotPattern = pattern;
    std::vector<_IsilonSyncIQProperty> invalid;
    session.GetInvalidSyncIQProperties(p, invalid);
    EXPECT_TRUE(invalid.empty()) << pattern;
  }
}

TEST(SyncIQRules, ValidateRefusesBeforeAnyRequest) {
  ManageIsilon session;  // no file server: any request would fail differently
  EXPECT_FALSE(session.ValidateSyncIQPolicy("", nullptr, false));
  std::string code, message;
  session.GetLastError(code, message);
  EXPECT_EQ(code, "Invalid arguments");
  EXPECT_EQ(message, "Policy name is empty.");

  EXPECT_FALSE(session.ModifySyncIQPolicy("", {{SYNCIQ_PROPERTY_ENABLED, "true"}}));
  session.GetLastError(code, message);
  EXPECT_EQ(code, "Invalid arguments");
  EXPECT_EQ(message, "Policy Id is empty");
  EXPECT_FALSE(session.ModifySyncIQPolicy("id", {}));
  session.GetLastError(code, message);
  EXPECT_EQ(message, "No properties to be modified");

  unsigned int jobId = 5;
  EXPECT_FALSE(session.StartSyncIQJob("p", "", jobId));
  EXPECT_EQ(jobId, 0u);
  session.GetLastError(code, message);
  EXPECT_EQ(code, "Internal error");
  EXPECT_EQ(message, "Invalid input parameters");

  _IsilonSyncIQJobInfo job;
  EXPECT_FALSE(session.GetSyncIQJobInfo(job, "", SYNCIQ_JOB_STATE_NONE));
  session.GetLastError(code, message);
  EXPECT_EQ(message, "Policy name is empty");
  _IsilonSyncIQJobReportInfo report;
  EXPECT_FALSE(session.GetSyncIQJobReport(report, 1, "", SYNCIQ_JOB_STATE_NONE));
  session.GetLastError(code, message);
  EXPECT_EQ(code, "Internal error");
  EXPECT_EQ(message, "Policy name is empty");
}

}  // namespace
