// Feeds arbitrary bytes to every SyncIQ reply reader: policy pages, job lists, job reports and
// the error replies of each request. What must hold: one policy per entry of a policy page
// with its texts and flags as sent, nothing after a refused page, and error replies whose
// verdict, first error and list agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);

  const jsonxx::Object object = Read(reply);
  IsilonJsonSyncIQPolicy policies;
  policies.Initialize("127.0.0.60", "");
  std::string uri, body, resume;
  for (int round = 0; round < 2; ++round) {
    const bool ok = policies.ParseResponse(reply);
    std::vector<_IsilonSyncIQPolicyInfo> list;
    policies.GetPolicyInfo(list);
    policies.GetResume(resume);
    Check(ok == Page(object, "policies"));
    if (!ok) {
      Check(list.empty() && resume.empty());
      continue;
    }
    Check(resume == Text(object, "resume"));
    const jsonxx::Array& entries = ArrayOf(object, "policies");
    Check(list.size() == entries.size());
    for (unsigned int i = 0; i < entries.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      Check(list[i].strName == Text(entry, "name"));
      Check(list[i].strId == Text(entry, "id"));
      Check(list[i].strSourceRootPath == Text(entry, "source_root_path"));
      Check(list[i].strTargetHost == Text(entry, "target_host"));
      Check(list[i].strTargetPath == Text(entry, "target_path"));
      Check(list[i].bEnabled == Flag(entry, "enabled"));
      Check(list[i].bHasSyncState == Flag(entry, "has_sync_state"));
    }
  }
  policies.BuildRequest(uri, body);
  CheckErrorReply(policies, reply);

  IsilonJsonSyncIQJobInfo jobs;
  jobs.Initialize("127.0.0.60", "demo-policy", SYNCIQ_JOB_STATE_NONE);
  jobs.ParseResponse(reply);
  _IsilonSyncIQJobInfo job;
  jobs.GetJobInfo(job);
  CheckErrorReply(jobs, reply);

  IsilonJsonSyncIQJobReport reports;
  reports.Initialize("127.0.0.60", "demo-policy", 7, SYNCIQ_JOB_STATE_FINISHED);
  reports.ParseResponse(reply);
  _IsilonSyncIQJobReportInfo report;
  reports.GetJobReportInfo(report);
  CheckErrorReply(reports, reply);

  IsilonJsonSyncIQJob start;
  start.ParseResponse(reply);
  CheckErrorReply(start, reply);

  IsilonJsonSyncIQPolicyModify modify;
  modify.ParseResponse(reply);
  CheckErrorReply(modify, reply);
  return 0;
}
