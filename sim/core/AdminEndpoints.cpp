// /_sim/ endpoints for scripts that drive a separate isilon-sim process (only with --admin):
//   POST   /_sim/faults    a fault object (see Faults.h) or an array of them -> 201 {"ids":[...]}
//   GET    /_sim/faults    {"faults":[...]} still armed
//   DELETE /_sim/faults    disarms all
//   GET    /_sim/requests  {"requests":[...]} the request log, session secrets masked; "node" is
//                          the index of the node that served each request
//   DELETE /_sim/requests  empties the request log
//   POST   /_sim/clock     {"advance": SECONDS} moves the simulator's clock forward
//   GET    /_sim/nodes     {"nodes":[{"index":0,"address":"127.0.0.20","port":8080,"running":true,
//                          "requests":N,"connections":N,"peak_in_flight":N,"tls_handshakes":N,
//                          "tls_resumed":N}]}, requests counting those the node served (admin
//                          aside), peak_in_flight the most it served at once (see
//                          --node-capacity), tls_* the TLS handshakes it completed since it
//                          started and how many of them resumed an earlier session
//   POST   /_sim/nodes/{i}/stop   the node goes down: listening socket and open connections
//                          close, its sessions end. 204 when done; 202 when the request came
//                          through that node itself: the reply goes out first, the stop follows
//   POST   /_sim/nodes/{i}/start  serves on the node again (same state and certificate) -> 204
//   POST   /_sim/restart   the HTTP service restarts: 202, then every node stops, every session
//                          ends and every node starts again (poll GET /_sim/nodes until back)
//   POST   /_sim/sessions/expire  every session ends at once -> {"expired": N} (those live)
//   GET    /_sim/stats     {"sessions":{"live":N},"random_faults":{"rate":P,"seed":S,
//                          "requests":N,"unavailable":N,"resets":N}}
//   POST   /_sim/fault-rate  {"rate": P, "seed": S} starts random faults over (rate 0: none)
//   GET    /_sim/reply-problems  {"problems":[{"method":..,"path":..,"field":..,"message":..}]}
//                          what --check-replies found in the replies so far
//   DELETE /_sim/reply-problems  forgets them
// Other /_sim/ paths go to the routes modules register there (a module's own state).
#include <malloc.h>
#include <strings.h>

#include <iostream>
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
    nlohmann::json j = nlohmann::json::parse(body, /*cb=*/nullptr, /*allow_exceptions=*/false);
    if (j.is_object() && j.contains("password")) {
      j["password"] = kMask;
      body = j.dump();
    } else {
      body = kMask;  // unreadable, and it may hold a password
    }
  }
  return {{"sequence", r.sequence}, {"method", r.method}, {"target", r.target}, {"headers", headers},
          {"body", body},           {"status", r.status}, {"node", r.node}};
}

Response dumpJson(const nlohmann::json& j, int status = 200) {
  return Response(status, j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

const std::regex kNodeAction("/_sim/nodes/([0-9]{1,4})/(stop|start)");
}  // namespace

Response Server::Impl::nodesJson() const {
  nlohmann::json list = nlohmann::json::array();
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Server::TlsHandshakes tls = server.nodeTlsHandshakes(i);
    list.push_back({{"index", i},
                    {"address", nodes[i]->address},
                    {"port", boundPort.load()},
                    {"running", server.nodeRunning(i)},
                    {"requests", nodes[i]->requests.load()},
                    {"connections", server.nodeConnections(i)},
                    {"peak_in_flight", server.nodePeakInFlight(i)},
                    {"tls_handshakes", tls.completed},
                    {"tls_resumed", tls.resumed}});
  }
  return dumpJson({{"nodes", list}});
}

Response Server::Impl::nodeAction(size_t index, const std::string& action, size_t servingNode) {
  Server& s = server;
  if (action == "start") {
    std::string error;
    if (!s.startNode(index, &error)) return errorReply(500, "AEC_EXCEPTION", error);
    return Response::empty(204);
  }
  if (index != servingNode) {
    s.stopNode(index);
    return Response::empty(204);
  }
  // Stopping this node from one of its own workers would wait for that worker to end.
  afterReply([&s, index] { s.stopNode(index); });
  return Response::empty(202);
}

void Server::Impl::restart() {
  for (size_t i = 0; i < nodes.size(); ++i) stopNode(i);
  server.sessions().expireAll();
  for (size_t i = 0; i < nodes.size(); ++i) {
    std::string error;
    if (!startNode(i, &error)) std::cerr << "isilon-sim: restart: " << error << std::endl;
  }
}

Response Server::Impl::admin(const Request& request, size_t node) {
  const std::string& path = request.path;
  const std::string& method = request.method;
  std::smatch match;
  if (std::regex_match(path, match, kNodeAction)) {
    const size_t index = std::stoul(match[1].str());
    if (index >= nodes.size()) return errorReply(404, "AEC_NOT_FOUND", "No node " + match[1].str());
    if (method == "POST") return nodeAction(index, match[2].str(), node);
  } else if (path == "/_sim/nodes") {
    if (method == "GET") return nodesJson();
  } else if (path == "/_sim/restart") {
    if (method == "POST") {
      afterReply([this] { restart(); });
      return Response::empty(202);
    }
  } else if (path == "/_sim/sessions/expire") {
    if (method == "POST") return dumpJson({{"expired", server.sessions().expireAll()}});
  } else if (path == "/_sim/stats") {
    if (method == "GET") {
      const RandomFaults::Stats f = server.randomFaults().stats();
      const struct mallinfo2 heap = mallinfo2();
      return dumpJson({{"sessions", {{"live", server.sessions().liveCount()}}},
                       {"random_faults",
                        {{"rate", f.rate},
                         {"seed", f.seed},
                         {"requests", f.asked},
                         {"unavailable", f.unavailable},
                         {"resets", f.resets}}},
                       // The allocator's view, so that a long run can tell held data from kept pages.
                       {"heap", {{"in_use", heap.uordblks + heap.hblkhd}, {"free", heap.fordblks}}}});
    }
  } else if (path == "/_sim/fault-rate") {
    if (method == "POST") {
      nlohmann::json body;
      if (!request.jsonBody(body) || !body.is_object() || !body.contains("rate") || !body["rate"].is_number() ||
          body["rate"].get<double>() < 0 || body["rate"].get<double>() > 1 ||
          (body.contains("seed") && !body["seed"].is_number_unsigned()))
        return errorReply(400, "AEC_BAD_REQUEST", "Expected {\"rate\": 0..1, \"seed\": N}");
      server.randomFaults().configure(body["rate"].get<double>(), body.value("seed", static_cast<uint64_t>(1)));
      return Response::empty(204);
    }
  } else if (path == "/_sim/faults") {
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
  } else if (path == "/_sim/reply-problems") {
    if (method == "GET") {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& p : server.replyProblems().entries())
        list.push_back({{"method", p.method}, {"path", p.path}, {"field", p.field}, {"message", p.message}});
      return dumpJson({{"problems", list}});
    }
    if (method == "DELETE") {
      server.replyProblems().clear();
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
    Request routed = request;
    return router.dispatch(routed);
  }
  return errorReply(405, "AEC_BAD_REQUEST", "Method " + method + " not allowed on " + path);
}

}  // namespace isim
