// Starting the job that builds the change list between two snapshots, and waiting for it.
#include <ctime>
#include <sstream>
#include <string>

#include "host/Sleep.h"
#include "host/ZemError.h"
#include "isilon/ManageIsilon.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"
#include "src/config/Settings.h"
#include "src/session/Cycle.h"
#include "src/snapshot/WriterLog.h"

using isilon::OrEmpty;
using isilon::snapshot::WriterLog;

namespace {
const unsigned long long kNoSnapId = ~0ULL;
// Seconds to wait for a job when the registry gives no positive limit.
const unsigned int kPollIntervalMs = 2000;
}  // namespace

// ---- Start request -------------------------------------------------------------------------

IsilonJsonCreateChangeList::IsilonJsonCreateChangeList() : nOlderSnapId(kNoSnapId), nNewerSnapId(kNoSnapId) {}

void IsilonJsonCreateChangeList::Initialize(const std::string& fileServer, const unsigned long long& olderSnapId,
                                            const unsigned long long& newerSnapId) {
  strFileServer = fileServer;
  nOlderSnapId = olderSnapId;
  nNewerSnapId = newerSnapId;
}

bool IsilonJsonCreateChangeList::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/3/job/jobs";

  jsonxx::Object job;
  job.import("type", jsonxx::Value("ChangelistCreate"));
  job.import("priority", jsonxx::Value(1));
  job.import("policy", jsonxx::Value("High"));
  job.import("allow_dup", jsonxx::Value(true));
  std::ostringstream written;
  written << job;
  body = written.str();

  const std::string params = "\"changelistcreate_params\" : {\"newer_snapid\": " + std::to_string(nNewerSnapId) +
                             ", \"older_snapid\": " + std::to_string(nOlderSnapId) + ", \"retain_repstate\": false}, ";
  body.insert(body.empty() ? 0 : 1, params);

  WriterLog("virtual bool IsilonJsonCreateChangeList::BuildRequest(std::string&, std::string&)", __LINE__, 3,
            "URI : [%s], \n Request Body : [%s]", uri.c_str(), OrEmpty(body));
  return true;
}

bool IsilonJsonCreateChangeList::ParseResponse(std::string& response, unsigned long long& jobId) {
  WriterLog("virtual bool IsilonJsonCreateChangeList::ParseResponse(std::string&, unsigned long long&)", __LINE__, 3,
            "Json response :[%s]", OrEmpty(response));
  jobId = 0;
  jsonxx::Object reply;
  // A reply that is not whole names no job: the id stays 0.
  if (isilon::ReadReply(response, reply)) jobId = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(reply, "id"));
  return true;
}

// ---- Status request ------------------------------------------------------------------------

IsilonJsonCreateChangeListJobStatus::IsilonJsonCreateChangeListJobStatus() {}

void IsilonJsonCreateChangeListJobStatus::Initialize(const std::string& fileServer) { strFileServer = fileServer; }

bool IsilonJsonCreateChangeListJobStatus::BuildRequest(unsigned long long& jobId, std::string& uri) {
  uri.clear();
  uri = "https://" + strFileServer + ":8080/platform/3/job/jobs/" + std::to_string(jobId);
  WriterLog("virtual bool IsilonJsonCreateChangeListJobStatus::BuildRequest(unsigned long long&, std::string&)",
            __LINE__, 3, "URI : [%s]", uri.c_str());
  return true;
}

bool IsilonJsonCreateChangeListJobStatus::ParseResponse(const std::string& response,
                                                        _IsilonChangeListCreateJobInfo& info) {
  static const char kFn[] =
      "virtual bool IsilonJsonCreateChangeListJobStatus::ParseResponse(const string&, "
      "_IsilonChangeListCreateJobInfo&)";
  WriterLog(kFn, __LINE__, 3, "Json response :[%s]", OrEmpty(response));
  jsonxx::Object reply;
  isilon::ReplyShape shape;
  const bool read = isilon::ReadReply(response, reply);
  const jsonxx::Array& jobs = shape.Records(reply, "jobs");
  if (!read || !shape.ok()) {
    WriterLog(kFn, __LINE__, -1, "Failed to fetch ChangeListCreate job info from json response[%s].", response.c_str());
    return false;
  }
  info.clear();
  if (!jobs.empty()) {
    const jsonxx::Object& job = jobs.get<jsonxx::Object>(0);
    info.nJobId = jsonxx::TruncToU64(isilon::Field<jsonxx::Number>(job, "id"));
    info.strState = isilon::Field<std::string>(job, "state");
    WriterLog(kFn, __LINE__, 3, "Job id[%llu], state[%s]", info.nJobId, info.strState.c_str());
  }
  return true;
}

// ---- Operation -----------------------------------------------------------------------------

namespace {
// Still going: exactly "running", or any "paused_..." state.
bool JobStillGoing(const std::string& state) { return state == "running" || state.compare(0, 7, "paused_") == 0; }
}  // namespace

CZemError ManageIsilon::CreateSnapshotChangeList(unsigned long long& olderSnapId, unsigned long long& newerSnapId,
                                                 bool wait) {
  ClearLastError();
  static const char kFn[] =
      "CZemError ManageIsilon::CreateSnapshotChangeList(unsigned long long&, unsigned long long&, bool)";
  const auto here = [](int line) { return FXCodeLocation("ManageIsilon.cpp", kFn, line); };
  if (!OpenConnection()) {
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1, "Unable to open connection to the file server [%s]",
                                   strFileServer.c_str());
  }

  IsilonJsonCreateChangeList request;
  const RequestStep step{kFn, kPost, "Failed to create json request to create a change list.",
                         isilon::FailureLine::kSkip};
  string response;
  const RequestOutcome outcome = RunRequest(
      step, request,
      [&](string& uri, string& body) {
        request.Initialize(strFileServer, olderSnapId, newerSnapId);
        return request.BuildRequest(uri, body);
      },
      response);
  unsigned long long jobId = 0;
  bool started = outcome.Succeeded() && request.ParseResponse(response, jobId) && jobId != 0;
  if (!started) {
    // A rejected request has read its error reply already; one that was never sent keeps the
    // session's error.
    if (outcome.Succeeded()) {
      request.ParseError(response);
      request.getError(strLastErrorCode, strLastErrorMessage);
    }
    isilon::FillReason(strLastErrorCode, strLastErrorMessage, "Failed to create a change list.");
    return FXErrorUtil::ErrorErrNo(here(__LINE__), -1,
                                   "Unable to send request to create a new change list between snapshots [%llu] and "
                                   "[%llu]. Error Code [%s], Error Message [%s]",
                                   olderSnapId, newerSnapId, strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  }
  Log(kFn, __LINE__, 0, "Successfully created snapshot change list job[%llu] between snapshots [%llu] and [%llu].",
      jobId, olderSnapId, newerSnapId);
  if (!wait) return CZemError();

  Log(kFn, __LINE__, 2, "Wait for ChangeList job to complete");
  const int limit = CurrentSettings().changeListWaitSeconds;
  LogNoContext(kFn, __LINE__, 0, "Wait for [%d]seconds for CreateChangeList job to complete before timeout", limit);

  const time_t start = std::time(nullptr);
  // The wall clock may be set back during a wait, and a host's sleep may return early; the
  // time slept is counted as well, so the limit always ends the wait.
  long long slept = 0;
  const RequestStep pollStep{kFn, kGet, "Failed to create json request for the change list job status.",
                             isilon::FailureLine::kSkip};
  for (;;) {
    ZEMSLEEP(kPollIntervalMs, __FILE__, __LINE__);
    slept += kPollIntervalMs / 1000;

    IsilonJsonCreateChangeListJobStatus status;
    _IsilonChangeListCreateJobInfo info;
    string reply;
    const RequestOutcome polled = RunRequest(
        pollStep, status,
        [&](string& uri, string& body) {
          body.clear();
          status.Initialize(strFileServer);
          return status.BuildRequest(jobId, uri);
        },
        reply);
    if (!polled.Succeeded() || !status.ParseResponse(reply, info)) {
      if (polled.Succeeded()) {
        status.ParseError(reply);
        status.getError(strLastErrorCode, strLastErrorMessage);
      }
      isilon::FillReason(strLastErrorCode, strLastErrorMessage, "Failed to read the change list job's status.");
      return FXErrorUtil::ErrorErrNo(here(__LINE__), 774,
                                     "Unable to get ChangeLisrCreate job[%llu] status. Error Code [%s], Error "
                                     "Message [%s]",
                                     jobId, strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    }
    if (JobStillGoing(info.strState)) {
      const long long wall = static_cast<long long>(std::time(nullptr) - start);
      const long long elapsed = wall > slept ? wall : slept;
      if (elapsed >= limit) {
        return FXErrorUtil::ErrorErrNo(here(__LINE__), 774,
                                       "ChangeListCreate job[%llu] status reported[%s]. ChangeListCreate job could "
                                       "not complete in [%d]seconds, return failure",
                                       jobId, info.strState.c_str(), limit);
      }
      if (CurrentWaitObserver()) {
        WaitProgress progress;
        progress.jobId = jobId;
        progress.state = info.strState;
        progress.secondsWaited = elapsed;
        if (!CurrentWaitObserver()(progress)) {
          SetLastError("Internal Error", "Wait cancelled by the caller.");
          return FXErrorUtil::ErrorErrNo(
              here(__LINE__), 774, "ChangeListCreate job[%llu] status reported[%s]. Wait cancelled by the caller.",
              jobId, info.strState.c_str());
        }
      }
      continue;
    }
    if (info.strState == "succeeded") return CZemError();
    return FXErrorUtil::ErrorErrNo(here(__LINE__), 774,
                                   "ChangeListCreate job[%llu] status reported[%s], return failure", jobId,
                                   info.strState.c_str());
  }
}
