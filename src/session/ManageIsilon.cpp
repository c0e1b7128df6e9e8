// The session object's public face: construction, credentials, options, the last error and
// logging, and the thin doors into the request cycle (src/session/Session.h).
#include "isilon/ManageIsilon.h"

#include <cstdarg>
#include <cstring>

#include "host/Password.h"
#include "src/common/InputChecks.h"
#include "src/common/ReplyShape.h"
#include "src/session/Session.h"

namespace {

const char kOpenFn[] = "bool ManageIsilon::OpenConnection()";

}  // namespace

ManageIsilon::ManageIsilon()
    : session_(
          new Session(nLogContext, isilon::SessionFields{strFileServer, strUser, strPassword, pTransport, bConnected,
                                                         strCookieHeader, strCsrfHeader, strRefererHeader})) {
  Init();
}

ManageIsilon::ManageIsilon(const unsigned long long& context) : ManageIsilon() { nLogContext = context; }

ManageIsilon::~ManageIsilon() {
  if (pTransport != nullptr) {
    Log("ManageIsilon::~ManageIsilon()", __LINE__, 2, "Closing curl session.");
    session_->login.ReleaseTransport();
  }
  // The clear-text password should not outlive the session in freed memory.
  if (!strPassword.empty()) std::memset(&strPassword[0], 0, strPassword.size());
  delete session_;
}

void ManageIsilon::Init() {
  strFileServer.clear();
  strUser.clear();
  strPassword.clear();
  strLastErrorCode.clear();
  strLastErrorMessage.clear();
  nLogContext = 0;
  pTransport = nullptr;
  bConnected = false;
}

void ManageIsilon::SetFileServer(const string& server) {
  // An IPv6 address goes into URLs in brackets.
  const string next = isilon::ServerForUrl(server);
  if (next != strFileServer) EndSessionForChange();
  strFileServer = next;
}

void ManageIsilon::SetUser(const string& user) {
  const string next = ValidateEscSeq(user);
  if (next != strUser) EndSessionForChange();
  strUser = next;
}

bool ManageIsilon::IsValidFileServer(const string& server) { return isilon::IsBareServer(server); }

string ManageIsilon::ValidateEscSeq(const string& text) {
  string out;
  out.reserve(text.size() + 4);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      out += "\\\\";
      // A backslash already doubled is taken with its partner and stays doubled.
      if (i + 1 < text.size() && text[i + 1] == '\\') ++i;
    } else {
      out += text[i];
    }
  }
  LogNoContext("string ManageIsilon::ValidateEscSeq(const string&)", __LINE__, 3, "Input [%s], Output[%s] ",
               text.c_str(), out.c_str());
  return out;
}

void ManageIsilon::SetPasswd(const string& password) {
  if (password != strPassword) EndSessionForChange();
  strPassword = password;
}

bool ManageIsilon::SetPasswd(const string& password, bool encrypted) {
  if (!encrypted) {
    SetPasswd(password);
    return true;
  }
  // The enciphered text is not the password: whatever it deciphers to, the session ends.
  EndSessionForChange();
  strPassword = password;
  char buffer[QuorPassword::kBufferSize];
  std::memset(buffer, 0, sizeof buffer);
  int length = sizeof buffer;
  // The cipher reads a C string: a NUL would have it decipher only the text before it.
  if (isilon::HasNul(password) || QuorPassword::decrypt(password.c_str(), buffer, &length) == 0) {
    Log("bool ManageIsilon::SetPasswd(const string&, bool)", __LINE__, -1, "Failed to decrypt password.");
    return false;
  }
  // Bounded, in case a cipher filled the whole buffer without a terminator.
  strPassword.assign(buffer, strnlen(buffer, sizeof buffer));
  std::memset(buffer, 0, sizeof buffer);
  return true;
}

void ManageIsilon::SetSessionOptions(const IsilonSessionOptions& options) {
  session_->options = options;
  session_->settingsRead = false;
}

const IsilonSessionOptions& ManageIsilon::GetSessionOptions() const { return session_->options; }

const isilon::Settings& ManageIsilon::CurrentSettings() { return session_->Current(); }

void ManageIsilon::GetLastError(string& code, string& message) {
  code = strLastErrorCode;
  message = strLastErrorMessage;
}

string ManageIsilon::GetLastTransportError() const {
  return pTransport != nullptr ? pTransport->GetLastErrorText() : string();
}

ManageIsilon::RequestCounters ManageIsilon::GetRequestCounters() const {
  const isilon::CycleCounters& done = session_->counters;
  RequestCounters counters;
  counters.retries = done.retries;
  counters.reopenedSessions = done.reopenedSessions;
  counters.nodeSwitches = done.nodeSwitches;
  counters.argumentFallbacks = done.argumentFallbacks;
  return counters;
}

void ManageIsilon::SetFirstNode(size_t index) {
  // The next session starts on that node rather than where the last one was; an open one
  // keeps its node (its cookie is valid only there).
  session_->nodes.SetFirst(index, /*keepCurrent=*/bConnected);
}

bool ManageIsilon::ClusterUnreachable() const { return session_->cycle.Unreachable(); }

void ManageIsilon::ShareTlsSessions(std::shared_ptr<isilon::TlsSessionCache> cache) {
  session_->cycle.ShareTlsSessions(std::move(cache));
}

// The doors into the layers.

bool ManageIsilon::OpenConnection() {
  if (bConnected) return true;
  ClearLastError();
  const RequestStep step{kOpenFn, kPost, "", isilon::FailureLine::kSkip};
  const RequestOutcome outcome = session_->cycle.Open();
  Report(step, outcome);
  return outcome.Succeeded();
}

bool ManageIsilon::CloseConnection() {
  ClearLastError();
  const RequestOutcome outcome = session_->login.Close();
  if (!outcome.Succeeded()) SetLastError(outcome.code, outcome.message);
  return true;
}

bool ManageIsilon::SetCurlHeaders() { return session_->login.InstallHeaders(); }

bool ManageIsilon::SendRequest(string& response, const int& method, const string& uri, const string& body,
                               const bool& resetHeaders) {
  TransportResult result = TransportResult::kNotSent;
  const isilon::Sender::Sent sent = session_->sender.SendOnce(response, method, uri, body, resetHeaders, result);
  if (sent == isilon::Sender::Sent::kAccepted) return true;
  // A false always says why: refused input, no session, or what came back (the cluster's
  // error reply, else the transport's cause).
  if (sent == isilon::Sender::Sent::kRefused || uri.empty()) {
    SetLastError("Internal error", "Invalid input parameters");
  } else if (pTransport == nullptr) {
    SetLastError("Internal error", "No session is open: the request was not sent.");
  } else {
    IsilonJsonBase reply;
    reply.ParseError(response);
    string code, message;
    reply.getError(code, message);
    const string cause = pTransport->GetLastErrorText();
    isilon::FillReason(code, message, !cause.empty() ? cause.c_str() : "No response received from file server.");
    SetLastError(code, message);
  }
  return false;
}

ManageIsilon::RequestOutcome ManageIsilon::RunRequest(const RequestStep& step, IsilonJsonBase& request,
                                                      const RequestBuilder& build, string& response) {
  const RequestOutcome outcome = session_->cycle.Run(step, request, build, response);
  Report(step, outcome);
  return outcome;
}

void ManageIsilon::EndSessionForChange() {
  if (bConnected) CloseConnection();
  session_->login.ReleaseTransport();
  session_->login.Forget();
}

// The last error and the log.

void ManageIsilon::Report(const RequestStep& step, const RequestOutcome& outcome) {
  if (outcome.Succeeded()) return;
  SetLastError(outcome.code, outcome.message);
  if (outcome.NotMade() && step.failureLine == isilon::FailureLine::kWrite) LogFailure(step.function, __LINE__);
}

void ManageIsilon::Log(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  isilon::WriteLogV(function, line, level, nLogContext, format, args);
  va_end(args);
}

void ManageIsilon::LogNoContext(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  isilon::WriteLogV(function, line, level, 0, format, args);
  va_end(args);
}

void ManageIsilon::ClearLastError() {
  strLastErrorCode.clear();
  strLastErrorMessage.clear();
  session_->cycle.ClearUnreachable();
  // A new operation: the registry is read again when it is next needed.
  session_->settingsRead = false;
}

bool ManageIsilon::FailInput(const char* function, int line) {
  return Fail(function, line, "Internal error", "Invalid input parameters");
}

void ManageIsilon::SetLastError(const string& code, const string& message) {
  strLastErrorCode = code;
  strLastErrorMessage = message;
}

bool ManageIsilon::LogFailure(const char* function, int line) const {
  Log(function, line, -1, "File server[%s], ErrorCode[%s], ErrorMessage[%s]", strFileServer.c_str(),
      strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  return false;
}

bool ManageIsilon::Fail(const char* function, int line, const string& code, const string& message) {
  SetLastError(code, message);
  return LogFailure(function, line);
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
