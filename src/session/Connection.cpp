// Opening, using and closing the authenticated session.
#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

#include "host/QuorLibCurl.h"
#include "isilon/ManageIsilon.h"
#include "src/common/InputChecks.h"
#include "src/common/Redact.h"
#include "src/common/ReplyShape.h"
#include "src/session/Cycle.h"

using isilon::RedactSecrets;

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

}  // namespace

void ManageIsilon::ReleaseTransport() {
  if (pTransport == nullptr) return;
  pTransport->QuorLibCurlDeInit();
  delete pTransport;
  pTransport = nullptr;
}

void ManageIsilon::ForgetSession() {
  bConnected = false;
  strCookieHeader.clear();
  strCsrfHeader.clear();
  strRefererHeader.clear();
}

void ManageIsilon::EndSessionForChange() {
  if (bConnected) CloseConnection();
  ReleaseTransport();
  ForgetSession();
}

void ManageIsilon::TakeSessionCookies(const vector<string>& setCookies, bool logEach) {
  for (const string& received : setCookies) {
    if (logEach) Log(kOpenFn, __LINE__, 2, "Header [%s]", RedactSecrets(received).c_str());
    string text;
    text.reserve(received.size());
    for (char c : received) {
      if (c != ' ') text += c;
    }
    // Both may come in one line, folded.
    size_t pos = text.find("isicsrf=");
    if (pos != string::npos) {
      strCsrfHeader = "X-CSRF-Token: " + Unquoted(UpToSemicolon(text, pos + 8));
      strRefererHeader = "Referer: https://" + strFileServer + ":8080";
    }
    pos = text.find("isisessid=");
    if (pos != string::npos) strCookieHeader = "Cookie: " + UpToSemicolon(text, pos);
  }
}

void ManageIsilon::TakeRenewedCookies(const vector<string>& setCookies) {
  // A cookie that clears a value (as on a logout) is no replacement: keep what works.
  vector<string> usable;
  for (const string& received : setCookies) {
    string text;
    for (char c : received) {
      if (c != ' ') text += c;
    }
    size_t pos = text.find("isicsrf=");
    if (pos == string::npos) pos = text.find("isisessid=");
    if (pos == string::npos) continue;
    if (!UpToSemicolon(text, text.find('=', pos) + 1).empty()) usable.push_back(received);
  }
  if (usable.empty()) return;
  const string cookie = strCookieHeader, csrf = strCsrfHeader;
  TakeSessionCookies(usable, /*logEach=*/false);
  if (cookie == strCookieHeader && csrf == strCsrfHeader) return;
  // The transport's list still holds the old values; the next request must carry the new ones
  // even when it does not install the headers afresh.
  pTransport->QuorLibCurlFreeHttpHeaderList();
  if (!SetCurlHeaders()) Log(kSendFn, __LINE__, -1, "Failed to set curl headers.");
}

bool ManageIsilon::SetCurlHeaders() {
  if (pTransport == nullptr) return false;
  if (!strCookieHeader.empty()) {
    Log(kHeadersFn, __LINE__, 2, " Cookie[%s]", RedactSecrets(strCookieHeader).c_str());
    if (!pTransport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, strCookieHeader)) {
      Log(kHeadersFn, __LINE__, -1, "Failed to set CURL cookie file header");
      return false;
    }
  }
  if (!strCsrfHeader.empty()) {
    Log(kHeadersFn, __LINE__, 2, " CSRF Token [%s]", RedactSecrets(strCsrfHeader).c_str());
    if (!pTransport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, strCsrfHeader)) {
      Log(kHeadersFn, __LINE__, -1, "Failed to set header:X-CSRF-Token");
      return false;
    }
  }
  if (strRefererHeader.empty()) return true;
  strRefererHeader = "Referer: https://" + strFileServer + ":8080";
  if (!pTransport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, strRefererHeader)) {
    Log(kHeadersFn, __LINE__, -1, "Failed to set header:Referer");
    return false;
  }
  return true;
}

bool ManageIsilon::SendRequest(string& response, const int& method, const string& uri, const string& body,
                               const bool& resetHeaders) {
  TransportResult result = TransportResult::kNotSent;
  return SendOnce(response, method, uri, body, resetHeaders, result);
}

bool ManageIsilon::SendOnce(string& response, int method, const string& uri, const string& body, bool resetHeaders,
                            TransportResult& result) {
  result = TransportResult::kNotSent;
  if (uri.empty()) {
    Log(kSendFn, __LINE__, -1, "Input URI is empty");
    return false;
  }
  // libcurl resolves dot segments before sending, so such a URI would reach another resource
  // than the one its pieces name.
  if (isilon::HasDotSegment(uri)) {
    SetLastError("Internal error", "Invalid input parameters");
    Log(kSendFn, __LINE__, -1, "URI:[%s] has a dot segment; not sent.", isilon::Printable(uri).c_str());
    return false;
  }
  // The transport takes the URI as a C string, which a NUL would end early; a control byte or
  // a blank cannot be in a request line at all. A body is sent by its length, but a NUL in it
  // is no JSON the cluster reads whole either.
  if (!isilon::IsSendableUri(uri) || isilon::HasNul(body)) {
    SetLastError("Internal error", "Invalid input parameters");
    Log(kSendFn, __LINE__, -1, "URI:[%s] or its body holds a byte that cannot be sent; not sent.",
        isilon::Printable(uri).c_str());
    return false;
  }
  response.clear();
  if (pTransport == nullptr) {
    Log(kSendFn, __LINE__, -1, "Curl request failed for URI:[%s]", uri.c_str());
    return false;
  }
  if (resetHeaders) {
    pTransport->QuorLibCurlFreeHttpHeaderList();
    if (!SetCurlHeaders()) {
      Log(kSendFn, __LINE__, -1, "Failed to set curl headers.");
      return false;
    }
  }
  const bool accepted = pTransport->QuorLibCurlSendHttpReq(static_cast<_http_req_type_>(method), uri,
                                                           body.empty() ? nullptr : body.data(), body.size(),
                                                           /*flag=*/false, /*text=*/nullptr);
  result = pTransport->GetLastResult();
  if (!accepted) Log(kSendFn, __LINE__, -1, "Curl request failed for URI:[%s]", uri.c_str());

  // A host's own transport hands its reply over as a zero-terminated copy; ours gives it
  // byte for byte, without the extra copy and the large allocation a page would cost.
  if (typeid(*pTransport) == typeid(QuorLibCurl)) {
    pTransport->CopyResponseBody(response);
  } else {
    unsigned long code = 0;
    if (char* text = pTransport->GetHttpResponse(code, /*flag=*/true)) {
      response = text;
      std::free(text);
    }
  }
  // The cluster hands out replacement session cookies before the idle time runs out; taking
  // them up keeps long walks and waits working.
  if (bConnected) {
    vector<string> cookies;
    if (pTransport->GetHttpResponseHeaders("Set-Cookie", cookies) && !cookies.empty()) {
      TakeRenewedCookies(cookies);
    }
  }
  return accepted;
}

bool ManageIsilon::OpenConnection() {
  if (bConnected) return true;
  ClearLastError();
  if (!isilon::IsBareServer(strFileServer)) {
    Log(kOpenFn, __LINE__, -1,
        "File server[%s] must be a bare host name or address (no scheme, user, port or path): port 8080 is implied.",
        strFileServer.c_str());
    return FailInput(kOpenFn, __LINE__);
  }
  // The cluster reads the login's user and password as C strings: with a NUL it would check a
  // shorter password, or another user.
  if (isilon::AnyHasNul(strUser, strPassword)) {
    Log(kOpenFn, __LINE__, -1, "User or password for file server[%s] holds a NUL byte.", strFileServer.c_str());
    return FailInput(kOpenFn, __LINE__);
  }

  ReleaseTransport();
  pTransport = CreateTransport();
  if (pTransport == nullptr) {
    return Fail(kOpenFn, __LINE__, "Internal Error", "Failed to create curl object.");
  }
  if (!pTransport->QuorLibCurlInit("Content-Type: application/json", /*keepAlive=*/true, /*verbose=*/true,
                                   /*writeCallback=*/nullptr)) {
    return Fail(kOpenFn, __LINE__, "Internal Error", "Failed to initialize curl");
  }
  PinSessionNode();

  IsilonJsonCreateSession request;
  request.Initialize(strFileServer, strUser, strPassword);
  string uri, body, response;
  if (!request.BuildRequest(uri, body)) {
    return Fail(kOpenFn, __LINE__, "Internal Error", "Failed to set create OpenConnection request.");
  }
  RequestStep step{kOpenFn, kPost, "Failed to set create OpenConnection request."};
  // A login cut off may have made a session; another one is harmless (the first expires).
  step.whenCutOff = isilon::WhenCutOff::kRepeat;
  RequestOutcome outcome = Exchange(step, uri, body, response);
  // A node that refuses connections is passed over: any node of the cluster can log in.
  for (size_t tried = 1; outcome.transport == TransportResult::kNoConnection && tried < nodeAddresses_.size();
       ++tried) {
    const string failed = sessionNode_;
    if (!PinNextNode()) break;
    Log(kOpenFn, __LINE__, 0, "Node[%s] of file server[%s] did not answer; trying node[%s].", failed.c_str(),
        strFileServer.c_str(), sessionNode_.c_str());
    ++nodeSwitches_;
    outcome = Exchange(step, uri, body, response);
  }
  // The body holds the password in clear: wipe it before the memory is released.
  body.assign(body.size(), '\0');
  if (!outcome.Succeeded()) {
    clusterUnreachable_ = outcome.transport == TransportResult::kNoConnection;
    request.ParseError(response);
    request.getError(strLastErrorCode, strLastErrorMessage);
    isilon::FillReason(strLastErrorCode, strLastErrorMessage, "Failed to open connection.");
    Log(kOpenFn, __LINE__, -1, "Failed to open connection with file server[%s]. Error[%s]:[%s]", strFileServer.c_str(),
        strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    return false;
  }
  if (!request.IsilonJsonBase::ParseResponse(response)) {
    return Fail(kOpenFn, __LINE__, "Internal Error", "Failed to parse response.");
  }

  vector<string> cookies;
  pTransport->GetHttpResponseHeaders("Set-Cookie", cookies);
  TakeSessionCookies(cookies, /*logEach=*/true);

  if (!SetCurlHeaders()) return Fail(kOpenFn, __LINE__, "curl error", "Failed to set headers");

  Log(kOpenFn, __LINE__, 0, "Successfully opened connection to file server[%s]", strFileServer.c_str());
  bConnected = true;
  return true;
}

bool ManageIsilon::CloseConnection() {
  ClearLastError();
  if (bConnected) {
    IsilonJsonCloseSession request(strFileServer);
    string uri, response;
    if (!request.BuildRequest(uri)) {
      Log(kCloseFn, __LINE__, -1, "Failed to create Json request for closing session");
    } else if (!SendRequest(response, kDelete, uri, "", /*resetHeaders=*/true) || !response.empty()) {
      request.ParseError(response);
      request.getError(strLastErrorCode, strLastErrorMessage);
      isilon::FillReason(strLastErrorCode, strLastErrorMessage, "Failed to close connection.");
      LogNoContext(kCloseFn, __LINE__, -1, "Failed to close connection with file server[%s]. Error[%s]:[%s]",
                   strFileServer.c_str(), strLastErrorCode.c_str(), strLastErrorMessage.c_str());
    } else {
      Log(kCloseFn, __LINE__, 0, "Successfully closed the session on file server [%s]", strFileServer.c_str());
    }
  }
  if (pTransport != nullptr) {
    Log(kCloseFn, __LINE__, 0, "DeInitialize Curl");
    ReleaseTransport();
    bConnected = false;
  }
  return true;
}
