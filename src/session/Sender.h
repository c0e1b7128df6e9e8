#pragma once
// The sender: one request through the transport, repeated by the retry policy after a
// transient failure. It knows the transport, the policy and the server's name for its log
// lines, and nothing of sessions: the session's header lines and its replacement cookies reach
// it as hooks.
#include <functional>
#include <string>

#include "host/QuorLibCurl.h"
#include "src/session/Log.h"
#include "src/session/Request.h"
#include "src/session/RetryPolicy.h"

namespace isilon {

class Sender {
 public:
  struct Hooks {
    std::function<bool()> installHeaders;  // the session's header lines onto the transport
    std::function<void()> afterReply;      // looks at every reply's headers (replacement cookies)
    std::function<RetryPolicy()> policy;   // asked once a request has failed
  };

  // How SendOnce ended.
  enum class Sent {
    kAccepted,  // a success status
    kFailed,    // sent (or tried), not a success: the transport says why
    kRefused,   // not sent: the URI or the body cannot go out as they are
  };

  Sender(QuorLibCurl*& transport, const SessionLog& log, unsigned long long& retries, Hooks hooks)
      : transport_(transport), log_(log), retries_(retries), hooks_(std::move(hooks)) {}

  // One request as it is, without retries. `maySendTwice`: a change that does no harm sent
  // twice (the logout) may ride the kept-alive connection instead of one of its own.
  Sent SendOnce(std::string& response, int method, const std::string& uri, const std::string& body, bool resetHeaders,
                TransportResult& result, bool maySendTwice = false);
  // The request with the retry policy for transient failures, a change cut off settled as its
  // step says. Never not made: the transport at least tried.
  RequestOutcome Send(const RequestStep& step, const std::string& uri, const std::string& body, std::string& response);
  // The step's own header lines on top of the session's; false (nothing sent) when one cannot
  // be added.
  bool InstallStepHeaders(const RequestStep& step);
  // The session's header lines alone again, after a request with lines of its own.
  void RestoreHeaders(const RequestStep& step);

 private:
  // A change cut off without a reply, while a retry is still allowed: true when the step's
  // settling ends the request (a read found it done, or could not tell), false when the change
  // is to be sent again.
  bool SettledByRead(const RequestStep& step, int repeat, std::string& response, RequestOutcome& outcome);

  QuorLibCurl*& transport_;
  const SessionLog& log_;
  unsigned long long& retries_;
  Hooks hooks_;
};

}  // namespace isilon
