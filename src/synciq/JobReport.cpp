// Reading SyncIQ job reports and selecting one by job id or by state.
#include <string>

#include "host/DebugLog.h"
#include "host/FXString.h"
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

IsilonJsonSyncIQJobReport::IsilonJsonSyncIQJobReport() : eState(SYNCIQ_JOB_STATE_NONE), nJobId(0) {}

void IsilonJsonSyncIQJobReport::Initialize(const std::string& fileServer, const std::string& policyName,
                                           const unsigned int& jobId, const eIsilonSyncIQJobState& state) {
  strFileServer = fileServer;
  strPolicyName = policyName;
  nJobId = jobId;
  eState = state;
}

bool IsilonJsonSyncIQJobReport::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  // Encoded, so that a name holding "&" or "=" cannot add parameters to the query.
  uri = "https://" + strFileServer + ":8080/platform/1/sync/reports";
  if (!resume.empty()) {
    // A following page carries its token alone: the token holds the rest of the query.
    uri += "?resume=" + resume;
  } else {
    uri += "?policy_name=" + isilon::EncodeUriPiece(strPolicyName);
    if (eState == SYNCIQ_JOB_STATE_RUNNING) uri += "&state=running";
    if (eState == SYNCIQ_JOB_STATE_FINISHED) uri += "&state=finished";
  }
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSyncIQJobReport::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 OrEmpty(body));
  return true;
}

namespace {

unsigned int Counter(const jsonxx::Object& entry, const char* key) {
  return jsonxx::TruncToU32(isilon::Field<jsonxx::Number>(entry, key));
}

// The first target snapshot that is neither a failover nor the initial one.
std::string ChooseTargetSnapshot(const jsonxx::Array& snapshots) {
  for (unsigned int i = 0; i < snapshots.size(); ++i) {
    if (!snapshots.has<std::string>(i)) continue;
    const std::string& name = snapshots.get<std::string>(i);
    if (name.find("Failover") == std::string::npos && name.find("initial") == std::string::npos) return name;
  }
  return std::string();
}

}  // namespace

bool IsilonJsonSyncIQJobReport::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonSyncIQJobReport::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 2, "Json response :[%s]", OrEmpty(response));
  resume.clear();  // an unreadable page names no next one
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& reports = shape.Records(reply, "reports");
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to parse policy information from json response.");
    return false;
  }
  resume = std::move(token);
  if (!reply.has<jsonxx::Array>("reports")) return false;

  for (unsigned int i = 0; i < reports.size(); ++i) {
    const jsonxx::Object& entry = reports.get<jsonxx::Object>(i);
    _IsilonSyncIQJobReportInfo info;
    info.nJobId = Counter(entry, "job_id");
    info.nBytesTransferred = Counter(entry, "bytes_transferred");
    info.nDirectoriesReplicated = Counter(entry, "directories_replicated");
    info.nDirsDeleted = Counter(entry, "dirs_deleted");
    info.nFilesTransferred = Counter(entry, "files_transferred");
    info.nNewFilesReplicated = Counter(entry, "new_files_replicated");
    info.nDuration = Counter(entry, "duration");
    info.strError = isilon::Field<std::string>(entry, "error");
    info.strState = isilon::Field<std::string>(entry, "state");
    info.eState = isilon::synciq::ReportStateFromText(info.strState);
    info.strTargetSnapshot = ChooseTargetSnapshot(shape.List(entry, "target_snapshots"));
    if (!shape.ok()) {
      debug.DebugLvl(kFn, -1, "Failed to parse policy information from json response.");
      resume.clear();
      return false;
    }

    // The wanted job's report; failing that, a wanted state takes the first report (the
    // cluster has filtered by running or finished already), whatever its job id.
    const bool taken = (nJobId != 0 && info.nJobId == nJobId) || eState != SYNCIQ_JOB_STATE_NONE;
    if (!taken) continue;

    debug.DebugLvl(kFn, 0, "Job Id\t\t\t\t: [%u]", info.nJobId);
    debug.DebugLvl(kFn, 0, "State\t\t\t\t: [%s]", info.strState.c_str());
    debug.DebugLvl(kFn, 0, "Bytes Transferred\t: [%u]", info.nBytesTransferred);
    debug.DebugLvl(kFn, 2, "State\t\t\t: [%u]", static_cast<unsigned int>(info.eState));
    debug.DebugLvl(kFn, 2, "Dirs replicated\t: [%u]", info.nDirectoriesReplicated);
    debug.DebugLvl(kFn, 2, "Dirs deleted\t\t: [%u]", info.nDirsDeleted);
    debug.DebugLvl(kFn, 2, "Files Transferred: [%u]", info.nFilesTransferred);
    debug.DebugLvl(kFn, 2, "New files replicated: [%u]", info.nNewFilesReplicated);
    debug.DebugLvl(kFn, 2, "Duration\t\t\t: [%u]", info.nDuration);
    debug.DebugLvl(kFn, 2, "Error\t\t\t: [%s]", info.strError.c_str());
    debug.DebugLvl(kFn, 0, "Target snapshot\t\t: [%s]", OrEmpty(info.strTargetSnapshot));
    report = info;
    return true;
  }
  return false;
}

bool IsilonJsonSyncIQJobReport::GetJobReportInfo(_IsilonSyncIQJobReportInfo& out) {
  out = report;
  return true;
}

void IsilonJsonSyncIQJobReport::GetResume(std::string& out) { out = resume; }

void IsilonJsonSyncIQJobReport::SetResume(const std::string& token) { resume = token; }

bool ManageIsilon::GetSyncIQJobReport(_IsilonSyncIQJobReportInfo& report, const unsigned int& jobId,
                                      const string& policyName, const eIsilonSyncIQJobState& state) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetSyncIQJobReport(_IsilonSyncIQJobReportInfo&, const unsigned int&, const string&, "
      "const eIsilonSyncIQJobState&)";
  if (policyName.empty()) return Fail(kFn, __LINE__, "Internal error", "Policy name is empty");
  if (isilon::HasNul(policyName)) return FailInput(kFn, __LINE__);
  Log(kFn, __LINE__, 0, "Request to get report information for jobid[%lu], policy name[%s] on file server[%s]",
      static_cast<unsigned long>(jobId), policyName.c_str(), strFileServer.c_str());

  IsilonJsonSyncIQJobReport request;
  request.Initialize(strFileServer, policyName, jobId, state);
  const RequestStep step{kFn, kGet, "Failed to create json request for sync iq job report info."};
  // The wanted report can be on a later page: one that exists must not come back as an
  // empty record reported as success.
  isilon::PageWalk walk = isilon::PageWalk::kFailed;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to get synciq policy info on filer[%s]";
  const bool read = FollowResumePages(
      kFn,
      [&](const string& token, string& next) {
        string response;
        request.SetResume(token);
        const isilon::Sent sent = isilon::Operation::Send(
            *this, step, policy, request,
            [&request](string& uri, string& body) { return request.BuildRequest(uri, body); }, response);
        if (!sent.ok()) return isilon::PageStep::kFailed;
        // A page without the report asked for reads as not selected, not as a failure.
        const bool selected = request.ParseResponse(response);
        request.GetResume(next);
        return selected ? isilon::PageStep::kFound : isilon::PageStep::kNext;
      },
      &walk);
  if (!read) return false;
  if (walk != isilon::PageWalk::kFound) {
    return Fail(kFn, __LINE__, "Internal Error",
                FXString::Format("No response received from file server for jobid:[%d].", static_cast<int>(jobId)));
  }
  request.GetJobReportInfo(report);
  Log(kFn, __LINE__, 2, "Found info for jobid[%d] policy name[%s] on file server[%s]", static_cast<int>(jobId),
      policyName.c_str(), strFileServer.c_str());
  return true;
}
