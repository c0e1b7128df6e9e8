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
#include "src/common/Operation.h"
#include "src/common/ReplyShape.h"
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
    info.nJobId = jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, "job_id"));
    info.strError = isilon::Field<std::string>(entry, "error");
    info.strState = isilon::Field<std::string>(entry, "state");
    info.strPolicyName = isilon::Field<std::string>(entry, "policy_name");
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

void IsilonJsonSyncIQJobInfo::SetResume(const std::string& token) { resume = token; }

bool ManageIsilon::GetSyncIQJobInfo(_IsilonSyncIQJobInfo& job, const string& policyName,
                                    const eIsilonSyncIQJobState& state) {
  ClearLastError();
  return isilon::Operation::FindSyncIQJob(*this, job, policyName, state);
}

namespace isilon {

bool Operation::FindSyncIQJob(ManageIsilon& session, _IsilonSyncIQJobInfo& job, const std::string& policyName,
                              const eIsilonSyncIQJobState& state) {
  using std::string;
  static const char kFn[] =
      "bool ManageIsilon::GetSyncIQJobInfo(_IsilonSyncIQJobInfo&, const string&, const eIsilonSyncIQJobState&)";
  ManageIsilon& s = session;
  if (policyName.empty()) return s.Fail(kFn, __LINE__, "Internal error", "Policy name is empty");
  if (isilon::HasNul(policyName)) return s.FailInput(kFn, __LINE__);
  s.Log(kFn, __LINE__, 0, "Request to get information for policy name[%s] on file server[%s]", policyName.c_str(),
        s.strFileServer.c_str());

  IsilonJsonSyncIQJobInfo request;
  request.Initialize(s.strFileServer, policyName, state);
  // The job list declares no policy_name: a cluster that refuses it lists every job, and the
  // entries are matched by policy name below.
  static const std::vector<std::string> kUndeclared{"policy_name"};
  Step step{kFn, ManageIsilon::kGet, "Failed to create json request for sync iq job report info."};
  step.undeclaredArgs = &kUndeclared;
  // A failure that the repeat makes good must not stay behind as the last error.
  const string previousCode = s.strLastErrorCode, previousMessage = s.strLastErrorMessage;
  bool reconnected = false;  // one reconnection per lookup, never more
  // The job can be on a later page than the first when the cluster lists many jobs; a job
  // that is there must not look missing (a start would give up on it after its retries).
  isilon::PageWalk walk = isilon::PageWalk::kFailed;
  const bool read = s.FollowResumePages(
      kFn,
      [&](const string& token, string& next) {
        string sentUri, sentBody, response;  // kept for the one repeat after a reconnection
        request.SetResume(token);
        const Outcome outcome = s.RunRequest(
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
            s.Log(kFn, __LINE__, 0, "Failed to send request to file server[%s]. Re-establishing the connection.",
                  s.strFileServer.c_str());
            s.CloseConnection();
            s.OpenConnection();
            s.strLastErrorCode = previousCode;
            s.strLastErrorMessage = previousMessage;
            sent = s.SendRequest(response, ManageIsilon::kGet, sentUri, sentBody, /*resetHeaders=*/true);
            if (!sent) {
              request.ParseError(response);
              request.getError(s.strLastErrorCode, s.strLastErrorMessage);
              isilon::FillReason(s.strLastErrorCode, s.strLastErrorMessage, "Failed to get synciq job info.");
            }
          }
          if (!sent) {
            s.Log(kFn, __LINE__, -1, "Failed to get synciq policy info on filer[%s]. Error[%s]:[%s]",
                  s.strFileServer.c_str(), s.strLastErrorCode.c_str(), s.strLastErrorMessage.c_str());
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
    s.strLastErrorMessage = "No response received from file server.";
    // Not listed (or listed in a page that could not be read): a failure still has a code.
    if (s.strLastErrorCode.empty()) s.strLastErrorCode = "Internal Error";
    s.Log(kFn, __LINE__, -1, "File server[%s], Error[%s].", s.strFileServer.c_str(), s.strLastErrorMessage.c_str());
    return false;
  }
  request.GetJobInfo(job);
  s.Log(kFn, __LINE__, 2, "Found job info for policy name[%s] on file server[%s]. Jobid[%d] ", policyName.c_str(),
        s.strFileServer.c_str(), static_cast<int>(job.nJobId));
  return true;
}

}  // namespace isilon
