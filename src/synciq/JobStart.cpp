// Starting a SyncIQ job and waiting for the cluster to give it an id.
#include <string>

#include "host/DebugLog.h"
#include "host/FXString.h"
#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/common/JsonText.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"
#include "src/config/Settings.h"
#include "src/session/Cycle.h"

using isilon::JsonEscape;
using isilon::OrEmpty;

IsilonJsonSyncIQJob::IsilonJsonSyncIQJob() {}

void IsilonJsonSyncIQJob::Initialize(const std::string& fileServer, const std::string& policyName,
                                     const std::string& sourceSnapshot) {
  strFileServer = fileServer;
  strPolicyName = policyName;
  strSourceSnapshot = sourceSnapshot;
}

bool IsilonJsonSyncIQJob::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/sync/jobs";
  // Escaped, so that a quote in a name cannot end the string and add members of its own.
  body = "{";
  body += "\"id\" : \"";
  body += JsonEscape(strPolicyName);
  body += "\",";
  body += "\"source_snapshot\" : \"";
  body += JsonEscape(strSourceSnapshot);
  body += "\"";
  body += "}";
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSyncIQJob::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 body.c_str());
  return true;
}

namespace {
const char kWaitCancelled[] = "Wait cancelled by the caller.";

const char* JobStateText(const _IsilonSyncIQJobInfo& job) {
  return job.strState.empty() ? "EMPTY" : job.strState.c_str();
}
}  // namespace

bool ManageIsilon::StartSyncIQJob(const string& policyName, const string& sourceSnapshot, unsigned int& jobId) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::StartSyncIQJob(const string&, const string&, unsigned int&)";
  jobId = 0;
  if (sourceSnapshot.empty() || policyName.empty() || isilon::AnyHasNul(policyName, sourceSnapshot)) {
    return FailInput(kFn, __LINE__);
  }
  Log(kFn, __LINE__, 0, "Request to start synciq replication job for policy [%s] source snapshot[%s].",
      policyName.c_str(), sourceSnapshot.c_str());

  IsilonJsonSyncIQJob request;
  request.Initialize(strFileServer, policyName, sourceSnapshot);
  isilon::OperationPolicy policy;
  policy.refusedText = "Failed to start synciq job on filer[" + strFileServer + "] for policy[" + policyName + "]";
  string response;
  const isilon::Sent sent = isilon::Operation::Send(
      *this, RequestStep{kFn, kPost, "Failed to create json request to start synciq job."}, policy, request,
      [&request](string& uri, string& body) { return request.BuildRequest(uri, body); }, response);
  if (!sent.ok()) return sent.result();
  request.IsilonJsonBase::ParseResponse(response);

  int retries = CurrentSettings().jobStatusRetryCount;
  // Waits for a scheduled or paused job use no retries; this total bounds them.
  const int waitLimit = CurrentSettings().jobWaitLimitSeconds;
  const long long waitLimitMs = 1000LL * waitLimit;
  long long waitedMs = 0;  // in waits for a scheduled or paused job
  long long sleptMs = 0;   // in every wait of the poll

  // Each lookup starts from no error, so that a failure of one lookup is not taken for the
  // next one's; when the poll gives up, the last lookup's error describes why.
  _IsilonSyncIQJobInfo job;
  const auto lookUp = [&](const eIsilonSyncIQJobState& state) {
    strLastErrorCode.clear();  // not ClearLastError: the settings hold for the whole start
    strLastErrorMessage.clear();
    job.clear();
    return isilon::Operation::FindSyncIQJob(*this, job, policyName, state);
  };
  // The host's observer sees each poll that is followed by a wait, and may end the poll there.
  const auto goOn = [&]() {
    if (!CurrentWaitObserver()) return true;
    ManageIsilon::WaitProgress progress;
    progress.jobId = job.nJobId;
    progress.state = job.strState;
    progress.secondsWaited = sleptMs / 1000;
    return CurrentWaitObserver()(progress);
  };
  for (;;) {
    if (lookUp(SYNCIQ_JOB_STATE_RUNNING) && job.nJobId != 0) {
      jobId = job.nJobId;
      Log(kFn, __LINE__, 0, "Successfully created synciq job[%u] for policy[%s].", jobId, policyName.c_str());
      return true;
    }
    if (lookUp(SYNCIQ_JOB_STATE_NONE) &&
        (job.eState == SYNCIQ_JOB_STATE_SCHEDULED || job.eState == SYNCIQ_JOB_STATE_PAUSED)) {
      if (waitedMs + 5000 > waitLimitMs) {
        return Fail(kFn, __LINE__, "Internal Error",
                    FXString::Format("SyncIQ job of policy[%s] stayed in [%s] state; gave up after waiting [%lld] "
                                     "seconds (nIsilonSyncIQJobWaitLimit[%d]).",
                                     policyName.c_str(), JobStateText(job), waitedMs / 1000, waitLimit));
      }
      if (!goOn()) return Fail(kFn, __LINE__, "Internal Error", kWaitCancelled);
      Log(kFn, __LINE__, -1, "SyncIQ policy[%s] on File server[%s] has job in [%s] state. Retry after 5 seconds",
          policyName.c_str(), strFileServer.c_str(), job.strState.c_str());
      ZEMSLEEP(5000, __FILE__, __LINE__);
      waitedMs += 5000;
      sleptMs += 5000;
      continue;
    }
    if (!goOn()) return Fail(kFn, __LINE__, "Internal Error", kWaitCancelled);
    Log(kFn, __LINE__, -1,
        "Failed to get synciq job id for policy[%s]. File server[%s], Error[%s]. Retry after 1 sec, Retry count[%d]",
        policyName.c_str(), strFileServer.c_str(), OrEmpty(strLastErrorMessage), retries);
    ZEMSLEEP(1000, __FILE__, __LINE__);
    sleptMs += 1000;
    if (retries <= 0) return false;
    --retries;
  }
}
