// Feeds arbitrary bytes to every snapshot reply reader: snapshot pages, snapshot creation and
// deletion, change-list job creation and state, change-list pages, the ChangelistCreate job
// type (read and set), and the error replies of each. What must hold: one record per entry of
// the reply with texts and small numbers as sent, the fields never read from replies left at
// zero, the caller's job record untouched by a refused reply, and repeatable readings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "isilon/IsilonJSON.h"

using namespace fuzzcheck;

namespace {

void CheckSnapshots(std::string reply, const jsonxx::Object& object) {
  IsilonJsonSnapshotList list;
  list.Initialize("127.0.0.90", "/ifs/data", "", 0, "", 100);
  for (int round = 0; round < 2; ++round) {
    const bool ok = list.ParseResponse(reply);
    std::vector<_IsilonSnapInfo> snaps;
    std::string resume;
    Check(list.GetSnapsInfo(snaps));
    list.GetResume(resume);
    Check(ok == Page(object, "snapshots"));
    if (!ok) {
      Check(snaps.empty() && resume.empty());
      continue;
    }
    Check(resume == Text(object, "resume"));
    const jsonxx::Array& entries = ArrayOf(object, "snapshots");
    Check(snaps.size() == entries.size());
    for (unsigned int i = 0; i < entries.size(); ++i) {
      const jsonxx::Object& entry = Entry(entries, i);
      const _IsilonSnapInfo& snap = snaps[i];
      Check(snap.strName == Text(entry, "name"));
      Check(snap.strPath == Text(entry, "path"));
      Check(snap.strState == Text(entry, "state"));
      Check(snap.bHasLocks == Flag(entry, "has_locks"));
      CheckInteger(static_cast<uint32_t>(snap.nId), entry, "id");
      CheckInteger(snap.nSize, entry, "size");
      CheckInteger(snap.nCreated, entry, "created");
      Check(snap.nExpires == 0 && snap.nAliasTargetId == 0 && snap.strAliasTargetName.empty());
    }
  }
  std::string uri, body;
  list.BuildRequest(uri, body);
  CheckErrorReply(list, reply);
}

void CheckChangeList(std::string reply, const jsonxx::Object& object) {
  IsilonJsonGetChangeList request;
  request.Initialize("127.0.0.90", 1, 2);
  for (int round = 0; round < 2; ++round) {
    const bool ok = request.ParseResponse(reply);
    bool times = true;
    for (const jsonxx::Value& entry : ArrayOf(object, "lins").values()) {
      for (const char* key : {"atime", "ctime", "mtime"}) {
        times = times &&
                (!entry.is<jsonxx::Object>() || AbsentOr(entry.get<jsonxx::Object>(), key, jsonxx::Value::OBJECT_));
      }
    }
    Check(ok == (Page(object, "lins") && times));
    _IsilonChangeListInfo page;
    request.GetChangeList(page);
    if (!ok) continue;
    Check(page.strResume == Text(object, "resume"));
    CheckInteger(static_cast<uint32_t>(page.nTotal), object, "total");
    const jsonxx::Array& lins = ArrayOf(object, "lins");
    // A page without a lins array leaves the items of the page before it.
    if (!object.has<jsonxx::Array>("lins")) continue;
    Check(page.lstItems.size() == lins.size());
    unsigned int i = 0;
    for (const _IsilonChangeListItem& item : page.lstItems) {
      const jsonxx::Object& entry = Entry(lins, i++);
      Check(item.strId == Text(entry, "id"));
      Check(item.strPath == Text(entry, "path"));
      Check(item.strType == Text(entry, "type"));
      CheckInteger(item.nSize, entry, "size");
      CheckInteger(item.nAtime, Member(entry, "atime"), "sec");
      CheckInteger(item.nCtime, Member(entry, "ctime"), "sec");
      CheckInteger(item.nMtime, Member(entry, "mtime"), "sec");
    }
  }
  CheckErrorReply(request, reply);
}

void CheckJobs(std::string reply, const jsonxx::Object& object) {
  IsilonJsonCreateChangeList create;
  create.Initialize("127.0.0.90", 1, 2);
  unsigned long long jobId = 99;
  Check(create.ParseResponse(reply, jobId));
  CheckInteger(jobId, object, "id");
  CheckErrorReply(create, reply);

  IsilonJsonCreateChangeListJobStatus status;
  status.Initialize("127.0.0.90");
  _IsilonChangeListCreateJobInfo info;
  info.nJobId = 99;
  info.strState = "before";
  const bool ok = status.ParseResponse(reply, info);
  Check(ok == (!object.empty() && AbsentOrArrayOf(object, "jobs", jsonxx::Value::OBJECT_)));
  const jsonxx::Array& jobs = ArrayOf(object, "jobs");
  if (!ok) {
    Check(info.nJobId == 99 && info.strState == "before");
  } else if (jobs.empty()) {
    Check(info.nJobId == 0 && info.strState.empty());
  } else {
    Check(info.strState == Text(Entry(jobs, 0), "state"));
    CheckInteger(info.nJobId, Entry(jobs, 0), "id");
  }
  CheckErrorReply(status, reply);
}

void CheckJobType(std::string reply, const jsonxx::Object& object) {
  IsilonGetChangeListCreateJobInfo get;
  get.Initialize("127.0.0.90");
  _ChangeListCreateJobInfo info;
  info.strPolicy = "before";
  info.nPriority = 77;
  const bool ok = get.ParseResponse(reply, info);
  Check(ok == (!object.empty() && AbsentOrArrayOf(object, "types", jsonxx::Value::OBJECT_)));
  const jsonxx::Array& types = ArrayOf(object, "types");
  if (!ok || types.empty()) {
    Check(info.strPolicy == "before" && info.nPriority == 77 && !info.bEnabled);
  } else {
    const jsonxx::Object& type = Entry(types, 0);
    Check(info.bEnabled == Flag(type, "enabled"));
    Check(info.bAllowMultipleInstances == Flag(type, "allow_multiple_instances"));
    Check(info.strPolicy == Text(type, "policy"));
    CheckInteger(static_cast<uint32_t>(info.nPriority), type, "priority");
  }
  CheckErrorReply(get, reply);

  IsilonSetChangeListCreateJobInfo set;
  set.Initialize("127.0.0.90");
  Check(set.ParseResponse(reply));
  CheckErrorReply(set, reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  const jsonxx::Object object = Read(reply);

  CheckSnapshots(reply, object);
  CheckChangeList(reply, object);
  CheckJobs(reply, object);
  CheckJobType(reply, object);

  IsilonJsonSnapshotCreate create;
  create.Initialize("127.0.0.90", "/ifs/data", "s1");
  Check(create.ParseResponse(reply));
  CheckErrorReply(create, reply);

  IsilonJsonSnapshotDelete remove;
  remove.Initialize("127.0.0.90", "/ifs/data", "s1", 1);
  Check(remove.ParseResponse(reply));
  CheckErrorReply(remove, reply);
  return 0;
}
