#pragma once
// What a route handler sees and returns: one request as received, one reply to send.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace isim {

class FaultInjector;
struct Fault;

// Header names compare without regard to case, as HTTP wants.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using HeaderMap = std::multimap<std::string, std::string, CaseInsensitiveLess>;

struct Request {
  std::string method;                                      // "GET", "POST", ...
  std::string target;                                      // request target exactly as sent, query included
  std::string rawPath;                                     // target up to the first '?'
  std::string rawQuery;                                    // text after the first '?' (empty when none)
  std::string path;                                        // rawPath percent-decoded
  std::vector<std::pair<std::string, std::string>> query;  // decoded, in order; '+' stays '+'
  HeaderMap headers;
  std::string body;
  std::vector<std::string> captures;     // route regex groups, percent-decoded
  std::vector<std::string> rawCaptures;  // the same groups as sent
  std::string user;                      // the session's user (empty on unauthenticated routes)

  bool hasParam(const std::string& name) const;
  // First value of a query parameter, or `fallback` when absent.
  std::string param(const std::string& name, const std::string& fallback = std::string()) const;
  bool hasHeader(const std::string& name) const;
  std::string header(const std::string& name, const std::string& fallback = std::string()) const;
  // Body parsed as JSON; false (and `out` discarded) when it is not JSON.
  bool jsonBody(nlohmann::json& out) const;

  // Takes one pending tagged fault for this request (see Faults.h), for behaviour that only a
  // module can produce. False when none is armed.
  bool takeFault(const std::string& tag, Fault* out = nullptr) const;
  // The paging helper's hook: the next page token should name the page just served.
  bool takeRepeatResumeFault() const { return takeFault(kRepeatResumeTag); }
  static const char* const kRepeatResumeTag;  // "repeat-resume"

  FaultInjector* faults = nullptr;  // set by the core
};

struct Response {
  int status = 200;
  std::string body;  // as sent, unless `structured`
  std::string contentType = "application/json";
  // A JSON reply kept as a value, written out in the configured style (formatJson).
  bool structured = false;
  // `body` is JSON already in the configured style, sent as it is.
  bool laidOut = false;
  nlohmann::json value;
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers, in order

  Response() = default;
  Response(int status_, std::string body_, std::string contentType_ = "application/json")
      : status(status_), body(std::move(body_)), contentType(std::move(contentType_)) {}

  Response& addHeader(const std::string& name, const std::string& value) {
    headers.emplace_back(name, value);
    return *this;
  }

  // A JSON reply, written in the cluster's style (or compact) when sent.
  static Response json(nlohmann::json value, int status = 200);
  // A JSON reply its module wrote out itself in the configured style (as formatJson would).
  static Response laidOutJson(std::string text, int status = 200);
  // An empty reply: 204 for deletes, 200 for modifications that return nothing.
  static Response empty(int status = 204);

  // The reply's JSON value (parsed from `body` when not structured); false when it has none.
  bool jsonValue(nlohmann::json& out) const;
};

// JSON text the way a cluster writes it: an object is "{\n" + members joined by ",\n" as
// `"key" : value` + "\n}", with a line break after " : " where the value is an object or array;
// an array is "[\n" + elements each led by "\n", joined by ",\n" + "\n]". Empty ones are "{}" and
// "[]". `compact`: the shortest form instead. Invalid UTF-8 becomes U+FFFD either way.
std::string formatJson(const nlohmann::json& value, bool compact);

// Value of cookie `name` in the request's Cookie headers; false when absent.
bool cookieValue(const Request& request, const std::string& name, std::string& value);

// The cluster's error shape: {"errors":[{"code":CODE,"message":MESSAGE}]}.
Response errorReply(int status, const std::string& code, const std::string& message);
std::string errorBody(const std::string& code, const std::string& message);

// Percent-decoding of URI pieces; malformed escapes are kept as they are.
std::string percentDecode(const std::string& text);
// Splits "a=1&b=&c" into decoded pairs; empty pieces (as in "?&resume=x") are skipped.
std::vector<std::pair<std::string, std::string>> parseQuery(const std::string& rawQuery);
// Percent-encodes everything but unreserved characters, for building targets in tests.
std::string percentEncode(const std::string& text);

}  // namespace isim
