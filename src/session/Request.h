#pragma once
// What an operation tells the request cycle about its request, and the value every layer of
// the cycle hands back about how it ended. Internal to the library.
#include <functional>
#include <string>
#include <vector>

#include "host/QuorLibCurl.h"

namespace isilon {

// Whether the operation's standard failure line is written when the request is not made.
enum class FailureLine { kSkip, kWrite };
// Whether the session headers are installed afresh before sending.
enum class Headers { kKeep, kReinstall };
// What a success reply may hold: deletes want none, and read any text as the cluster's error.
enum class SuccessBody { kAny, kEmpty };

// What a change that was sent but got no reply (reset, closed, timed out) comes to. The cluster
// may or may not have acted on it; only where its answer to a second look is safe does the cycle
// take one, and only while retries are allowed (nIsilonRetryCount 0 sends every request once).
enum class WhenCutOff {
  kFail,          // fails with its cause: sending it again could act twice
  kRepeat,        // sent again: a second go finds the goal reached (codeMeaningDone) or reaches it
  kSettleByRead,  // the step's settleByRead looks whether the change took effect
};

// What a read after a cut-off change found.
enum class Settled {
  kDone,     // the change took effect; the reader put the reply's record in its argument
  kNotDone,  // it did not: the change is sent again
  kUnknown,  // the read failed too: the change fails with the cut-off's cause
};
// Reads whether a cut-off change took effect; on kDone it fills `reply` with what the change's
// own success reply would have held.
using SettleByRead = std::function<Settled(std::string& reply)>;

// `uri` without every occurrence of query argument `name`; a query left empty goes with its "?".
std::string WithoutArgument(std::string uri, const std::string& name);

// How a request ended.
enum class RequestFate {
  kNotMade,      // refused before sending (bad input, no session, not built)
  kNotSent,      // the transport could not deliver it (connection refused, name not found, TLS failure)
  kNoReply,      // sent, but no complete reply came (time-out, reset, truncated reply)
  kErrorStatus,  // the cluster answered with an error status; its error reply is in code/message
  kSucceeded,    // a success status (with an empty body where the step wants one)
};

struct RequestStep {
  const char* function;      // log text of the calling operation
  int method;                // the transport's request type (HTTP_REQ_GET ...)
  const char* buildFailure;  // last error message when building fails (code "Internal Error")
  FailureLine failureLine = FailureLine::kWrite;
  Headers headers = Headers::kReinstall;
  SuccessBody successBody = SuccessBody::kAny;
  // A cluster error code that means the operation's goal holds anyway (a create that finds
  // the object there, a delete that finds it gone), or null.
  const char* codeMeaningDone = nullptr;
  // Header lines of this one request, sent after the session's own on every try (a copy's
  // source and options); the session's headers alone go with the next request.
  const std::vector<std::string>* extraHeaders = nullptr;
  bool trace = false;  // trace this request's traffic (with extraHeaders)
  // A GET is always repeated when cut off; a change only as this says.
  WhenCutOff whenCutOff = WhenCutOff::kFail;
  const SettleByRead* settleByRead = nullptr;  // for kSettleByRead
  // Query arguments this request carries that the cluster's API description does not declare
  // for the resource. Some clusters ignore such an argument, others refuse it (400
  // AEC_BAD_REQUEST naming it in "field"); on that refusal the request goes again without it,
  // and the operation does on the client what the argument asked of the cluster.
  const std::vector<std::string>* undeclaredArgs = nullptr;
};

struct RequestOutcome {
  RequestFate fate = RequestFate::kNotMade;
  long httpStatus = 0;  // 0 when no reply came
  TransportResult transport = TransportResult::kNotSent;
  std::string cause;       // the transport's text for a failure ("Connection refused", "HTTP status 503")
  std::string code;        // the cluster's error code, or the library's when not made
  std::string message;     // and its message
  bool retryable = false;  // another try could end otherwise (what the retry policy decided on)
  bool done = false;       // refused with the step's codeMeaningDone
  bool settled = false;    // a cut-off change that a second go or a read found done
  // The undeclared arguments the cluster refused, which the request that ended so went without.
  std::vector<std::string> dropped;

  // Not made, with the library's own code and message.
  static RequestOutcome Refused(std::string code, std::string message) {
    RequestOutcome outcome;
    outcome.code = std::move(code);
    outcome.message = std::move(message);
    return outcome;
  }

  bool Succeeded() const { return fate == RequestFate::kSucceeded; }
  // Nothing left to report: the last error and the failure line are written for the caller.
  bool NotMade() const { return fate == RequestFate::kNotMade; }
  // The request failed after it was made: the last error holds the cluster's error (or the
  // reply's text), and the operation writes its own failure line.
  bool Failed() const { return !Succeeded() && !NotMade(); }
  // Refused, but with the code that means the operation's goal holds anyway.
  bool CountsAsDone() const { return Failed() && done; }
  bool Dropped(const std::string& argument) const {
    for (const std::string& name : dropped) {
      if (name == argument) return true;
    }
    return false;
  }
};

}  // namespace isilon
