// POST /session/1/session (login), GET (session details) and DELETE (logout).
#include <openssl/crypto.h>

#include <cmath>

#include "sim/core/ServerImpl.h"

namespace isim {

namespace {
nlohmann::json seconds(double value) {
  // Whole seconds as an integer, as the cluster writes them; fractions only in tests.
  if (value < 0) value = 0;
  double whole = std::floor(value);
  if (whole == value && value < 9.0e15) return static_cast<long long>(value);
  return value;
}

bool samePassword(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

nlohmann::json sessionBody(const std::vector<std::string>& services, double absolute, double idle,
                           const std::string& user) {
  return {{"services", services},
          {"timeout_absolute", seconds(absolute)},
          {"timeout_inactive", seconds(idle)},
          {"username", user}};
}
}  // namespace

Response Server::Impl::login(const Request& request, size_t node) {
  nlohmann::json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  auto user = body.find("username"), password = body.find("password");
  if (user == body.end() || !user->is_string())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: username is required and must be a string");
  if (password == body.end() || !password->is_string())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: password is required and must be a string");
  std::vector<std::string> services = {"platform", "namespace"};
  auto requested = body.find("services");
  if (requested != body.end()) {
    if (!requested->is_array())
      return errorReply(400, "AEC_BAD_REQUEST", "Field: services must be an array of strings");
    services.clear();
    for (const auto& s : *requested) {
      if (!s.is_string()) return errorReply(400, "AEC_BAD_REQUEST", "Field: services must be an array of strings");
      services.push_back(s.get<std::string>());
    }
  }
  const std::string name = user->get<std::string>();
  bool accepted = false;
  for (const auto& account : server.config().users)
    if (account.first == name && samePassword(account.second, password->get<std::string>())) accepted = true;
  // The same answer for an unknown user and a wrong password.
  if (!accepted) return errorReply(401, "AEC_UNAUTHORIZED", "Authorization failed: invalid username or password");

  SessionStore::Cookies cookies = server.sessions().login(name, services, node);
  Response response = Response::json(
      sessionBody(services, server.sessions().absoluteTimeout(), server.sessions().idleTimeout(), name), 201);
  response.addHeader("Set-Cookie", "isisessid=" + cookies.sessionId + "; path=/; HttpOnly; Secure");
  response.addHeader("Set-Cookie", "isicsrf=" + cookies.csrfToken + "; path=/; Secure");
  return response;
}

Response Server::Impl::sessionEndpoint(const Request& request, const std::string& id) {
  if (request.method == "DELETE") {
    if (!server.sessions().logout(id)) return unauthorizedHtml();
    return Response::empty(204);
  }
  if (request.method == "GET" || request.method == "HEAD") {
    SessionStore::Use use;
    if (!server.sessions().use(id, use)) return unauthorizedHtml();
    return Response::json(sessionBody(use.services, use.absoluteLeft, server.sessions().idleTimeout(), use.user));
  }
  return errorReply(405, "AEC_BAD_REQUEST", "Method " + request.method + " not allowed on /session/1/session");
}

}  // namespace isim
