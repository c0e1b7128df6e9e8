#pragma once
// Method + path routing for module endpoints.
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "sim/core/Http.h"

namespace isim {

using Handler = std::function<Response(const Request&)>;

class Router {
 public:
  // `pattern` is an ECMAScript regex that must match the whole raw path (the target before
  // '?', still percent-encoded, so an encoded "/" inside a name stays inside its segment).
  // Its groups become Request::captures (decoded) and Request::rawCaptures. Routes are tried
  // in the order they were added; the first match wins.
  void add(const std::string& method, const std::string& pattern, Handler handler);
  void get(const std::string& pattern, Handler h) { add("GET", pattern, std::move(h)); }
  void post(const std::string& pattern, Handler h) { add("POST", pattern, std::move(h)); }
  void put(const std::string& pattern, Handler h) { add("PUT", pattern, std::move(h)); }
  void del(const std::string& pattern, Handler h) { add("DELETE", pattern, std::move(h)); }

  enum class Outcome { kFound, kWrongMethod, kNotFound };
  // Finds the handler for `request` and fills its captures.
  Outcome find(Request& request, const Handler** handler) const;
  // Routes and dispatches; 404 or 405 in the cluster's error shape when nothing matches.
  Response dispatch(Request& request) const;

  size_t size() const { return routes_.size(); }

 private:
  struct Route {
    std::string method;
    std::string pattern;
    std::regex regex;
    Handler handler;
  };
  std::vector<Route> routes_;
};

}  // namespace isim
