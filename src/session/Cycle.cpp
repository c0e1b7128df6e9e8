// The request cycle every operation shares: open, build, guard, send with retries, re-open an
// expired session, read the error reply.
#include "src/session/Cycle.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/QuorLibCurl.h"
#include "host/Sleep.h"
#include "json/jsonxx.h"
#include "src/common/InputChecks.h"
#include "src/common/ReplyShape.h"
#include "src/session/RetryPolicy.h"

using isilon::RequestFate;

namespace {

RequestFate FateOf(TransportResult result) {
  switch (result) {
    case TransportResult::kSucceeded: return RequestFate::kSucceeded;
    case TransportResult::kErrorStatus: return RequestFate::kErrorStatus;
    case TransportResult::kNoReply:
    case TransportResult::kTimedOut: return RequestFate::kNoReply;
    case TransportResult::kNoConnection:
    case TransportResult::kNotSent: break;
  }
  return RequestFate::kNotSent;
}

// The URI, the body and this request's own header lines as the transport can send them
// whole: no byte that would end or break them early.
bool Sendable(const std::string& uri, const std::string& body, const std::vector<std::string>* headers) {
  if (!isilon::IsSendableUri(uri) || isilon::HasNul(body)) return false;
  if (headers == nullptr) return true;
  for (const std::string& line : *headers) {
    if (!isilon::IsHeaderLine(line)) return false;
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

}  // namespace

std::string isilon::WithoutArgument(std::string uri, const std::string& name) {
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

namespace {

// The first of `undeclared` that `uri` carries and that the cluster's 400 reply refuses by name.
std::string RefusedArgument(const std::string& response, const std::vector<std::string>& undeclared,
                            const std::string& uri) {
  jsonxx::Object reply;
  if (!isilon::ReadReply(response, reply) || !reply.has<jsonxx::Array>("errors")) return std::string();
  const jsonxx::Array& errors = reply.get<jsonxx::Array>("errors");
  for (unsigned int i = 0; i < errors.size(); ++i) {
    if (!errors.has<jsonxx::Object>(i)) continue;
    const jsonxx::Object& entry = errors.get<jsonxx::Object>(i);
    if (!entry.has<std::string>("code") || entry.get<std::string>("code") != "AEC_BAD_REQUEST") continue;
    if (!entry.has<std::string>("field")) continue;
    const std::string& field = entry.get<std::string>("field");
    for (const std::string& name : undeclared) {
      if (field == name && ArgumentAt(uri, name) != std::string::npos) return name;
    }
  }
  return std::string();
}

}  // namespace

ManageIsilon::RequestOutcome ManageIsilon::Exchange(const RequestStep& step, const string& uri, const string& body,
                                                    string& response) {
  // Read only once a request has failed: the registry is a file, and most requests succeed.
  isilon::RetryPolicy policy;
  bool policyRead = false;
  RequestOutcome outcome;
  for (int repeat = 0;; ++repeat) {
    bool resetHeaders = step.headers == isilon::Headers::kReinstall;
    if (step.extraHeaders != nullptr) {
      // This request's own lines ride on top of the session's headers, on every try.
      pTransport->QuorLibCurlFreeHttpHeaderList();
      bool appended = SetCurlHeaders();
      for (const string& line : *step.extraHeaders) {
        appended = appended && pTransport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line);
      }
      if (!appended) {
        // Nothing is sent, and none of this request's lines may ride on the next one.
        pTransport->QuorLibCurlFreeHttpHeaderList();
        if (!SetCurlHeaders()) Log(step.function, __LINE__, -1, "Failed to reset connection headers.");
        SetLastError("Internal error", "Could not construct message to file server. Error appending header.");
        if (step.failureLine == isilon::FailureLine::kWrite) LogFailure(step.function, __LINE__);
        return RequestOutcome();
      }
      if (step.trace) pTransport->toggleTrace(/*on=*/true);
      resetHeaders = false;
    }
    TransportResult result = TransportResult::kNotSent;
    const bool accepted = SendOnce(response, step.method, uri, body, resetHeaders, result);
    outcome.httpStatus = pTransport != nullptr ? pTransport->GetLastHttpStatus() : 0;
    outcome.fate = accepted ? RequestFate::kSucceeded : FateOf(result);
    outcome.transport = result;
    if (accepted || pTransport == nullptr) return outcome;

    // A change cut off after it went out may have been acted on: only the step knows whether a
    // second go is safe.
    const bool cutOffChange =
        step.method != kGet && (result == TransportResult::kNoReply || result == TransportResult::kTimedOut);
    const bool transient =
        result == TransportResult::kErrorStatus
            ? isilon::RetryPolicy::RetriesStatus(outcome.httpStatus)
            : isilon::RetryPolicy::RetriesFailure(
                  result, /*repeatable=*/step.method == kGet || step.whenCutOff != isilon::WhenCutOff::kFail);
    if (!transient) return outcome;
    if (!policyRead) {
      policy = isilon::RetryPolicy::FromRegistry();
      policyRead = true;
    }
    if (repeat >= policy.retries) return outcome;
    if (cutOffChange && SettledByRead(step, repeat, response, outcome)) return outcome;
    vector<string> retryAfter;
    if (result == TransportResult::kErrorStatus) pTransport->GetHttpResponseHeaders("Retry-After", retryAfter);
    const unsigned delayMs = policy.DelayMs(repeat, retryAfter.empty() ? string() : retryAfter.front());
    Log(step.function, __LINE__, 0, "Request to file server[%s] failed (%s); retry %d of %d in %u ms.",
        strFileServer.c_str(), pTransport->GetLastErrorText().c_str(), repeat + 1, policy.retries, delayMs);
    ++retriesDone_;
    ZEMSLEEP(delayMs, __FILE__, __LINE__);
  }
}

bool ManageIsilon::SettledByRead(const RequestStep& step, int repeat, string& response, RequestOutcome& outcome) {
  const string cause = pTransport->GetLastErrorText();
  if (step.whenCutOff != isilon::WhenCutOff::kSettleByRead || step.settleByRead == nullptr) {
    Log(step.function, __LINE__, 2,
        "Change sent to file server[%s] got no reply (%s); sending it again to settle it (try %d).",
        strFileServer.c_str(), cause.c_str(), repeat + 2);
    outcome.settled = true;
    return false;
  }
  Log(step.function, __LINE__, 2, "Change sent to file server[%s] got no reply (%s); reading whether it took effect.",
      strFileServer.c_str(), cause.c_str());
  string record;
  switch ((*step.settleByRead)(record)) {
    case isilon::Settled::kDone:
      Log(step.function, __LINE__, 2, "The change took effect on file server[%s]; it counts as done.",
          strFileServer.c_str());
      response = record;
      outcome.fate = RequestFate::kSucceeded;
      outcome.transport = TransportResult::kSucceeded;
      outcome.settled = true;
      return true;
    case isilon::Settled::kNotDone:
      Log(step.function, __LINE__, 2, "The change did not take effect on file server[%s]; sending it again (try %d).",
          strFileServer.c_str(), repeat + 2);
      // The read may have opened the session again, or lost it.
      return pTransport == nullptr;
    case isilon::Settled::kUnknown: break;
  }
  Log(step.function, __LINE__, 2,
      "Could not read whether the change took effect on file server[%s]; it fails with its cause (%s).",
      strFileServer.c_str(), cause.c_str());
  return true;
}

ManageIsilon::RequestOutcome ManageIsilon::RunRequest(const RequestStep& step, IsilonJsonBase& request,
                                                      const RequestBuilder& build, string& response) {
  const bool writeLine = step.failureLine == isilon::FailureLine::kWrite;
  if (!OpenConnection()) {
    if (writeLine) LogFailure(step.function, __LINE__);
    return RequestOutcome();
  }
  string uri, body;
  if (!build(uri, body)) {
    SetLastError("Internal Error", step.buildFailure);
    if (writeLine) LogFailure(step.function, __LINE__);
    return RequestOutcome();
  }
  // Whatever built the URI, a dot segment in its path would be resolved away by the transport
  // and name another resource, and a NUL would cut a URI, body or header line short: nothing
  // such is sent.
  if (isilon::HasDotSegment(uri) || !Sendable(uri, body, step.extraHeaders)) {
    SetLastError("Internal error", "Invalid input parameters");
    if (writeLine) LogFailure(step.function, __LINE__);
    return RequestOutcome();
  }

  const auto send = [&]() {
    RequestOutcome sent = Exchange(step, uri, body, response);
    if (MovesToAnotherNode(sent, step)) {
      // The session's node went away before the request reached it: log in on another node and
      // send it there; a GET that was cut off may be repeated too.
      Log(step.function, __LINE__, 0,
          "Node[%s] of file server[%s] did not answer; opening the session on another node.", sessionNode_.c_str(),
          strFileServer.c_str());
      ++nodeSwitches_;
      sent = ReopenAndRepeat(step, uri, body, response, /*anotherNode=*/true);
    } else if (sent.fate == RequestFate::kErrorStatus && sent.httpStatus == 401) {
      // The session expired, or the cluster no longer knows it: log in again once and repeat
      // the same request. A login that fails ends it here, so a wrong password never loops.
      Log(step.function, __LINE__, 0, "Session on file server[%s] is no longer valid (HTTP 401); opening it again.",
          strFileServer.c_str());
      ++sessionsReopened_;
      sent = ReopenAndRepeat(step, uri, body, response, /*anotherNode=*/false);
    }
    return sent;
  };
  RequestOutcome outcome = send();
  // The request as asked goes first; only a cluster that refuses an undeclared argument by name
  // gets it again without that argument (each argument is dropped at most once).
  vector<string> dropped;
  while (step.undeclaredArgs != nullptr && outcome.fate == RequestFate::kErrorStatus && outcome.httpStatus == 400) {
    const string refused = RefusedArgument(response, *step.undeclaredArgs, uri);
    if (refused.empty()) break;
    Log(step.function, __LINE__, 0,
        "File server[%s] refused the query argument [%s]; sending the request again without it.", strFileServer.c_str(),
        refused.c_str());
    uri = isilon::WithoutArgument(uri, refused);
    dropped.push_back(refused);
    ++argumentFallbacks_;
    response.clear();
    outcome = send();
  }
  outcome.dropped = std::move(dropped);
  if (outcome.NotMade()) return outcome;

  if (step.extraHeaders != nullptr && pTransport != nullptr) {
    // The next request carries the session's headers only.
    pTransport->QuorLibCurlFreeHttpHeaderList();
    if (!SetCurlHeaders()) Log(step.function, __LINE__, -1, "Failed to reset connection headers.");
  }
  if (outcome.Succeeded() && step.successBody == isilon::SuccessBody::kEmpty && !response.empty()) {
    outcome.fate = RequestFate::kErrorStatus;  // a delete answered with text: read it as the error
  }
  if (!outcome.Succeeded()) {
    request.ParseError(response);
    request.getError(strLastErrorCode, strLastErrorMessage);
    // An error reply may name no code or no message: a failure still says what came back.
    if (strLastErrorCode.empty()) strLastErrorCode = "Internal error";
    if (strLastErrorMessage.empty()) strLastErrorMessage = "HTTP status " + std::to_string(outcome.httpStatus);
    outcome.done = step.codeMeaningDone != nullptr && strLastErrorCode == step.codeMeaningDone;
    if (outcome.done && outcome.settled) {
      Log(step.function, __LINE__, 2, "The change sent again found its goal reached on file server[%s] (Error[%s]).",
          strFileServer.c_str(), strLastErrorCode.c_str());
    }
  }
  return outcome;
}

ManageIsilon::RequestOutcome ManageIsilon::ReopenAndRepeat(const RequestStep& step, const string& uri,
                                                           const string& body, string& response, bool anotherNode) {
  ForgetSession();
  avoidNode_ = anotherNode ? sessionNode_ : string();
  const bool opened = OpenConnection();
  avoidNode_.clear();
  if (!opened) {
    if (anotherNode) {
      Log(step.function, __LINE__, -1, "Could not open the session on another node of file server[%s]. Error[%s]:[%s]",
          strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    } else {
      Log(step.function, __LINE__, -1,
          "Session on file server[%s] had expired and could not be re-opened. Error[%s]:[%s]", strFileServer.c_str(),
          strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    }
    if (step.failureLine == isilon::FailureLine::kWrite) LogFailure(step.function, __LINE__);
    return RequestOutcome();
  }
  return Exchange(step, uri, body, response);
}

bool ManageIsilon::FollowResumePages(const char* function, const isilon::PageReader& read, isilon::PageWalk* result) {
  string token;
  const isilon::PageWalk walk = isilon::FollowPages(token, read, isilon::RepeatedTokens::kStop);
  if (result != nullptr) *result = walk;
  if (walk == isilon::PageWalk::kFailed) return false;
  // A token handed out twice would repeat the same pages for ever.
  if (walk == isilon::PageWalk::kRepeatedToken) {
    return Fail(function, __LINE__, isilon::RepeatedResumeCode(), isilon::RepeatedResumeMessage(token));
  }
  return true;
}
