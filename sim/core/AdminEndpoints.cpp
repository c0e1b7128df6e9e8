// /_sim/ endpoints for scripts that drive a separate isilon-sim process (only with --admin):
//   POST   /_sim/faults    a fault object (see Faults.h) or an array of them -> 201 {"ids":[...]}
//   GET    /_sim/faults    {"faults":[...]} still armed
//   DELETE /_sim/faults    disarms all
//   GET    /_sim/requests  {"requests":[...]} the request log, session secrets masked
//   DELETE /_sim/requests  empties the request log
//   POST   /_sim/clock     {"advance": SECONDS} moves the simulator's clock forward
#include <strings.h>

#include <regex>

#include "sim/core/ServerImpl.h"

namespace isim {

namespace {
const char kMask[] = "***";

std::string maskCookies(const std::string& text) {
  static const std::regex secret("(isisessid|isicsrf)=[^;]*");
  return std::regex_replace(text, secret, std::string("$1=") + kMask);
}

nlohmann::json loggedJson(const LoggedRequest& r) {
  nlohmann::json headers = nlohmann::json::array();
  for (const auto& h : r.headers) {
    std::string value = h.second;
    if (strcasecmp(h.first.c_str(), "Cookie") == 0) value = maskCookies(value);
    if (strcasecmp(h.first.c_str(), "X-CSRF-Token") == 0 || strcasecmp(h.first.c_str(), "Authorization") == 0)
      value = kMask;
    headers.push_back({h.first, value});
  }
  std::string body = r.body;
  if (r.path() == "/session/1/session" && !body.empty()) {
    nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
    if (j.is_object() && j.contains("password")) {
      j["password"] = kMask;
      body = j.dump();
    } else {
      body = kMask;  // unreadable, and it may hold a password
    }
  }
  return {{"sequence", r.sequence}, {"method", r.method}, {"target", r.target},
          {"headers", headers},     {"body", body},       {"status", r.status}};
}

Response dumpJson(const nlohmann::json& j, int status = 200) {
  return Response(status, j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}
}  // namespace

Response Server::Impl::admin(const Request& request) {
  const std::string& path = request.path;
  const std::string& method = request.method;
  if (path == "/_sim/faults") {
    if (method == "POST") {
      nlohmann::json body;
      if (!request.jsonBody(body)) return errorReply(400, "AEC_BAD_REQUEST", "The body is not JSON");
      std::vector<Fault> faults;
      for (const auto& item : body.is_array() ? body : nlohmann::json::array({body})) {
        Fault f;
        std::string error;
        if (!Fault::fromJson(item, f, error)) return errorReply(400, "AEC_BAD_REQUEST", error);
        if (!f.regex.empty()) {
          try {
            std::regex check(f.regex, std::regex::ECMAScript);
          } catch (const std::regex_error& e) {
            return errorReply(400, "AEC_BAD_REQUEST", std::string("bad regex: ") + e.what());
          }
        }
        faults.push_back(std::move(f));
      }
      nlohmann::json ids = nlohmann::json::array();
      for (const auto& f : faults) ids.push_back(server.faults().add(f));
      return dumpJson({{"ids", ids}}, 201);
    }
    if (method == "GET") {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& f : server.faults().armed()) list.push_back(f.toJson());
      return dumpJson({{"faults", list}});
    }
    if (method == "DELETE") {
      server.faults().clear();
      return Response::empty(204);
    }
  } else if (path == "/_sim/requests") {
    if (method == "GET") {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& r : server.requestLog().entries()) list.push_back(loggedJson(r));
      return dumpJson({{"requests", list}});
    }
    if (method == "DELETE") {
      server.requestLog().clear();
      return Response::empty(204);
    }
  } else if (path == "/_sim/clock") {
    if (method == "POST") {
      nlohmann::json body;
      if (!request.jsonBody(body) || !body.is_object() || !body.contains("advance") || !body["advance"].is_number())
        return errorReply(400, "AEC_BAD_REQUEST", "Expected {\"advance\": SECONDS}");
      server.clock().advance(body["advance"].get<double>());
      return Response::empty(204);
    }
  } else {
    return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + path);
  }
  return errorReply(405, "AEC_BAD_REQUEST", "Method " + method + " not allowed on " + path);
}

}  // namespace isim
