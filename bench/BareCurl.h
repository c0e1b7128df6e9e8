#pragma once
// What the bare libcurl walks of the benchmarks share: collecting a body and taking the
// session cookies from a login reply, with nothing of the library in between.
#include <curl/curl.h>
#include <strings.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace bare {

inline size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct Cookies {
  std::string session, csrf;
};

// CURLOPT_HEADERFUNCTION with a Cookies* as its data.
inline size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  const std::string line(data, size * count);
  Cookies* c = static_cast<Cookies*>(user);
  auto take = [&line](const char* name, std::string& out) {
    const size_t at = line.find(name);
    if (at == std::string::npos) return;
    const size_t from = at + std::strlen(name);
    out = line.substr(from, line.find(';', from) - from);
  };
  if (strncasecmp(line.c_str(), "Set-Cookie:", 11) == 0) {
    take("isisessid=", c->session);
    take("isicsrf=", c->csrf);
  }
  return size * count;
}

// Sets `curl` up to collect reply bodies into `body` and the session cookies into `cookies`,
// trusting `caFile`, and logs in as the simulator's default account on `base`.
inline bool Login(CURL* curl, const std::string& base, const std::string& caFile, std::string& body, Cookies& cookies) {
  curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &cookies);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  const std::string login = R"({"username":"admin","password":"secret","services":["platform","namespace"]})";
  curl_slist* loginHeaders = curl_slist_append(nullptr, "Content-Type: application/json");
  curl_easy_setopt(curl, CURLOPT_URL, (base + "/session/1/session").c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, loginHeaders);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, login.c_str());
  const CURLcode loggedIn = curl_easy_perform(curl);
  curl_slist_free_all(loginHeaders);
  return loggedIn == CURLE_OK && !cookies.session.empty();
}

// After Login: every following request is a GET carrying the session's headers. Returns the
// header list, for curl_slist_free_all once the walk is done.
inline curl_slist* UseSession(CURL* curl, const std::string& base, const Cookies& cookies) {
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  headers = curl_slist_append(headers, ("Cookie: isisessid=" + cookies.session).c_str());
  headers = curl_slist_append(headers, ("X-CSRF-Token: " + cookies.csrf).c_str());
  headers = curl_slist_append(headers, ("Referer: " + base).c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  return headers;
}

}  // namespace bare
