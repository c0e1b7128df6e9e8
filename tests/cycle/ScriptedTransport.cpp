#include "tests/cycle/ScriptedTransport.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "host/Sleep.h"

namespace cycletest {

namespace {

std::vector<unsigned>& RecordedSleeps() {
  static std::vector<unsigned> sleeps;
  return sleeps;
}

void RecordSleep(unsigned int milliseconds, const char*, int) { RecordedSleeps().push_back(milliseconds); }

const char* MethodName(_http_req_type_ method) {
  switch (method) {
    case HTTP_REQ_GET: return "GET";
    case HTTP_REQ_POST: return "POST";
    case HTTP_REQ_PUT: return "PUT";
    case HTTP_REQ_DELETE: return "DELETE";
  }
  return "?";
}

}  // namespace

Reply Reply::Ok(std::string body, long status) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Status(long status, std::string body) {
  Reply reply;
  reply.result = status >= 200 && status < 300 ? TransportResult::kSucceeded : TransportResult::kErrorStatus;
  reply.status = status;
  reply.body = std::move(body);
  reply.errorText = "HTTP status " + std::to_string(status);
  return reply;
}

Reply Reply::Failure(TransportResult result) {
  Reply reply;
  reply.result = result;
  reply.status = 0;
  switch (result) {
    case TransportResult::kNoConnection: reply.errorText = "Connection refused"; break;
    case TransportResult::kNotSent: reply.errorText = "SSL certificate problem: self-signed certificate"; break;
    case TransportResult::kNoReply: reply.errorText = "Connection reset by peer"; break;
    case TransportResult::kTimedOut: reply.errorText = "Operation timed out after 1800000 milliseconds"; break;
    case TransportResult::kSucceeded:
    case TransportResult::kErrorStatus: break;
  }
  return reply;
}

Reply Reply::Error(long status, const std::string& code, const std::string& message) {
  return Status(status, R"({"errors":[{"code":")" + code + R"(","message":")" + message + R"("}]})");
}

bool SentRequest::IsLogin() const {
  return method == HTTP_REQ_POST && uri.find(":8080/session/1/session") != std::string::npos;
}

std::string SentRequest::Header(const std::string& name) const {
  std::string value;
  for (const std::string& line : headers) {
    const size_t colon = line.find(':');
    if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      const size_t begin = line.find_first_not_of(' ', colon + 1);
      value = begin == std::string::npos ? std::string() : line.substr(begin);
    }
  }
  return value;
}

bool SentRequest::HasHeader(const std::string& name) const {
  for (const std::string& line : headers) {
    if (line.find(':') == name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) return true;
  }
  return false;
}

std::vector<SentRequest> Script::Operations() const {
  std::vector<SentRequest> operations;
  for (const SentRequest& request : sent_) {
    if (!request.IsLogin()) operations.push_back(request);
  }
  return operations;
}

size_t Script::Logins() const { return sent_.size() - Operations().size(); }

Reply Script::Answer(SentRequest request) {
  const std::string what = std::string(MethodName(request.method)) + " " + request.uri;
  const bool refused = refused_.count(request.connectAddress) != 0;
  sent_.push_back(std::move(request));
  if (refused) return Reply::Failure(TransportResult::kNoConnection);
  if (replies_.empty()) {
    ADD_FAILURE() << "request beyond the script: " << what;
    return Reply::Failure(TransportResult::kNotSent);
  }
  Reply reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

ScriptedTransport::ScriptedTransport(std::shared_ptr<Script> script)
    : script_(std::move(script)), id_(script_->NewTransport()) {}

bool ScriptedTransport::QuorLibCurlInit(const char* contentType, bool, bool, QuorLibCurlWriteCallback) {
  initialised_ = true;
  contentType_ = contentType != nullptr ? contentType : "";
  return true;
}

bool ScriptedTransport::QuorLibCurlAppendHeader(_http_hdr_type_, const std::string& line) {
  if (line.find(':') == std::string::npos || line.find('\0') != std::string::npos) return false;
  headers_.push_back(line);
  return true;
}

void ScriptedTransport::QuorLibCurlFreeHttpHeaderList() { headers_.clear(); }

bool ScriptedTransport::QuorLibCurlSendHttpReq(_http_req_type_ type, const std::string& uri, const char* data,
                                               size_t length, bool, const char*) {
  EXPECT_TRUE(initialised_) << "request on a transport that was not initialised: " << uri;
  SentRequest request;
  request.transport = id_;
  request.method = type;
  request.uri = uri;
  request.headers = headers_;
  if (!contentType_.empty()) request.headers.insert(request.headers.begin(), contentType_);
  if (data != nullptr) request.body.assign(data, length);
  request.connectAddress = connectAddress_;
  last_ = script_->Answer(std::move(request));
  answered_ = true;
  return last_.result == TransportResult::kSucceeded;
}

char* ScriptedTransport::GetHttpResponse(unsigned long& code, bool) {
  code = answered_ ? static_cast<unsigned long>(last_.status) : 0;
  if (!answered_ || last_.body.empty()) return nullptr;
  char* text = static_cast<char*>(std::malloc(last_.body.size() + 1));
  std::memcpy(text, last_.body.c_str(), last_.body.size() + 1);
  return text;
}

bool ScriptedTransport::GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values) {
  if (!answered_) return false;
  for (const auto& header : last_.headers) {
    if (strcasecmp(header.first.c_str(), name.c_str()) == 0) values.push_back(header.second);
  }
  return true;
}

void ScriptedTransport::toggleTrace(bool) {}

void ScriptedTransport::QuorLibCurlDeInit() {
  initialised_ = false;
  headers_.clear();
}

std::string ScriptedTransport::GetLastErrorText() const { return answered_ ? last_.errorText : std::string(); }

long ScriptedTransport::GetLastHttpStatus() const { return answered_ ? last_.status : 0; }

TransportResult ScriptedTransport::GetLastResult() const {
  return answered_ ? last_.result : TransportResult::kNotSent;
}

bool ScriptedTransport::SetConnectAddress(const std::string& address) {
  connectAddress_ = address;
  return true;
}

bool ScriptedTransport::SetCAFile(const std::string&) { return true; }

ScopedScriptedCluster::ScopedScriptedCluster() : script_(std::make_shared<Script>()) {
  RecordedSleeps().clear();
  std::shared_ptr<Script> script = script_;
  SetTransportFactory([script]() -> QuorLibCurl* { return new ScriptedTransport(script); });
  SetZemSleepHook(&RecordSleep);
}

ScopedScriptedCluster::~ScopedScriptedCluster() {
  SetTransportFactory(nullptr);
  SetZemSleepHook(nullptr);
}

const std::vector<unsigned>& ScopedScriptedCluster::Sleeps() { return RecordedSleeps(); }

}  // namespace cycletest
