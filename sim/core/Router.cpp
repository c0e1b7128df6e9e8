#include "sim/core/Router.h"

#include <exception>

namespace isim {

void Router::add(const std::string& method, const std::string& pattern, Handler handler) {
  // A bad pattern is a module bug: std::regex_error tells the author at start-up.
  routes_.push_back(Route{method, pattern, std::regex(pattern, std::regex::ECMAScript), std::move(handler)});
}

Router::Outcome Router::find(Request& request, const Handler** handler) const {
  bool pathKnown = false;
  for (const Route& route : routes_) {
    std::smatch match;
    if (!std::regex_match(request.rawPath, match, route.regex)) continue;
    if (route.method != request.method && !(request.method == "HEAD" && route.method == "GET")) {
      pathKnown = true;
      continue;
    }
    request.captures.clear();
    request.rawCaptures.clear();
    for (size_t i = 1; i < match.size(); ++i) {
      request.rawCaptures.push_back(match[i].str());
      request.captures.push_back(percentDecode(match[i].str()));
    }
    *handler = &route.handler;
    return Outcome::kFound;
  }
  return pathKnown ? Outcome::kWrongMethod : Outcome::kNotFound;
}

Response Router::dispatch(Request& request) const {
  const Handler* handler = nullptr;
  switch (find(request, &handler)) {
    case Outcome::kNotFound: return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + request.path);
    case Outcome::kWrongMethod:
      return errorReply(405, "AEC_BAD_REQUEST", "Method " + request.method + " not allowed on " + request.path);
    case Outcome::kFound: break;
  }
  try {
    return (*handler)(request);
  } catch (const std::exception& e) {
    return errorReply(500, "AEC_EXCEPTION", std::string("Internal error: ") + e.what());
  } catch (...) {
    return errorReply(500, "AEC_EXCEPTION", "Internal error");
  }
}

}  // namespace isim
