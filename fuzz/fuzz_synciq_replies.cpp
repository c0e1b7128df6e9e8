// Feeds arbitrary bytes to every SyncIQ reply reader: policy pages, job lists, job reports and
// the error replies of each request.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);

  IsilonJsonSyncIQPolicy policies;
  policies.Initialize("127.0.0.60", "");
  policies.ParseResponse(reply);
  std::vector<_IsilonSyncIQPolicyInfo> list;
  policies.GetPolicyInfo(list);
  std::string uri, body, resume;
  policies.GetResume(resume);
  policies.BuildRequest(uri, body);
  policies.ParseError(reply);

  IsilonJsonSyncIQJobInfo jobs;
  jobs.Initialize("127.0.0.60", "demo-policy", SYNCIQ_JOB_STATE_NONE);
  jobs.ParseResponse(reply);
  _IsilonSyncIQJobInfo job;
  jobs.GetJobInfo(job);
  jobs.ParseError(reply);

  IsilonJsonSyncIQJobReport reports;
  reports.Initialize("127.0.0.60", "demo-policy", 7, SYNCIQ_JOB_STATE_FINISHED);
  reports.ParseResponse(reply);
  _IsilonSyncIQJobReportInfo report;
  reports.GetJobReportInfo(report);
  reports.ParseError(reply);

  IsilonJsonSyncIQJob start;
  start.ParseResponse(reply);
  start.ParseError(reply);

  IsilonJsonSyncIQPolicyModify modify;
  modify.ParseResponse(reply);
  modify.ParseError(reply);
  return 0;
}
