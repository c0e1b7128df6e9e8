#include "tests/sim/HttpsClient.h"

#include <strings.h>

namespace {
struct GlobalInit {
  GlobalInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

struct Sink {
  HttpReply* reply;
  bool keepBody;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  sink->reply->bodyBytes += size * count;
  if (sink->keepBody) sink->reply->body.append(data, size * count);
  return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<HttpReply*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.compare(0, 5, "HTTP/") == 0) {
    reply->headers.clear();  // a new reply (after 100 Continue)
  } else {
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t v = line.find_first_not_of(' ', colon + 1);
      reply->headers.emplace_back(line.substr(0, colon), v == std::string::npos ? std::string() : line.substr(v));
    }
  }
  return size * count;
}
}  // namespace

std::string HttpReply::header(const std::string& name) const {
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return h.second;
  return std::string();
}

std::vector<std::string> HttpReply::all(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) out.push_back(h.second);
  return out;
}

std::string HttpReply::cookie(const std::string& name) const {
  for (const auto& value : all("Set-Cookie"))
    if (value.compare(0, name.size() + 1, name + "=") == 0) {
      size_t end = value.find(';');
      return value.substr(name.size() + 1, end == std::string::npos ? std::string::npos : end - name.size() - 1);
    }
  return std::string();
}

HttpsClient::HttpsClient(std::string baseUrl, std::string caFile)
    : baseUrl_(std::move(baseUrl)), caFile_(std::move(caFile)) {
  static GlobalInit init;
  curl_ = curl_easy_init();
}

HttpsClient::~HttpsClient() { curl_easy_cleanup(curl_); }

HttpReply HttpsClient::send(const std::string& method, const std::string& target, const std::string& body,
                            const std::vector<std::string>& headers, bool keepBody) {
  HttpReply reply;
  Sink sink{&reply, keepBody};
  curl_easy_setopt(curl_, CURLOPT_URL, (baseUrl_ + target).c_str());
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(curl_, CURLOPT_PATH_AS_IS, 1L);
  if (caFile_.empty()) {
    curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
  } else {
    curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.c_str());
  }
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &reply);
  curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, nullptr);
  if (method == "POST" || method == "PUT" || !body.empty()) {
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl_, CURLOPT_COPYPOSTFIELDS, body.c_str());
  }
  if (method != "GET" && method != "POST") curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_slist* list = curl_slist_append(nullptr, "Expect:");
  for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, list);
  reply.code = curl_easy_perform(curl_);
  curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(list);
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
  long connects = 0;
  curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &connects);
  connections_ += connects;
  return reply;
}

bool HttpsClient::login(const std::string& user, const std::string& password, HttpReply* out) {
  HttpReply reply = send("POST", "/session/1/session",
                         "{\"username\" : \"" + user + "\",\"password\" : \"" + password +
                             "\",\"services\" : [\"platform\",\"namespace\"]}",
                         {"Content-Type: application/json"});
  sessionId = reply.cookie("isisessid");
  csrfToken = reply.cookie("isicsrf");
  bool ok = reply.code == CURLE_OK && reply.status == 201;
  if (out) *out = reply;
  return ok;
}

HttpReply HttpsClient::authed(const std::string& method, const std::string& target, const std::string& body,
                              bool keepBody) {
  return send(method, target, body,
              {"Content-Type: application/json", "Cookie: isisessid=" + sessionId, "X-CSRF-Token: " + csrfToken,
               "Referer: " + baseUrl_},
              keepBody);
}
