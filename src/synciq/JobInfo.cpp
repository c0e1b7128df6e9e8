// Finding a SyncIQ policy's current job in the cluster's job list.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "isilon/Paging.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"
#include "src/synciq/JobState.h"

using isilon::OrEmpty;

IsilonJsonSyncIQJobInfo::IsilonJsonSyncIQJobInfo() : eState(SYNCIQ_JOB_STATE_NONE) {}

void IsilonJsonSyncIQJobInfo::Initialize(const std::string& fileServer, const std::string& policyName,
                                         const eIsilonSyncIQJobState& state) {
  strFileServer = fileServer;
  strPolicyName = policyName;
  eState = state;
}

bool IsilonJsonSyncIQJobInfo::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  // Encoded, so that a name holding "&" or "=" cannot add parameters to the query.
  uri = "https://" + strFileServer + ":8080/platform/1/sync/jobs";
  if (!resume.empty()) {
    // A following page carries its token alone: the token holds the rest of the query.
    uri += "?resume=" + resume;
  } else {
    uri += "?policy_name=" + isilon::EncodeUriPiece(strPolicyName) + isilon::synciq::JobStateFilter(eState);
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSyncIQJobInfo::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 OrEmpty(body));
  return true;
}

bool IsilonJsonSyncIQJobInfo::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonSyncIQJobInfo::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 2, "Json response :[%s]", OrEmpty(response));
  resume.clear();  // an unreadable page names no next one
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& jobs = shape.Records(reply, "jobs");
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to parse policy information from json response.");
    return false;
  }
  resume = std::move(token);
  if (!reply.has<jsonxx::Array>("jobs")) return false;

  for (unsigned int i = 0; i < jobs.size(); ++i) {
    const jsonxx::Object& entry = jobs.get<jsonxx::Object>(i);
    _IsilonSyncIQJobInfo info;
    info.nJobId = entry.has<long double>("job_id") ? jsonxx::TruncToU32(entry.get<long double>("job_id")) : 0;
    info.strError = entry.get<std::string>("error");
    info.strState = entry.get<std::string>("state");
    info.strPolicyName = entry.get<std::string>("policy_name");
    info.eState = isilon::synciq::JobStateFromText(info.strState);

    const bool active = info.eState == SYNCIQ_JOB_STATE_RUNNING || info.eState == SYNCIQ_JOB_STATE_SCHEDULED ||
                        info.eState == SYNCIQ_JOB_STATE_PAUSED;
    const int level = active && info.strPolicyName == strPolicyName ? 0 : 3;
    debug.DebugLvl(kFn, level, "Job Id\t\t\t\t: [%u]", info.nJobId);
    debug.DebugLvl(kFn, level, "State\t\t\t\t: [%s]", info.strState.c_str());
    if (level == 0) {
      job = info;
      return true;
    }
  }
  return false;
}

bool IsilonJsonSyncIQJobInfo::GetJobInfo(_IsilonSyncIQJobInfo& out) {
  out = job;
  return true;
}

void IsilonJsonSyncIQJobInfo::GetResume(std::string& out) { out = resume; }

bool ManageIsilon::GetSyncIQJobInfo(_IsilonSyncIQJobInfo& job, const string& policyName,
                                    const eIsilonSyncIQJobState& state) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetSyncIQJobInfo(_IsilonSyncIQJobInfo&, const string&, const eIsilonSyncIQJobState&)";
  if (policyName.empty()) return Fail(kFn, __LINE__, "Internal error", "Policy name is empty");
  if (isilon::HasNul(policyName)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 0, "Request to get information for policy name[%s] on file server[%s]", policyName.c_str(),
      strFileServer.c_str());

  IsilonJsonSyncIQJobInfo request;
  request.Initialize(strFileServer, policyName, state);
  // The job list declares no policy_name: a cluster that refuses it lists every job, and the
  // entries are matched by policy name below.
  static const std::vector<std::string> kUndeclared{"policy_name"};
  RequestStep step{kFn, kGet, "Failed to create json request for sync iq job report info."};
  step.undeclaredArgs = &kUndeclared;
  // A failure that the repeat makes good must not stay behind as the last error.
  const string previousCode = strLastErrorCode, previousMessage = strLastErrorMessage;
  bool reconnected = false;  // one reconnection per lookup, never more
  // The job can be on a later page than the first when the cluster lists many jobs; a job
  // that is there must not look missing (a start would give up on it after its retries).
  isilon::PageWalk walk = isilon::PageWalk::kFailed;
  const bool read = FollowResumePages(
      kFn,
      [&](const string&, string& next) {
        string sentUri, sentBody, response;  // kept for the one repeat after a reconnection
        const RequestOutcome outcome = RunRequest(
            step, request,
            [&](string& uri, string& body) {
              const bool built = request.BuildRequest(uri, body);
              sentUri = uri;
              sentBody = body;
              return built;
            },
            response);
        if (outcome.NotMade()) return isilon::PageStep::kFailed;
        if (outcome.Failed()) {
          // The repeat goes as the failed request went: without what the cluster refused.
          for (const string& name : outcome.dropped) sentUri = isilon::WithoutArgument(sentUri, name);
          bool sent = false;
          if (!reconnected) {
            reconnected = true;
            Log(kFn, __LINE__, 0, "Failed to send request to file server[%s]. Re-establishing the connection.",
                strFileServer.c_str());
            CloseConnection();
            OpenConnection();
            strLastErrorCode = previousCode;
            strLastErrorMessage = previousMessage;
            sent = SendRequest(response, kGet, sentUri, sentBody, /*resetHeaders=*/true);
            if (!sent) {
              request.ParseError(response);
              request.getError(strLastErrorCode, strLastErrorMessage);
              isilon::FillReason(strLastErrorCode, strLastErrorMessage, "Failed to get synciq job info.");
            }
          }
          if (!sent) {
            Log(kFn, __LINE__, -1, "Failed to get synciq policy info on filer[%s]. Error[%s]:[%s]",
                strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
            return isilon::PageStep::kFailed;
          }
        }
        const bool found = request.ParseResponse(response);
        request.GetResume(next);
        return found ? isilon::PageStep::kFound : isilon::PageStep::kNext;
      },
      &walk);
  if (!read) return false;
  if (walk != isilon::PageWalk::kFound) {
    strLastErrorMessage = "No response received from file server.";
    // Not listed (or listed in a page that could not be read): a failure still has a code.
    if (strLastErrorCode.empty()) strLastErrorCode = "Internal Error";
    Log(kFn, __LINE__, -1, "File server[%s], Error[%s].", strFileServer.c_str(), strLastErrorMessage.c_str());
    return false;
  }
  request.GetJobInfo(job);
  Log(kFn, __LINE__, 2, "Found job info for policy name[%s] on file server[%s]. Jobid[%d] ", policyName.c_str(),
      strFileServer.c_str(), static_cast<int>(job.nJobId));
  return true;
}
