#include "src/session/Sender.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "host/Sleep.h"
#include "src/common/InputChecks.h"

namespace isilon {

namespace {

const char kSendFn[] =
    "bool ManageIsilon::SendRequest(std::string&, const int&, const string&, const string&, const bool&)";

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

}  // namespace

Sender::Sent Sender::SendOnce(std::string& response, int method, const std::string& uri, const std::string& body,
                              bool resetHeaders, TransportResult& result, bool maySendTwice) {
  result = TransportResult::kNotSent;
  if (uri.empty()) {
    log_(kSendFn, __LINE__, -1, "Input URI is empty");
    return Sent::kFailed;
  }
  // libcurl resolves dot segments before sending, so such a URI would reach another resource
  // than the one its pieces name.
  if (HasDotSegment(uri)) {
    log_(kSendFn, __LINE__, -1, "URI:[%s] has a dot segment; not sent.", Printable(uri).c_str());
    return Sent::kRefused;
  }
  // The transport takes the URI as a C string, which a NUL would end early; a control byte or
  // a blank cannot be in a request line at all. A body is sent by its length, but a NUL in it
  // is no JSON the cluster reads whole either.
  if (!IsSendableUri(uri) || HasNul(body)) {
    log_(kSendFn, __LINE__, -1, "URI:[%s] or its body holds a byte that cannot be sent; not sent.",
         Printable(uri).c_str());
    return Sent::kRefused;
  }
  response.clear();
  QuorLibCurl* transport = transport_;
  if (transport == nullptr) {
    log_(kSendFn, __LINE__, -1, "Curl request failed for URI:[%s]", uri.c_str());
    return Sent::kFailed;
  }
  if (resetHeaders) {
    transport->QuorLibCurlFreeHttpHeaderList();
    if (!hooks_.installHeaders()) {
      log_(kSendFn, __LINE__, -1, "Failed to set curl headers.");
      return Sent::kFailed;
    }
  }
  if (maySendTwice) transport->MaySendTwice();
  const bool accepted = transport->QuorLibCurlSendHttpReq(static_cast<_http_req_type_>(method), uri,
                                                          body.empty() ? nullptr : body.data(), body.size(),
                                                          /*flag=*/false, /*text=*/nullptr);
  result = transport->GetLastResult();
  if (!accepted) log_(kSendFn, __LINE__, -1, "Curl request failed for URI:[%s]", uri.c_str());

  // A host's own transport hands its reply over as a zero-terminated copy; ours hands over
  // its buffer, byte for byte, without a copy of the page.
  if (typeid(*transport) == typeid(QuorLibCurl)) {
    transport->TakeResponseBody(response);
  } else {
    unsigned long code = 0;
    if (char* text = transport->GetHttpResponse(code, /*flag=*/true)) {
      response = text;
      std::free(text);
    }
  }
  // The cluster hands out replacement session cookies before the idle time runs out; taking
  // them up keeps long walks and waits working.
  if (hooks_.afterReply) hooks_.afterReply();
  return accepted ? Sent::kAccepted : Sent::kFailed;
}

bool Sender::InstallStepHeaders(const RequestStep& step) {
  // This request's own lines ride on top of the session's headers, on every try.
  transport_->QuorLibCurlFreeHttpHeaderList();
  bool appended = hooks_.installHeaders();
  for (const std::string& line : *step.extraHeaders) {
    appended = appended && transport_->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line);
  }
  if (!appended) {
    // Nothing is sent, and none of this request's lines may ride on the next one.
    RestoreHeaders(step);
    return false;
  }
  if (step.trace) transport_->toggleTrace(/*on=*/true);
  return true;
}

void Sender::RestoreHeaders(const RequestStep& step) {
  if (transport_ == nullptr) return;
  transport_->QuorLibCurlFreeHttpHeaderList();
  if (!hooks_.installHeaders()) log_(step.function, __LINE__, -1, "Failed to reset connection headers.");
}

RequestOutcome Sender::Send(const RequestStep& step, const std::string& uri, const std::string& body,
                            std::string& response) {
  // Made only once a request has failed: most requests succeed, and a policy allocates.
  std::optional<RetryPolicy> policy;
  RequestOutcome outcome;
  for (int repeat = 0;; ++repeat) {
    bool resetHeaders = step.headers == Headers::kReinstall;
    if (step.extraHeaders != nullptr) {
      if (transport_ == nullptr || !InstallStepHeaders(step)) {
        return RequestOutcome::Refused("Internal error",
                                       "Could not construct message to file server. Error appending header.");
      }
      resetHeaders = false;
    }
    TransportResult result = TransportResult::kNotSent;
    const Sent sent = SendOnce(response, step.method, uri, body, resetHeaders, result);
    if (sent == Sent::kRefused) return RequestOutcome::Refused("Internal error", "Invalid input parameters");
    QuorLibCurl* transport = transport_;
    outcome.httpStatus = transport != nullptr ? transport->GetLastHttpStatus() : 0;
    outcome.fate = sent == Sent::kAccepted ? RequestFate::kSucceeded : FateOf(result);
    outcome.transport = result;
    outcome.cause = transport != nullptr ? transport->GetLastErrorText() : std::string();
    outcome.retryable = false;
    if (sent == Sent::kAccepted || transport == nullptr) return outcome;

    // A change cut off after it went out may have been acted on: only the step knows whether a
    // second go is safe.
    const bool cutOffChange =
        step.method != HTTP_REQ_GET && (result == TransportResult::kNoReply || result == TransportResult::kTimedOut);
    if (!policy) policy = hooks_.policy ? hooks_.policy() : RetryPolicy();
    outcome.retryable = result == TransportResult::kErrorStatus
                            ? policy->RetriesStatus(outcome.httpStatus)
                            : RetryPolicy::RetriesFailure(
                                  result,
                                  /*repeatable=*/step.method == HTTP_REQ_GET || step.whenCutOff != WhenCutOff::kFail);
    if (!outcome.retryable || repeat >= policy->retries) return outcome;
    if (cutOffChange && SettledByRead(step, repeat, response, outcome)) return outcome;
    std::vector<std::string> retryAfter;
    if (result == TransportResult::kErrorStatus) transport_->GetHttpResponseHeaders("Retry-After", retryAfter);
    const unsigned delayMs = policy->DelayMs(repeat, retryAfter.empty() ? std::string() : retryAfter.front());
    log_(step.function, __LINE__, 0, "Request to file server[%s] failed (%s); retry %d of %d in %u ms.", log_.Server(),
         outcome.cause.c_str(), repeat + 1, policy->retries, delayMs);
    ++retries_;
    ZEMSLEEP(delayMs, __FILE__, __LINE__);
  }
}

bool Sender::SettledByRead(const RequestStep& step, int repeat, std::string& response, RequestOutcome& outcome) {
  const std::string cause = outcome.cause;
  if (step.whenCutOff != WhenCutOff::kSettleByRead || step.settleByRead == nullptr) {
    log_(step.function, __LINE__, 2,
         "Change sent to file server[%s] got no reply (%s); sending it again to settle it (try %d).", log_.Server(),
         cause.c_str(), repeat + 2);
    outcome.settled = true;
    return false;
  }
  log_(step.function, __LINE__, 2, "Change sent to file server[%s] got no reply (%s); reading whether it took effect.",
       log_.Server(), cause.c_str());
  std::string record;
  switch ((*step.settleByRead)(record)) {
    case Settled::kDone:
      log_(step.function, __LINE__, 2, "The change took effect on file server[%s]; it counts as done.", log_.Server());
      response = record;
      outcome.fate = RequestFate::kSucceeded;
      outcome.transport = TransportResult::kSucceeded;
      outcome.settled = true;
      return true;
    case Settled::kNotDone:
      log_(step.function, __LINE__, 2, "The change did not take effect on file server[%s]; sending it again (try %d).",
           log_.Server(), repeat + 2);
      // The read may have opened the session again, or lost it.
      return transport_ == nullptr;
    case Settled::kUnknown: break;
  }
  log_(step.function, __LINE__, 2,
       "Could not read whether the change took effect on file server[%s]; it fails with its cause (%s).", log_.Server(),
       cause.c_str());
  return true;
}

}  // namespace isilon
