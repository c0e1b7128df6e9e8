#pragma once
// A transport that answers from a script instead of a network, for tests of the request cycle
// through the public interface only: no TLS, no simulator, no waiting. Every transport object
// the library makes (one per session it opens) answers from the same script and writes what it
// was asked into the same record.
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/QuorLibCurl.h"

namespace cycletest {

// One answer of the scripted cluster: a status with headers and a body, or a transport failure.
struct Reply {
  TransportResult result = TransportResult::kSucceeded;
  long status = 200;  // 0 for a transport failure
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string errorText;  // the transport's cause for a failure

  static Reply Ok(std::string body = std::string(), long status = 200);
  static Reply Status(long status, std::string body = std::string());
  static Reply Failure(TransportResult result);
  // The cluster's error list with one entry.
  static Reply Error(long status, const std::string& code, const std::string& message);
  Reply& With(const std::string& name, const std::string& value) {
    headers.emplace_back(name, value);
    return *this;
  }
};

// What the library asked a transport to send.
struct SentRequest {
  int transport = 0;  // which transport object: 1 for the first the library made
  _http_req_type_ method = HTTP_REQ_GET;
  std::string uri;
  std::vector<std::string> headers;  // the header lines in force, in order
  std::string body;
  std::string connectAddress;  // the node it was sent to (empty: the URL's host)

  bool IsLogin() const;
  // The value of the last header line called `name` (compared without case), or empty.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

class Script {
 public:
  // Answers in the order requests come; a request beyond the last answer fails the test.
  void Add(Reply reply) { replies_.push_back(std::move(reply)); }
  void Add(std::vector<Reply> replies) {
    for (Reply& reply : replies) replies_.push_back(std::move(reply));
  }
  // Every request connected to `address` is refused from now on, without using an answer.
  void Refuse(const std::string& address) { refused_.insert(address); }
  void Accept(const std::string& address) { refused_.erase(address); }

  size_t Unused() const { return replies_.size(); }
  const std::vector<SentRequest>& Sent() const { return sent_; }
  // The requests other than logins, in order.
  std::vector<SentRequest> Operations() const;
  size_t Logins() const;
  int Transports() const { return transports_; }

  // For the transport.
  Reply Answer(SentRequest request);
  int NewTransport() { return ++transports_; }

 private:
  std::deque<Reply> replies_;
  std::set<std::string> refused_;
  std::vector<SentRequest> sent_;
  int transports_ = 0;
};

class ScriptedTransport : public QuorLibCurl {
 public:
  explicit ScriptedTransport(std::shared_ptr<Script> script);

  bool QuorLibCurlInit(const char* contentType, bool keepAlive, bool verbose,
                       QuorLibCurlWriteCallback writeCallback) override;
  bool QuorLibCurlAppendHeader(_http_hdr_type_ type, const std::string& line) override;
  void QuorLibCurlFreeHttpHeaderList() override;
  bool QuorLibCurlSendHttpReq(_http_req_type_ type, const std::string& uri, const char* data, size_t length, bool flag,
                              const char* text) override;
  char* GetHttpResponse(unsigned long& code, bool flag) override;
  bool GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values) override;
  void toggleTrace(bool on) override;
  void QuorLibCurlDeInit() override;
  std::string GetLastErrorText() const override;
  long GetLastHttpStatus() const override;
  TransportResult GetLastResult() const override;
  bool SetConnectAddress(const std::string& address) override;
  bool SetCAFile(const std::string& path) override;

 private:
  std::shared_ptr<Script> script_;
  int id_;
  bool initialised_ = false;
  std::string contentType_;
  std::vector<std::string> headers_;
  std::string connectAddress_;
  Reply last_;
  bool answered_ = false;
};

// Installs the scripted transport and a sleep hook that records every wait instead of waiting;
// restores the real ones when it goes.
class ScopedScriptedCluster {
 public:
  ScopedScriptedCluster();
  ~ScopedScriptedCluster();
  ScopedScriptedCluster(const ScopedScriptedCluster&) = delete;
  ScopedScriptedCluster& operator=(const ScopedScriptedCluster&) = delete;

  Script& script() { return *script_; }
  // The waits asked for since this object was made, in milliseconds.
  static const std::vector<unsigned>& Sleeps();

 private:
  std::shared_ptr<Script> script_;
};

}  // namespace cycletest
