#pragma once
// An operation's request as steps: the operation checks its input and builds its request; this
// runs it through the session's cycle with the operation's policy, writes the lines every
// operation writes when it ends early, and tells the operation whether it has a reply to read.
// Internal to the library.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "isilon/Paging.h"
#include "src/session/Cycle.h"

namespace isilon {

// What an operation says about its request beyond the cycle's step.
struct OperationPolicy {
  // The line written at level -1 when the cluster refused the request, before its
  // ". Error[code]:[message]": a printf format taking the file server alone...
  const char* refused = nullptr;
  // ... or, when the text names more than the file server, the operation's own text.
  std::string refusedText;
  // The refusal's line goes without the session's log context.
  bool refusedWithoutContext = false;
};

// How an operation's request ended.
class Sent {
 public:
  Sent(bool ok, bool result) : ok_(ok), result_(result) {}
  // A success reply is there for the operation to read.
  bool ok() const { return ok_; }
  // What the operation returns when !ok(): true only for a refusal whose code means its goal
  // holds anyway. The last error and the lines are written.
  bool result() const { return result_; }

 private:
  bool ok_;
  bool result_;
};

class ISILON_HIDDEN Operation {
 public:
  using Step = ManageIsilon::RequestStep;
  using Outcome = ManageIsilon::RequestOutcome;

  // Runs the request that `build` forms (Initialize and BuildRequest) through the cycle.
  template <class Build>
  static Sent Send(ManageIsilon& session, const Step& step, const OperationPolicy& policy, IsilonJsonBase& request,
                   const Build& build, std::string& response, Outcome* outcome = nullptr) {
    // By reference: a std::function made from the lambda itself would copy it on every request,
    // to the heap when it captures more than two pointers.
    const Outcome ended = session.RunRequest(step, request, std::cref(build), response);
    if (outcome != nullptr) *outcome = ended;
    return Conclude(session, step.function, policy, ended);
  }

  // The steps of the creates and deletes of shares, exports and snapshots by name or id: a
  // create that finds the object there and a delete that finds it gone have reached their
  // goal, and sending either again after a cut-off ends the same way. A delete wants an empty
  // success reply.
  static Step CreateStep(const char* function, const char* buildFailure) {
    Step step{function, ManageIsilon::kPost, buildFailure};
    step.codeMeaningDone = "AEC_CONFLICT";
    step.whenCutOff = WhenCutOff::kRepeat;
    return step;
  }
  static Step DeleteStep(const char* function, const char* buildFailure) {
    Step step{function, ManageIsilon::kDelete, buildFailure};
    step.successBody = SuccessBody::kEmpty;
    step.codeMeaningDone = "AEC_NOT_FOUND";
    step.whenCutOff = WhenCutOff::kRepeat;
    return step;
  }

  // A reply that could not be read: "Internal Error" with the reply in the message, the
  // standard failure line, and false.
  static bool Unreadable(ManageIsilon& session, const char* function, const std::string& response) {
    return session.Fail(function, __LINE__, "Internal Error", "Failed to parse json response:[" + response + "]");
  }

  // Every page of a listing whose request names the page by the token the walk hands it:
  // `begin(token)` prepares the request for that page; `take(request, walk)` takes the page's
  // records (false when the reply cannot be read) and sets `walk` (kNext, or kFound to stop).
  // A page that fails fails the listing.
  template <class Request, class Begin, class Take>
  static bool ReadPages(ManageIsilon& session, const Step& step, const OperationPolicy& policy, Request& request,
                        const Begin& begin, const Take& take) {
    return session.FollowResumePages(step.function, [&](const std::string& token, std::string& next) {
      std::string response;
      begin(token);
      const Sent sent = Send(
          session, step, policy, request,
          [&request](std::string& uri, std::string& body) { return request.BuildRequest(uri, body); }, response);
      if (!sent.ok()) return PageStep::kFailed;
      PageStep walk = PageStep::kNext;
      if (!request.ParseResponse(response) || !take(request, walk)) {
        Unreadable(session, step.function, response);
        return PageStep::kFailed;
      }
      request.GetResume(next);
      return walk;
    });
  }

  // The lookup behind GetSyncIQJobInfo, which StartSyncIQJob polls with as well: it leaves
  // the last error as its requests leave it, without clearing it first.
  static bool FindSyncIQJob(ManageIsilon& session, _IsilonSyncIQJobInfo& job, const std::string& policyName,
                            const eIsilonSyncIQJobState& state);

 private:
  static Sent Conclude(ManageIsilon& session, const char* function, const OperationPolicy& policy,
                       const Outcome& outcome);
};

}  // namespace isilon
