// Changing properties of a SyncIQ policy.
#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/common/JsonText.h"
#include "src/common/LogText.h"
#include "src/common/Operation.h"

using isilon::JsonEscape;
using isilon::OrEmpty;

namespace {

struct PropertyForm {
  const char* log;
  const char* prefix;
  const char* suffix;
  bool quoted;  // a JSON string (escaped) rather than a bare literal
};

// Kinds 1 to 6, in the order of eIsilonSyncIQPropertyType.
const PropertyForm kForms[] = {
    {"Modifying action to [%s]", "\"action\" : \"", "\",", true},
    {"Modifying schedule to [%s]", "\"schedule\" : \"", "\",", true},
    {"Modifying target_snapshot_archive to [%s]", "\"target_snapshot_archive\" : ", ",", false},
    {"Modifying target_snapshot_expiration to [%s]", "\"target_snapshot_expiration\" : ", ",", false},
    {"Modifying target_snapshot_pattern to [%s]", "\"target_snapshot_pattern\" : \"", "\",", true},
    {"Modifying enabled to [%s]", "\"enabled\" : ", ",", false},
};

// The bare values must be the one JSON literal of their kind: anything else would break the
// body or add members to it ("true,\"target_path\" : ...").
bool IsBareLiteral(int kind, const std::string& value) {
  if (kind == SYNCIQ_PROPERTY_TARGET_SNAPSHOT_EXPIRATION) {
    size_t i = !value.empty() && value[0] == '-' ? 1 : 0;
    if (i == value.size() || value.size() - i > 10) return false;
    if (value[i] == '0' && value.size() - i > 1) return false;
    for (; i < value.size(); ++i) {
      if (value[i] < '0' || value[i] > '9') return false;
    }
    return true;
  }
  return value == "true" || value == "false";
}

}  // namespace

IsilonJsonSyncIQPolicyModify::IsilonJsonSyncIQPolicyModify() {}

void IsilonJsonSyncIQPolicyModify::Initialize(const std::string& fileServer, const std::string& policyId,
                                              std::vector<_IsilonSyncIQProperty> properties) {
  strFileServer = fileServer;
  strPolicyId = policyId;
  vProperties = std::move(properties);
}

bool IsilonJsonSyncIQPolicyModify::BuildRequest(std::string& uri, std::string& body) {
  static const char kFn[] = "IsilonJsonSyncIQPolicyModify::BuildRequest";
  EvDebug debug(nullptr);
  uri.clear();
  body.clear();
  // The id is encoded so that it can only name one policy, never add a path or a query.
  uri = "https://" + strFileServer + ":8080/platform/1/sync/policies/" + isilon::EncodeUriPiece(strPolicyId);
  body = "{";
  for (const _IsilonSyncIQProperty& property : vProperties) {
    const int kind = static_cast<int>(property.eType);
    if (kind < SYNCIQ_PROPERTY_ACTION || kind > SYNCIQ_PROPERTY_ENABLED) {
      debug.DebugLvl(kFn, -1, "Unsupported property type[%d], value[%s]", kind, property.strValue.c_str());
      return false;
    }
    const PropertyForm& form = kForms[kind - 1];
    if (!form.quoted && !IsBareLiteral(kind, property.strValue)) {
      debug.DebugLvl(kFn, -1, "Invalid value[%s] for property type[%d]", property.strValue.c_str(), kind);
      return false;
    }
    debug.DebugLvl(kFn, 2, form.log, property.strValue.c_str());
    // String values are escaped so that a quote in them cannot end the string early.
    body += form.prefix;
    body += form.quoted ? JsonEscape(property.strValue) : property.strValue;
    body += form.suffix;
  }
  if (!body.empty() && body.back() == ',') body.pop_back();
  body += "}";
  debug.DebugLvl(kFn, 0, "URI : [%s], \n Request Body : [%s]", uri.c_str(), OrEmpty(body));
  return true;
}

bool ManageIsilon::ModifySyncIQPolicy(const string& policyId, vector<_IsilonSyncIQProperty> properties) {
  ClearLastError();
  static const char kFn[] = "bool ManageIsilon::ModifySyncIQPolicy(const string&, std::vector<_IsilonSyncIQProperty>)";
  if (policyId.empty()) return Fail(kFn, __LINE__, "Invalid arguments", "Policy Id is empty");
  if (!isilon::IsSingleSegment(policyId)) return FailInput(kFn, __LINE__);
  for (const _IsilonSyncIQProperty& property : properties) {
    if (isilon::HasNul(property.strValue)) return FailInput(kFn, __LINE__);
  }
  if (properties.empty()) return Fail(kFn, __LINE__, "Invalid arguments", "No properties to be modified");
  Log(kFn, __LINE__, 0, "Request to modify policy id[%s] on file server[%s]", policyId.c_str(), strFileServer.c_str());

  IsilonJsonSyncIQPolicyModify request;
  request.Initialize(strFileServer, policyId, std::move(properties));
  const RequestStep step{kFn, kPut, "Failed to create json request for sync iq policy modificaiton request."};
  string response;
  isilon::OperationPolicy policy;
  policy.refused = "Failed to modify synciq policy info on filer[%s]";
  const isilon::Sent sent = isilon::Operation::Send(
      *this, step, policy, request, [&request](string& uri, string& body) { return request.BuildRequest(uri, body); },
      response);
  if (!sent.ok()) return sent.result();
  request.IsilonJsonBase::ParseResponse(response);
  Log(kFn, __LINE__, 0, "Successfully modified policy id[%s] on file server[%s]. ", policyId.c_str(),
      strFileServer.c_str());
  return true;
}
