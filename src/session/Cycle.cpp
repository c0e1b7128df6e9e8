#include "src/session/Cycle.h"

#include <algorithm>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/ReplyShape.h"
#include "src/config/Settings.h"
#include "src/transport/TlsSessions.h"
#include "src/transport/TransportConfig.h"

namespace isilon {

namespace {

const char kOpenFn[] = "bool ManageIsilon::OpenConnection()";

// The URI, the body and this request's own header lines as the transport can send them
// whole: no byte that would end or break them early.
bool Sendable(const std::string& uri, const std::string& body, const std::vector<std::string>* headers) {
  if (!IsSendableUri(uri) || HasNul(body)) return false;
  if (headers == nullptr) return true;
  for (const std::string& line : *headers) {
    if (!IsHeaderLine(line)) return false;
  }
  return true;
}

// The position of argument `name` in the query of `uri` ("name=..." or a bare "name"), or npos.
size_t ArgumentAt(const std::string& uri, const std::string& name) {
  const size_t query = uri.find('?');
  if (query == std::string::npos) return std::string::npos;
  for (size_t at = query + 1; at <= uri.size();) {
    const size_t end = std::min(uri.find('&', at), uri.size());
    const size_t nameEnd = std::min(uri.find('=', at), end);
    if (uri.compare(at, nameEnd - at, name) == 0 && nameEnd - at == name.size()) return at;
    at = end + 1;
  }
  return std::string::npos;
}

// The first of `undeclared` that `uri` carries and that the cluster's 400 reply refuses by name.
std::string RefusedArgument(const std::string& response, const std::vector<std::string>& undeclared,
                            const std::string& uri) {
  jsonxx::Object reply;
  if (!ReadReply(response, reply)) return std::string();
  // An absent or other-kind member reads as empty: no error, or no field, names no argument.
  const jsonxx::Array& errors = isilon::Field<jsonxx::Array>(reply, "errors");
  for (unsigned int i = 0; i < errors.size(); ++i) {
    if (!errors.has<jsonxx::Object>(i)) continue;
    const jsonxx::Object& entry = errors.get<jsonxx::Object>(i);
    if (isilon::Field<std::string>(entry, "code") != "AEC_BAD_REQUEST") continue;
    const std::string& field = isilon::Field<std::string>(entry, "field");
    for (const std::string& name : undeclared) {
      if (field == name && ArgumentAt(uri, name) != std::string::npos) return name;
    }
  }
  return std::string();
}

// A connection refused or cut off on the session's node: the session moves to another node.
bool MovesToAnotherNode(const RequestOutcome& outcome, const RequestStep& step) {
  if (outcome.Succeeded() || outcome.NotMade()) return false;
  return outcome.transport == TransportResult::kNoConnection ||
         (outcome.transport == TransportResult::kNoReply && step.method == HTTP_REQ_GET);
}

RequestOutcome NotMade(RequestOutcome outcome) {
  outcome.fate = RequestFate::kNotMade;
  return outcome;
}

}  // namespace

std::string WithoutArgument(std::string uri, const std::string& name) {
  for (size_t at = ArgumentAt(uri, name); at != std::string::npos; at = ArgumentAt(uri, name)) {
    const size_t end = std::min(uri.find('&', at), uri.size());
    // The "&" that follows goes with it; the last one takes the "&" (or the "?") before it.
    if (end < uri.size()) {
      uri.erase(at, end + 1 - at);
    } else {
      uri.erase(at - 1);
    }
  }
  return uri;
}

RequestOutcome Cycle::Open(bool avoidCurrent) {
  RequestOutcome outcome;
  if (connected_) {
    outcome.fate = RequestFate::kSucceeded;
    return outcome;
  }
  const Settings& settings = settings_();
  TransportConfig config = TransportConfig::FromSettings(settings);
  if (!tlsSessions_) tlsSessions_ = TlsSessionCache::Make();
  config.tlsSessions = tlsSessions_;
  outcome = login_.Prepare(config);
  if (!outcome.Succeeded()) return outcome;
  login_.Pin(nodes_.Choose(log_.ServerName(), settings.nodeAddresses, avoidCurrent), /*announce=*/true);

  std::string response;
  outcome = login_.Post(response);
  // A node that refuses connections is passed over: any node of the cluster can log in. This
  // is the only place the session moves between nodes.
  for (size_t tried = 1; outcome.transport == TransportResult::kNoConnection && tried < nodes_.Count(); ++tried) {
    const std::string failed = nodes_.Current();
    if (!nodes_.Next() || !login_.Pin(nodes_.Current(), /*announce=*/false)) break;
    log_(kOpenFn, __LINE__, 0, "Node[%s] of file server[%s] did not answer; trying node[%s].", failed.c_str(),
         log_.Server(), nodes_.Current().c_str());
    ++counters_.nodeSwitches;
    outcome = login_.Post(response);
  }
  const bool sent = outcome.Succeeded();
  const TransportResult transport = outcome.transport;
  outcome = login_.Finish(std::move(outcome), response);
  if (!sent) unreachable_ = transport == TransportResult::kNoConnection;
  return outcome;
}

RequestOutcome Cycle::Run(const RequestStep& step, IsilonJsonBase& request,
                          const std::function<bool(std::string& uri, std::string& body)>& build,
                          std::string& response) {
  const RequestOutcome opened = Open();
  if (!opened.Succeeded()) return NotMade(opened);
  std::string uri, body;
  if (!build(uri, body)) return RequestOutcome::Refused("Internal Error", step.buildFailure);
  // Whatever built the URI, a dot segment in its path would be resolved away by the transport
  // and name another resource, and a NUL would cut a URI, body or header line short: nothing
  // such is sent.
  if (HasDotSegment(uri) || !Sendable(uri, body, step.extraHeaders)) {
    return RequestOutcome::Refused("Internal error", "Invalid input parameters");
  }

  RequestOutcome outcome = SendAndRecover(step, uri, body, response);
  // The request as asked goes first; only a cluster that refuses an undeclared argument by name
  // gets it again without that argument (each argument is dropped at most once).
  std::vector<std::string> dropped;
  while (step.undeclaredArgs != nullptr && outcome.fate == RequestFate::kErrorStatus && outcome.httpStatus == 400) {
    const std::string refused = RefusedArgument(response, *step.undeclaredArgs, uri);
    if (refused.empty()) break;
    log_(step.function, __LINE__, 0,
         "File server[%s] refused the query argument [%s]; sending the request again without it.", log_.Server(),
         refused.c_str());
    uri = WithoutArgument(uri, refused);
    dropped.push_back(refused);
    ++counters_.argumentFallbacks;
    response.clear();
    outcome = SendAndRecover(step, uri, body, response);
  }
  outcome.dropped = std::move(dropped);
  if (outcome.NotMade()) return outcome;

  // The next request carries the session's headers only.
  if (step.extraHeaders != nullptr) sender_.RestoreHeaders(step);
  if (outcome.Succeeded() && step.successBody == SuccessBody::kEmpty && !response.empty()) {
    outcome.fate = RequestFate::kErrorStatus;  // a delete answered with text: read it as the error
  }
  if (!outcome.Succeeded()) {
    request.ParseError(response);
    request.getError(outcome.code, outcome.message);
    // An error reply may name no code or no message: a failure still says what came back.
    FillReason(outcome.code, outcome.message, ("HTTP status " + std::to_string(outcome.httpStatus)).c_str());
    outcome.done = step.codeMeaningDone != nullptr && outcome.code == step.codeMeaningDone;
    if (outcome.done && outcome.settled) {
      log_(step.function, __LINE__, 2, "The change sent again found its goal reached on file server[%s] (Error[%s]).",
           log_.Server(), outcome.code.c_str());
    }
  }
  return outcome;
}

RequestOutcome Cycle::SendAndRecover(const RequestStep& step, const std::string& uri, const std::string& body,
                                     std::string& response) {
  RequestOutcome sent = sender_.Send(step, uri, body, response);
  // With one node there is no other to move to: the sender's retries were all it may do, and a
  // refused connection there means no node of the cluster is left.
  if (nodes_.Count() <= 1) {
    if (!sent.Succeeded() && !sent.NotMade() && sent.transport == TransportResult::kNoConnection) unreachable_ = true;
  } else if (MovesToAnotherNode(sent, step)) {
    // The session's node went away before the request reached it: log in on another node and
    // send it there; a GET that was cut off may be repeated too.
    log_(step.function, __LINE__, 0, "Node[%s] of file server[%s] did not answer; opening the session on another node.",
         nodes_.Current().c_str(), log_.Server());
    ++counters_.nodeSwitches;
    return ReopenAndRepeat(step, uri, body, response, /*anotherNode=*/true);
  }
  if (sent.fate == RequestFate::kErrorStatus && sent.httpStatus == 401) {
    // The session expired, or the cluster no longer knows it: log in again once and repeat
    // the same request. A login that fails ends it here, so a wrong password never loops.
    log_(step.function, __LINE__, 0, "Session on file server[%s] is no longer valid (HTTP 401); opening it again.",
         log_.Server());
    ++counters_.reopenedSessions;
    return ReopenAndRepeat(step, uri, body, response, /*anotherNode=*/false);
  }
  return sent;
}

RequestOutcome Cycle::ReopenAndRepeat(const RequestStep& step, const std::string& uri, const std::string& body,
                                      std::string& response, bool anotherNode) {
  login_.Forget();
  const RequestOutcome opened = Open(anotherNode);
  if (!opened.Succeeded()) {
    if (anotherNode) {
      log_(step.function, __LINE__, -1, "Could not open the session on another node of file server[%s]. Error[%s]:[%s]",
           log_.Server(), opened.code.c_str(), opened.message.c_str());
    } else {
      log_(step.function, __LINE__, -1,
           "Session on file server[%s] had expired and could not be re-opened. Error[%s]:[%s]", log_.Server(),
           opened.code.c_str(), opened.message.c_str());
    }
    return NotMade(opened);
  }
  return sender_.Send(step, uri, body, response);
}

}  // namespace isilon
