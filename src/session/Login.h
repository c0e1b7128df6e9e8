#pragma once
// The login: opening and closing the session on the cluster, its cookies and CSRF token, the
// replacement cookies the cluster hands out, and the transport the session owns. Sends through
// the sender; which node to log in on is the cycle's choice.
#include <string>
#include <vector>

#include "host/QuorLibCurl.h"
#include "src/session/Log.h"
#include "src/session/Request.h"
#include "src/session/Sender.h"

namespace isilon {

struct TransportConfig;

// The session's own fields, which live in ManageIsilon.
struct SessionFields {
  const std::string& server;
  const std::string& user;
  const std::string& password;
  QuorLibCurl*& transport;
  bool& connected;
  std::string& cookie;
  std::string& csrf;
  std::string& referer;
};

class Login {
 public:
  Login(SessionFields fields, Sender& sender, const SessionLog& log) : s_(fields), sender_(sender), log_(log) {}

  // Checks the server and the credentials and makes a fresh transport with `config`; not made
  // (with the library's code and message, its failure line written) when one of them fails.
  RequestOutcome Prepare(const TransportConfig& config);
  // Connects the transport to `node` (empty: resolve the server's name); `announce` logs it.
  bool Pin(const std::string& node, bool announce);
  // Sends the login on the current node, with the sender's retries.
  RequestOutcome Post(std::string& response);
  // Ends the login attempt: on success reads the reply and takes the session's cookies;
  // otherwise puts the cluster's error into the outcome. Wipes the body.
  RequestOutcome Finish(RequestOutcome sent, std::string& response);

  // Ends the session on the cluster (when one is open) and releases the transport; a failure
  // is logged only, and reported in the outcome's code and message.
  RequestOutcome Close();
  // Installs the session's header lines on the transport (the SetCurlHeaders contract).
  bool InstallHeaders();
  // Replacement cookies on an ordinary reply: taken up and installed on the transport.
  void TakeRenewed();
  // Marks the session closed and forgets its cookies, without telling the cluster.
  void Forget();
  void ReleaseTransport();

 private:
  void TakeCookies(const std::vector<std::string>& setCookies, bool logEach, bool replacing);

  SessionFields s_;
  Sender& sender_;
  const SessionLog& log_;
  std::string body_;  // the login's body while it is being sent (holds the password)
  std::string uri_;
};

}  // namespace isilon
