#include "src/session/Login.h"

#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"
#include "src/common/InputChecks.h"
#include "src/common/Redact.h"
#include "src/common/ReplyShape.h"
#include "src/transport/TransportConfig.h"

namespace isilon {

namespace {

const char kOpenFn[] = "bool ManageIsilon::OpenConnection()";
const char kCloseFn[] = "bool ManageIsilon::CloseConnection()";
const char kHeadersFn[] = "bool ManageIsilon::SetCurlHeaders()";
const char kSendFn[] =
    "bool ManageIsilon::SendRequest(std::string&, const int&, const string&, const string&, const bool&)";

// The piece of `text` from `from` to the next ";" or "," (cookies folded into one line) or the end.
std::string UpToSemicolon(const std::string& text, size_t from) {
  const size_t end = text.find_first_of(";,", from);
  return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// A cookie value without the quotes RFC 6265 allows around it.
std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// Where the value of the cookie `name` ("isisessid=") starts in a Set-Cookie line without its
// spaces: only where a cookie starts (the line's start, or a ',' where lines were folded into
// one), never inside another cookie's name or value, nor in an attribute.
size_t CookieValue(const std::string& text, const std::string& name) {
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    if (at == 0 || text[at - 1] == ',') return at + name.size();
  }
  return std::string::npos;
}

// Blanks (spaces and tabs) are no part of a cookie's name or value, only of the line's layout.
std::string WithoutBlanks(const std::string& received) {
  std::string text;
  text.reserve(received.size());
  for (char c : received) {
    if (c != ' ' && c != '\t') text += c;
  }
  return text;
}

}  // namespace

void Login::ReleaseTransport() {
  if (s_.transport == nullptr) return;
  s_.transport->QuorLibCurlDeInit();
  delete s_.transport;
  s_.transport = nullptr;
}

void Login::Forget() {
  s_.connected = false;
  s_.cookie.clear();
  s_.csrf.clear();
  s_.referer.clear();
}

RequestOutcome Login::Prepare(const TransportConfig& config) {
  const auto refuse = [this](int line, const char* code, const char* message) {
    log_.Failure(kOpenFn, line, code, message);
    return RequestOutcome::Refused(code, message);
  };
  if (!IsBareServer(s_.server)) {
    log_(kOpenFn, __LINE__, -1,
         "File server[%s] must be a bare host name or address (no scheme, user, port or path): port 8080 is implied.",
         s_.server.c_str());
    return refuse(__LINE__, "Internal error", "Invalid input parameters");
  }
  // The cluster reads the login's user and password as C strings: with a NUL it would check a
  // shorter password, or another user.
  if (AnyHasNul(s_.user, s_.password)) {
    log_(kOpenFn, __LINE__, -1, "User or password for file server[%s] holds a NUL byte.", s_.server.c_str());
    return refuse(__LINE__, "Internal error", "Invalid input parameters");
  }
  ReleaseTransport();
  s_.transport = CreateTransport();
  if (s_.transport == nullptr) return refuse(__LINE__, "Internal Error", "Failed to create curl object.");
  s_.transport->Preset(config);
  if (!s_.transport->QuorLibCurlInit("Content-Type: application/json", /*keepAlive=*/true, /*verbose=*/true,
                                     /*writeCallback=*/nullptr)) {
    return refuse(__LINE__, "Internal Error", "Failed to initialize curl");
  }
  IsilonJsonCreateSession request;
  request.Initialize(s_.server, s_.user, s_.password);
  if (!request.BuildRequest(uri_, body_)) {
    return refuse(__LINE__, "Internal Error", "Failed to set create OpenConnection request.");
  }
  RequestOutcome ready;
  ready.fate = RequestFate::kSucceeded;
  return ready;
}

bool Login::Pin(const std::string& node, bool announce) {
  static const char kPinFn[] = "void ManageIsilon::PinSessionNode()";
  if (node.empty()) return true;
  const bool pinned = s_.transport->SetConnectAddress(node);
  if (!announce) return pinned;
  if (!pinned) {
    log_(kPinFn, __LINE__, -1, "Could not bind the session to node[%s] of file server[%s].", node.c_str(),
         s_.server.c_str());
  }
  log_(kPinFn, __LINE__, 3, "Session on file server[%s] goes to node[%s].", s_.server.c_str(), node.c_str());
  return pinned;
}

RequestOutcome Login::Post(std::string& response) {
  RequestStep step{kOpenFn, HTTP_REQ_POST, "Failed to set create OpenConnection request."};
  // A login cut off may have made a session; another one is harmless (the first expires).
  step.whenCutOff = WhenCutOff::kRepeat;
  return sender_.Send(step, uri_, body_, response);
}

RequestOutcome Login::Finish(
    RequestOutcome sent,
    std::string& response) {  // The body holds the password in clear: wipe it before the memory is released.
  body_.assign(body_.size(), '\0');
  body_.clear();
  IsilonJsonCreateSession request;
  if (!sent.Succeeded()) {
    request.ParseError(response);
    request.getError(sent.code, sent.message);
    FillReason(sent.code, sent.message, "Failed to open connection.");
    log_(kOpenFn, __LINE__, -1, "Failed to open connection with file server[%s]. Error[%s]:[%s]", s_.server.c_str(),
         sent.code.c_str(), sent.message.c_str());
    return sent;
  }
  const auto refuse = [this](int line, const char* code, const char* message) {
    log_.Failure(kOpenFn, line, code, message);
    return RequestOutcome::Refused(code, message);
  };
  if (!request.IsilonJsonBase::ParseResponse(response)) {
    return refuse(__LINE__, "Internal Error", "Failed to parse response.");
  }
  std::vector<std::string> cookies;
  s_.transport->GetHttpResponseHeaders("Set-Cookie", cookies);
  TakeCookies(cookies, /*logEach=*/true, /*replacing=*/false);
  if (!InstallHeaders()) return refuse(__LINE__, "curl error", "Failed to set headers");
  log_(kOpenFn, __LINE__, 0, "Successfully opened connection to file server[%s]", s_.server.c_str());
  s_.connected = true;
  return sent;
}

RequestOutcome Login::Close() {
  RequestOutcome outcome;
  outcome.fate = RequestFate::kSucceeded;
  if (s_.connected) {
    IsilonJsonCloseSession request(s_.server);
    std::string uri, response;
    TransportResult result = TransportResult::kNotSent;
    // Sent twice, a logout ends the same session: it takes the kept-alive connection rather
    // than a TLS handshake of its own.
    if (!request.BuildRequest(uri)) {
      log_(kCloseFn, __LINE__, -1, "Failed to create Json request for closing session");
    } else if (sender_.SendOnce(response, HTTP_REQ_DELETE, uri, "", /*resetHeaders=*/true, result,
                                /*maySendTwice=*/true) != Sender::Sent::kAccepted ||
               !response.empty()) {
      request.ParseError(response);
      request.getError(outcome.code, outcome.message);
      FillReason(outcome.code, outcome.message, "Failed to close connection.");
      outcome.fate = RequestFate::kErrorStatus;
      log_.NoContext(kCloseFn, __LINE__, -1, "Failed to close connection with file server[%s]. Error[%s]:[%s]",
                     s_.server.c_str(), outcome.code.c_str(), outcome.message.c_str());
    } else {
      log_(kCloseFn, __LINE__, 0, "Successfully closed the session on file server [%s]", s_.server.c_str());
    }
  }
  if (s_.transport != nullptr) {
    log_(kCloseFn, __LINE__, 0, "DeInitialize Curl");
    ReleaseTransport();
    s_.connected = false;
  }
  return outcome;
}

void Login::TakeCookies(const std::vector<std::string>& setCookies, bool logEach, bool replacing) {
  for (const std::string& received : setCookies) {
    if (logEach && log_.Wants(2)) log_(kOpenFn, __LINE__, 2, "Header [%s]", RedactSecrets(received).c_str());
    const std::string text = WithoutBlanks(received);
    // Both may come in one line, folded. A replacement that clears a value (as on a logout),
    // quoted or not, is none: what works is kept.
    size_t at = CookieValue(text, "isicsrf=");
    if (at != std::string::npos) {
      const std::string token = Unquoted(UpToSemicolon(text, at));
      if (!replacing || !token.empty()) {
        s_.csrf = "X-CSRF-Token: " + token;
        s_.referer = "Referer: https://" + s_.server + ":8080";
      }
    }
    at = CookieValue(text, "isisessid=");
    if (at != std::string::npos) {
      const std::string value = UpToSemicolon(text, at);
      if (!replacing || !Unquoted(value).empty()) s_.cookie = "Cookie: isisessid=" + value;
    }
  }
}

void Login::TakeRenewed() {
  if (!s_.connected || s_.transport == nullptr) return;
  std::vector<std::string> setCookies;
  if (!s_.transport->GetHttpResponseHeaders("Set-Cookie", setCookies) || setCookies.empty()) return;
  const std::string cookie = s_.cookie, csrf = s_.csrf;
  TakeCookies(setCookies, /*logEach=*/false, /*replacing=*/true);
  if (cookie == s_.cookie && csrf == s_.csrf) return;
  // The transport's list still holds the old values; the next request must carry the new ones
  // even when it does not install the headers afresh.
  s_.transport->QuorLibCurlFreeHttpHeaderList();
  if (!InstallHeaders()) log_(kSendFn, __LINE__, -1, "Failed to set curl headers.");
}

bool Login::InstallHeaders() {
  QuorLibCurl* transport = s_.transport;
  if (transport == nullptr) return false;
  if (!s_.cookie.empty()) {
    if (log_.Wants(2)) log_(kHeadersFn, __LINE__, 2, " Cookie[%s]", RedactSecrets(s_.cookie).c_str());
    if (!transport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, s_.cookie)) {
      log_(kHeadersFn, __LINE__, -1, "Failed to set CURL cookie file header");
      return false;
    }
  }
  if (!s_.csrf.empty()) {
    if (log_.Wants(2)) log_(kHeadersFn, __LINE__, 2, " CSRF Token [%s]", RedactSecrets(s_.csrf).c_str());
    if (!transport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, s_.csrf)) {
      log_(kHeadersFn, __LINE__, -1, "Failed to set header:X-CSRF-Token");
      return false;
    }
  }
  if (s_.referer.empty()) return true;
  // Written over in place: no allocation on each request.
  s_.referer.assign("Referer: https://").append(s_.server).append(":8080");
  if (!transport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, s_.referer)) {
    log_(kHeadersFn, __LINE__, -1, "Failed to set header:Referer");
    return false;
  }
  return true;
}

}  // namespace isilon
