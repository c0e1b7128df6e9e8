// The ending every operation's request shares.
#include "src/common/Operation.h"

#include <string>

#include "host/FXString.h"

namespace isilon {

Sent Operation::Conclude(ManageIsilon& session, const char* function, const OperationPolicy& policy,
                         const Outcome& outcome) {
  // Not made: the cycle has set the last error and written the failure line.
  if (outcome.NotMade()) return Sent(false, false);
  if (outcome.Succeeded()) return Sent(true, true);
  const std::string head =
      policy.refusedText.empty() ? FXString::Format(policy.refused, session.strFileServer.c_str()) : policy.refusedText;
  if (policy.refusedWithoutContext) {
    session.LogNoContext(function, __LINE__, -1, "%s. Error[%s]:[%s]", head.c_str(), session.strLastErrorCode.c_str(),
                         session.strLastErrorMessage.c_str());
  } else {
    session.Log(function, __LINE__, -1, "%s. Error[%s]:[%s]", head.c_str(), session.strLastErrorCode.c_str(),
                session.strLastErrorMessage.c_str());
  }
  if (!outcome.CountsAsDone()) return Sent(false, false);
  // The cluster's code and message stay in the last error.
  session.Log(function, __LINE__, 0, "Treating this as success.");
  return Sent(false, true);
}

}  // namespace isilon
