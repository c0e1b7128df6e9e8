// Checking a SyncIQ policy for snapshot replication and putting it right.
#include <string>
#include <vector>

#include "host/FXString.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"

namespace {
const char kCurrentPattern[] = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S";
const char kOlderPattern[] = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M";
}  // namespace

bool ManageIsilon::GetInvalidSyncIQProperties(const _IsilonSyncIQPolicyInfo& policy,
                                              vector<_IsilonSyncIQProperty>& invalid) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetInvalidSyncIQProperties(const _IsilonSyncIQPolicyInfo&, "
      "std::vector<_IsilonSyncIQProperty>&)";
  strLastErrorMessage.clear();
  if (!policy.bEnabled) {
    strLastErrorMessage += "\nPolicy should be enabled.";
    invalid.emplace_back(SYNCIQ_PROPERTY_ENABLED, "true");
    Log(kFn, __LINE__, 3, "SyncIQ Property - Enabled[False].");
  }
  if (policy.strAction != "sync") {
    strLastErrorMessage += "\nAction should be set to \"sync\". Current value[" + policy.strAction + "].";
    invalid.emplace_back(SYNCIQ_PROPERTY_ACTION, "sync");
    Log(kFn, __LINE__, 3, "SyncIQ Property - Action[%s]", policy.strAction.c_str());
  }
  if (!policy.strSchedule.empty()) {
    strLastErrorMessage += "\nSchedule should be set to manual. Current value[" + policy.strSchedule + "].";
    invalid.emplace_back(SYNCIQ_PROPERTY_SCHEDULE, "");
    Log(kFn, __LINE__, 3, "SyncIQ Property - Schedule[%s]", policy.strSchedule.c_str());
  }
  if (!policy.bTargetSnapshotArchive) {
    strLastErrorMessage += "\n\"Enable capture of snapshots on the target cluster\" property should be selected.";
    invalid.emplace_back(SYNCIQ_PROPERTY_TARGET_SNAPSHOT_ARCHIVE, "true");
    Log(kFn, __LINE__, 3, "SyncIQ Property - Target Snapshot Archive[false].");
  }
  if (policy.nTargetSnapshotExpiration != 0) {
    const string expiration = FXString::Format("%d", policy.nTargetSnapshotExpiration);
    strLastErrorMessage +=
        "\nTarget snapshot should not be set for auto expiration. Current value[" + expiration + "].";
    invalid.emplace_back(SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION, "0");
    Log(kFn, __LINE__, 3, "SyncIQ Property - Target Snapshot Expiration[%s].", expiration.c_str());
  }
  if (policy.strTargetSnapshotPattern == kOlderPattern) {
    strLastErrorMessage +=
        "\nModify target snapshot naming pattern to \"SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S\". "
        "Current value\"SIQ_%{ SrcCluster }_%{ PolicyName }_%Y - %m - %d_%H - %M\"]";
    invalid.emplace_back(SYNCIQ_PROPERTY_TARGET_SNAPSHOT_PATTERN, kCurrentPattern);
    // The pattern holds "%" signs: it is an argument, never the format.
    Log(kFn, __LINE__, 3, "%s",
        "SyncIQ Property - Target Snapshot Naming Pattern[SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M]");
  }
  return true;
}

bool ManageIsilon::ValidateSyncIQPolicy(const string& policyName, const _IsilonSyncIQPolicyInfo* policy, bool modify) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::ValidateSyncIQPolicy(const string&, const _IsilonSyncIQPolicyInfo*, bool)";
  if (policyName.empty()) return Fail(kFn, __LINE__, "Invalid arguments", "Policy name is empty.");
  if (isilon::HasNul(policyName)) return FailInput(kFn, __LINE__);
  if (!OpenConnection()) return LogFailure(kFn, __LINE__);
  Log(kFn, __LINE__, 3, "Validating sync iq policy[%s]", policyName.c_str());

  _IsilonSyncIQPolicyInfo copy;
  if (policy != nullptr) {
    copy = *policy;
  } else {
    vector<_IsilonSyncIQPolicyInfo> list;
    if (!GetSyncIQPolicy(list, "", policyName) || list.empty()) {
      Log(kFn, __LINE__, -1, "Failed to get policy info. File server[%s], Error[%s].", strFileServer.c_str(),
          strLastErrorMessage.c_str());
      return false;
    }
    copy = list.front();
  }

  if (copy.strTargetHost.empty() || copy.strTargetPath.empty()) {
    return Fail(kFn, __LINE__, "Invalid synciq policy",
                "Target host and target path should not be empty. Current value: TargetHost[" + copy.strTargetHost +
                    "], TargetPath[" + copy.strTargetPath + "].");
  }

  vector<_IsilonSyncIQProperty> invalid;
  GetInvalidSyncIQProperties(copy, invalid);
  if (!invalid.empty()) {
    if (!modify || !ModifySyncIQPolicy(copy.strId, invalid)) {
      strLastErrorCode = "Invalid synciq policy";
      return LogFailure(kFn, __LINE__);
    }
    Log(kFn, __LINE__, 0, "Successfully modified sync iq policy[%s]", policyName.c_str());
  }
  Log(kFn, __LINE__, 0, "SyncIQ policy[%s] is good for snapshot replication.", policyName.c_str());
  return true;
}
