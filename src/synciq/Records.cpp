// Records of the SyncIQ subsystem and the job state mapping.
#include "isilon/IsilonJSON.h"
#include "src/synciq/JobState.h"

void _IsilonSyncIQPolicyInfo::clear() {
  strName.clear();
  strDescription.clear();
  bCheckIntegrity = false;
  bConflicted = false;
  bEnabled = false;
  bExpectedDataloss = false;
  bHasSyncState = false;
  strSchedule.clear();
  strSourceRootPath.clear();
  strTargetHost.clear();
  strTargetPath.clear();
  strId.clear();
  strAction.clear();
  strTargetSnapshotPattern.clear();
  bTargetSnapshotArchive = false;
  nTargetSnapshotExpiration = 0;
}

void _IsilonSyncIQJobInfo::clear() {
  nJobId = 0;
  strError.clear();
  strState.clear();
  eState = SYNCIQ_JOB_STATE_NONE;
  strPolicyName.clear();
}

void _IsilonSyncIQJobReportInfo::clear() {
  nJobId = 0;
  nBytesTransferred = 0;
  nDirectoriesReplicated = 0;
  nDirsDeleted = 0;
  nFilesTransferred = 0;
  nNewFilesReplicated = 0;
  nDuration = 0;
  strError.clear();
  vReservedList1.clear();
  strReserved1.clear();
  vReservedList2.clear();
  strReserved2.clear();
  strState.clear();
  strTargetSnapshot.clear();
  eState = SYNCIQ_JOB_STATE_NONE;
}

namespace isilon {
namespace synciq {

eIsilonSyncIQJobState ReportStateFromText(const std::string& state) {
  if (state == "running") return SYNCIQ_JOB_STATE_RUNNING;
  if (state == "finished") return SYNCIQ_JOB_STATE_FINISHED;
  if (state == "failed" || state == "needs_attention") return SYNCIQ_JOB_STATE_FAILED;
  if (state == "canceled") return SYNCIQ_JOB_STATE_CANCELED;
  return SYNCIQ_JOB_STATE_NONE;
}

eIsilonSyncIQJobState JobStateFromText(const std::string& state) {
  if (state == "scheduled") return SYNCIQ_JOB_STATE_SCHEDULED;
  if (state == "paused") return SYNCIQ_JOB_STATE_PAUSED;
  return ReportStateFromText(state);
}

const char* JobStateFilter(const eIsilonSyncIQJobState& state) {
  switch (state) {
    case SYNCIQ_JOB_STATE_RUNNING: return "&state=running";
    case SYNCIQ_JOB_STATE_FINISHED: return "&state=finished";
    case SYNCIQ_JOB_STATE_SCHEDULED: return "&state=scheduled";
    default: return "";
  }
}

}  // namespace synciq
}  // namespace isilon
