// Listing the SyncIQ policies and selecting them by source path or by name.
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

using isilon::OrEmpty;

namespace {
const char* TrueFalse(bool value) { return value ? "true" : "false"; }
}  // namespace

IsilonJsonSyncIQPolicy::IsilonJsonSyncIQPolicy() {}

void IsilonJsonSyncIQPolicy::Initialize(const std::string& fileServer, const std::string& policyName) {
  strFileServer = fileServer;
  strPolicyName = policyName;
}

bool IsilonJsonSyncIQPolicy::BuildRequest(std::string& uri, std::string& body) {
  uri.clear();
  body.clear();
  uri = "https://" + strFileServer + ":8080/platform/1/sync/policies";
  // The token is the cluster's own opaque text and goes back as received.
  if (!resume.empty()) uri += "?resume=" + resume;
  EvDebug debug(nullptr);
  debug.DebugLvl("IsilonJsonSyncIQPolicy::BuildRequest", 2, "URI : [%s], \n Request Body : [%s]", uri.c_str(),
                 OrEmpty(body));
  return true;
}

bool IsilonJsonSyncIQPolicy::ParseResponse(std::string& response) {
  static const char kFn[] = "IsilonJsonSyncIQPolicy::ParseResponse";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 2, "Json response :[%s]", OrEmpty(response));

  jsonxx::Object reply;
  isilon::ReplyShape shape;
  vPolicies.clear();
  const bool read = isilon::ReadReply(response, reply);
  std::string token = shape.Token(reply, "resume");
  const jsonxx::Array& list = shape.Records(reply, "policies");
  if (!read || !shape.ok()) {
    debug.DebugLvl(kFn, -1, "Failed to parse policy information from json response.");
    return false;
  }
  resume = std::move(token);
  for (unsigned int i = 0; i < list.size(); ++i) {
    const jsonxx::Object& entry = list.get<jsonxx::Object>(i);
    _IsilonSyncIQPolicyInfo info;
    info.strName = isilon::Field<std::string>(entry, "name");
    info.strDescription = isilon::Field<std::string>(entry, "description");
    info.bCheckIntegrity = isilon::Field<bool>(entry, "check_integrity");
    info.bConflicted = isilon::Field<bool>(entry, "conflicted");
    info.bEnabled = isilon::Field<bool>(entry, "enabled");
    info.bExpectedDataloss = isilon::Field<bool>(entry, "expected_dataloss");
    info.bHasSyncState = isilon::Field<bool>(entry, "has_sync_state");
    info.strSchedule = isilon::Field<std::string>(entry, "schedule");
    info.strSourceRootPath = isilon::Field<std::string>(entry, "source_root_path");
    info.strTargetHost = isilon::Field<std::string>(entry, "target_host");
    info.strTargetPath = isilon::Field<std::string>(entry, "target_path");
    info.strAction = isilon::Field<std::string>(entry, "action");
    info.bTargetSnapshotArchive = isilon::Field<bool>(entry, "target_snapshot_archive");
    info.nTargetSnapshotExpiration =
        jsonxx::TruncToI32(isilon::Field<long double>(entry, "target_snapshot_expiration"));
    info.strTargetSnapshotPattern = isilon::Field<std::string>(entry, "target_snapshot_pattern");
    info.strId = isilon::Field<std::string>(entry, "id");

    debug.DebugLvl(kFn, 3, "Action\t\t\t\t: [%s]", info.strAction.c_str());
    debug.DebugLvl(kFn, 3, "Policy Name\t\t\t: [%s]", info.strName.c_str());
    debug.DebugLvl(kFn, 3, "Policy Id\t\t\t: [%s]", info.strId.c_str());
    debug.DebugLvl(kFn, 3, "Description\t\t\t: [%s]", info.strDescription.c_str());
    debug.DebugLvl(kFn, 3, "Check integrity\t\t: [%s]", TrueFalse(info.bCheckIntegrity));
    debug.DebugLvl(kFn, 3, "Conflicted\t\t\t: [%s]", TrueFalse(info.bConflicted));
    debug.DebugLvl(kFn, 3, "Enabled\t\t\t\t: [%s]", TrueFalse(info.bEnabled));
    debug.DebugLvl(kFn, 3, "Expected data loss\t: [%s]", TrueFalse(info.bExpectedDataloss));
    debug.DebugLvl(kFn, 3, "Has sync state\t\t: [%s]", TrueFalse(info.bHasSyncState));
    debug.DebugLvl(kFn, 3, "Schedule\t\t\t: [%s]", info.strSchedule.c_str());
    debug.DebugLvl(kFn, 3, "Source Root Path\t: [%s]", info.strSourceRootPath.c_str());
    debug.DebugLvl(kFn, 3, "Target Host\t\t\t: [%s]", info.strTargetHost.c_str());
    debug.DebugLvl(kFn, 3, "Target Path\t\t\t: [%s]", info.strTargetPath.c_str());
    debug.DebugLvl(kFn, 3, "Target Snap Archive\t: [%s]", TrueFalse(info.bTargetSnapshotArchive));
    debug.DebugLvl(kFn, 3, "Target Snap\tExpiration : [%d]", info.nTargetSnapshotExpiration);
    debug.DebugLvl(kFn, 3, "Target Snap Naming Pattern : [%s]", info.strTargetSnapshotPattern.c_str());
    vPolicies.push_back(info);
  }
  debug.DebugLvl(kFn, 0, "Succesfully returned [%d] items.", static_cast<int>(vPolicies.size()));
  return true;
}

bool IsilonJsonSyncIQPolicy::GetPolicyInfo(std::vector<_IsilonSyncIQPolicyInfo>& out) {
  out = vPolicies;
  return true;
}

void IsilonJsonSyncIQPolicy::GetResume(std::string& out) { out = resume; }

void IsilonJsonSyncIQPolicy::SetResume(const std::string& token) { resume = token; }

bool ManageIsilon::ListSyncIQPolicies(const char* function,
                                      const std::function<bool(const _IsilonSyncIQPolicyInfo&)>& keep,
                                      vector<_IsilonSyncIQPolicyInfo>& policies) {
  policies.clear();
  if (!OpenConnection()) return LogFailure(function, __LINE__);
  IsilonJsonSyncIQPolicy request;
  request.Initialize(strFileServer, "");
  isilon::OperationPolicy policy;
  policy.refused = "Failed to get synciq policy info on filer[%s]";
  vector<_IsilonSyncIQPolicyInfo> page;
  const bool listed = isilon::Operation::ReadPages(
      *this, RequestStep{function, kGet, "Failed to create json request for sync iq policy info."}, policy, request,
      [&request](const string& token) { request.SetResume(token); },
      [&](IsilonJsonSyncIQPolicy& read, isilon::PageStep&) {
        if (!read.GetPolicyInfo(page)) return false;
        for (_IsilonSyncIQPolicyInfo& info : page) {
          if (keep(info)) policies.push_back(std::move(info));
        }
        return true;
      });
  // A page that fails fails the list: the pages before it are not handed out as the whole.
  if (!listed) policies.clear();
  return listed;
}

bool ManageIsilon::GetSyncIQPolicy(vector<_IsilonSyncIQPolicyInfo>& policies, const string& path,
                                   const string& policyName) {
  ClearLastError();
  static const char kFn[] =
      "bool ManageIsilon::GetSyncIQPolicy(std::vector<_IsilonSyncIQPolicyInfo>&, const string&, const string&)";
  Log(kFn, __LINE__, 0, "Request to get sync iq policy for path[%s], policy name[%s] on file server[%s]", OrEmpty(path),
      OrEmpty(policyName), strFileServer.c_str());
  if (isilon::AnyHasNul(path, policyName)) return FailInput(kFn, __LINE__);
  const auto matches = [&](const _IsilonSyncIQPolicyInfo& policy) {
    return path.empty() ? policy.strName == policyName : policy.strSourceRootPath == path;
  };
  if (!ListSyncIQPolicies(kFn, matches, policies)) return false;
  if (policies.empty()) return Fail(kFn, __LINE__, "Internal Error", "No policies found for path:[" + path + "]");
  Log(kFn, __LINE__, 2, "Found[%d] sync iq policy for path[%s] on file server[%s]", static_cast<int>(policies.size()),
      OrEmpty(path), strFileServer.c_str());
  return true;
}

bool ManageIsilon::GetAllSyncIQPolicies(vector<_IsilonSyncIQPolicyInfo>& policies) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::GetAllSyncIQPolicies(std::vector<_IsilonSyncIQPolicyInfo>&)";
  Log(kFn, __LINE__, 2, "Request to list every sync iq policy on file server[%s]", strFileServer.c_str());
  return ListSyncIQPolicies(
      kFn, [](const _IsilonSyncIQPolicyInfo&) { return true; }, policies);
}
