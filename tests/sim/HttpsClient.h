#pragma once
// A small libcurl client for the simulator's own tests: one easy handle, so one kept-alive TLS
// connection, as the library's transport uses it.
#include <curl/curl.h>

#include <string>
#include <utility>
#include <vector>

struct HttpReply {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
  size_t bodyBytes = 0;  // counted even when the body is not kept
  std::vector<std::pair<std::string, std::string>> headers;

  std::string header(const std::string& name) const;  // first value, case-insensitive name
  std::vector<std::string> all(const std::string& name) const;
  // Value of cookie `name` in the Set-Cookie headers, or empty.
  std::string cookie(const std::string& name) const;
};

class HttpsClient {
 public:
  // `caFile` empty: no certificate checks at all.
  HttpsClient(std::string baseUrl, std::string caFile);
  ~HttpsClient();
  HttpsClient(const HttpsClient&) = delete;
  HttpsClient& operator=(const HttpsClient&) = delete;

  HttpReply send(const std::string& method, const std::string& target, const std::string& body = std::string(),
                 const std::vector<std::string>& headers = std::vector<std::string>(), bool keepBody = true);

  // Logs in and keeps the cookies; true on 201.
  bool login(const std::string& user, const std::string& password, HttpReply* reply = nullptr);
  // A request with the session's Cookie, X-CSRF-Token and Referer headers.
  HttpReply authed(const std::string& method, const std::string& target, const std::string& body = std::string(),
                   bool keepBody = true);

  std::string sessionId;
  std::string csrfToken;
  // Connections opened so far (1 while keep-alive holds).
  long connections() const { return connections_; }

 private:
  CURL* curl_;
  std::string baseUrl_;
  std::string caFile_;
  long connections_ = 0;
};
