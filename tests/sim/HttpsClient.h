#pragma once
// A small libcurl client for the simulator's own tests: one easy handle, so one kept-alive TLS
// connection, as the library's transport uses it. Independent of the library, so that a test
// failing here points at the simulator.
#include <curl/curl.h>
#include <strings.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

struct HttpReply {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  // The first header `name` (in any case) whose value starts with `prefix`, or empty.
  std::string header(const std::string& name, const std::string& prefix = std::string()) const {
    for (const auto& h : headers)
      if (strcasecmp(h.first.c_str(), name.c_str()) == 0 && h.second.compare(0, prefix.size(), prefix) == 0)
        return h.second;
    return std::string();
  }
  // Value of cookie `name` in the Set-Cookie headers, or empty.
  std::string cookie(const std::string& name) const {
    const std::string value = header("Set-Cookie", name + "=");
    return value.empty() ? value : value.substr(name.size() + 1, value.find(';') - name.size() - 1);
  }
  nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
  // A member of the first entry of the cluster's error shape, or empty.
  std::string error(const char* member) const {
    const nlohmann::json j = json();
    const nlohmann::json::json_pointer at("/errors/0/" + std::string(member));
    return j.contains(at) ? j[at].get<std::string>() : std::string();
  }
  // The status and the error code, as in "400 AEC_BAD_REQUEST".
  std::string failure() const { return std::to_string(status) + " " + error("code"); }
  // The web server's page for a session id it does not know.
  bool unknownSessionPage() const {
    return status == 401 && header("Content-Type").find("text/html") == 0 && body.find("<html>") == 0;
  }
};

class HttpsClient {
 public:
  HttpsClient(std::string baseUrl, const std::string& caFile) : baseUrl_(std::move(baseUrl)) {
    CURL* curl = curl_.get();
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) {
          static_cast<HttpReply*>(user)->body.append(data, size * count);
          return size * count;
        });
  }

  HttpReply send(const std::string& method, const std::string& target, const std::string& body = std::string(),
                 const std::vector<std::string>& headers = std::vector<std::string>()) {
    CURL* curl = curl_.get();
    HttpReply reply;
    curl_easy_setopt(curl, CURLOPT_URL, (baseUrl_ + target).c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);  // no body left from the request before
    if (method == "POST" || method == "PUT" || !body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, body.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_slist* list = curl_slist_append(nullptr, "Expect:");
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    reply.code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    // The headers of the last reply (not of a 100 Continue before it).
    for (curl_header* h = nullptr; (h = curl_easy_nextheader(curl, CURLH_HEADER, -1, h)) != nullptr;)
      reply.headers.emplace_back(h->name, h->value);
    long connects = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
    connections_ += connects;
    return reply;
  }

  // Logs in and keeps the cookies; true on 201.
  bool login(const std::string& user = "admin", const std::string& password = "secret", HttpReply* out = nullptr) {
    const HttpReply reply = send(
        "POST", "/session/1/session",
        nlohmann::json({{"username", user}, {"password", password}, {"services", {"platform", "namespace"}}}).dump(),
        {"Content-Type: application/json"});
    sessionId = reply.cookie("isisessid");
    csrfToken = reply.cookie("isicsrf");
    if (out) *out = reply;
    return reply.code == CURLE_OK && reply.status == 201;
  }
  // A request with the session's Cookie, X-CSRF-Token and Referer headers.
  HttpReply authed(const std::string& method, const std::string& target, const std::string& body = std::string()) {
    return send(method, target, body,
                {"Content-Type: application/json", "Cookie: isisessid=" + sessionId, "X-CSRF-Token: " + csrfToken,
                 "Referer: " + baseUrl_});
  }

  std::string sessionId, csrfToken;
  // Connections opened so far (1 while keep-alive holds).
  long connections() const { return connections_; }

 private:
  std::unique_ptr<CURL, void (*)(CURL*)> curl_{curl_easy_init(), &curl_easy_cleanup};
  std::string baseUrl_;
  long connections_ = 0;
};
