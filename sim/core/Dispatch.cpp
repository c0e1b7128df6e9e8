// The way of every request: admin endpoints, request log, faults, session checks, routes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "sim/core/ServerImpl.h"

namespace isim {

namespace {
const char kSessionPath[] = "/session/1/session";
const char kAdminPrefix[] = "/_sim/";
const char kModulesRelease[] = "8.0.1.2";  // the release whose replies the modules give

// An older release's reply holds only the members its description has.
void olderRelease(const Request& request, const ApiDescription::Resource& resource, Response& response) {
  const nlohmann::json* schema = resource.part(request.method, "output_schema");
  nlohmann::json value;
  if (schema == nullptr || response.status < 200 || response.status > 299 || !response.jsonValue(value)) return;
  pruneToSchema(value, *schema);
  Response pruned = Response::json(std::move(value), response.status);
  pruned.headers = std::move(response.headers);
  response = std::move(pruned);
}

bool isPseudoHeader(const std::string& name) {
  // The server library adds these to every request; they were not sent.
  return strcasecmp(name.c_str(), "REMOTE_ADDR") == 0 || strcasecmp(name.c_str(), "REMOTE_PORT") == 0 ||
         strcasecmp(name.c_str(), "LOCAL_ADDR") == 0 || strcasecmp(name.c_str(), "LOCAL_PORT") == 0;
}

bool peerOf(int fd, std::string& address, int& port, int& localPort) {
  sockaddr_storage peer{}, local{};
  socklen_t pl = sizeof peer, ll = sizeof local;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pl) != 0) return false;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll) != 0) return false;
  char text[INET6_ADDRSTRLEN] = {0};
  if (peer.ss_family == AF_INET) {
    auto* p = reinterpret_cast<sockaddr_in*>(&peer);
    inet_ntop(AF_INET, &p->sin_addr, text, sizeof text);
    port = ntohs(p->sin_port);
    localPort = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  } else if (peer.ss_family == AF_INET6) {
    auto* p = reinterpret_cast<sockaddr_in6*>(&peer);
    inet_ntop(AF_INET6, &p->sin6_addr, text, sizeof text);
    port = ntohs(p->sin6_port);
    localPort = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
  } else {
    return false;
  }
  address = text;
  return true;
}
}  // namespace

Response unauthorizedHtml() {
  return Response(401,
                  "<html><head><title>401 Unauthorized</title></head><body><h1>Unauthorized</h1>"
                  "<p>This server could not verify that you are authorized to access the document "
                  "requested.</p></body></html>",
                  "text/html; charset=iso-8859-1");
}

Request Server::Impl::convert(const httplib::Request& in) {
  Request r;
  r.method = in.method;
  r.target = in.target;
  size_t q = in.target.find('?');
  r.rawPath = in.target.substr(0, q);
  r.rawQuery = q == std::string::npos ? std::string() : in.target.substr(q + 1);
  r.path = percentDecode(r.rawPath);
  r.query = parseQuery(r.rawQuery);
  for (const auto& h : in.headers)
    if (!isPseudoHeader(h.first)) r.headers.emplace(h.first, h.second);
  r.body = in.body;
  return r;
}

void Server::Impl::write(const Response& response, httplib::Response& out) const {
  out.status = response.status;
  for (const auto& h : response.headers) out.headers.emplace(h.first, h.second);
  const bool compact = server.config().compact;
  const std::string type = response.contentType.empty() ? "application/json" : response.contentType;
  if (response.structured) {
    out.set_content(formatJson(response.value, compact), type);
    return;
  }
  if (response.body.empty() && response.contentType.empty()) return;
  nlohmann::json value;
  // A body a module wrote out itself is laid out as the cluster would, when it is JSON.
  if (!response.laidOut && !compact && response.jsonValue(value))
    out.set_content(formatJson(value, false), type);
  else
    out.set_content(response.body, type);
}

void Server::Impl::track(Node& node, const httplib::Request& in) {
  if (!in.ssl) return;
  int fd = SSL_get_fd(in.ssl);
  if (fd < 0) return;
  std::lock_guard<std::mutex> lock(node.connectionsMutex);
  node.connections[fd] = Node::Peer{in.remote_addr, in.remote_port};
}

void Server::Impl::closeConnections(Node& node) {
  std::lock_guard<std::mutex> lock(node.connectionsMutex);
  for (const auto& c : node.connections) {
    std::string address;
    int port = 0, localPort = 0;
    // Only a descriptor that still is this node's connection to that peer.
    if (peerOf(c.first, address, port, localPort) && address == c.second.address && port == c.second.port &&
        localPort == boundPort)
      shutdown(c.first, SHUT_RDWR);
  }
  node.connections.clear();
}

void Server::Impl::sleepFor(Node& node, int milliseconds) {
  sleepUntil(node, std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

void Server::Impl::sleepUntil(Node& node, std::chrono::steady_clock::time_point due) {
  std::unique_lock<std::mutex> lock(node.stopMutex);
  node.stopCv.wait_until(lock, due, [&node] { return node.stopping; });
}

void Server::Impl::handle(Node& node, size_t index, const httplib::Request& in, httplib::Response& out) {
  Request request = convert(in);
  request.faults = &server.faults();
  track(node, in);
  if (server.config().admin && request.path.compare(0, sizeof kAdminPrefix - 1, kAdminPrefix) == 0) {
    write(admin(request, index), out);
    return;
  }
  ++node.requests;
  // A node's API service has so many workers: a request waits for a free one, and its latency
  // starts when it is taken up. A node that stops lets the waiting ones through to fail.
  struct Place {
    Node& node;
    explicit Place(Node& n, size_t capacity) : node(n) {
      std::unique_lock<std::mutex> lock(node.stopMutex);
      if (capacity > 0) node.placeFreed.wait(lock, [&] { return node.stopping || node.inFlight < capacity; });
      node.peakInFlight = std::max(node.peakInFlight, ++node.inFlight);
    }
    ~Place() {
      {
        std::lock_guard<std::mutex> lock(node.stopMutex);
        --node.inFlight;
      }
      node.placeFreed.notify_one();
    }
  } place{node, server.config().nodeCapacity};
  // A real cluster's page time: the reply waits out the rest of the latency after handling.
  struct Latency {
    Node& node;
    std::chrono::steady_clock::time_point due;
    // To the time point itself: the rest in whole milliseconds would answer up to one early.
    ~Latency() { sleepUntil(node, due); }
  } latency{node, std::chrono::steady_clock::now() + std::chrono::milliseconds(server.config().latencyMs)};

  LoggedRequest entry;
  entry.method = request.method;
  entry.target = request.target;
  for (const auto& h : request.headers) entry.headers.emplace_back(h.first, h.second);
  entry.body = request.body;
  entry.remoteAddress = in.remote_addr;
  entry.remotePort = in.remote_port;
  entry.node = index;
  const uint64_t sequence = server.requestLog().add(std::move(entry));

  // Armed faults first, so that a test's own faults stay exact under a random rate.
  Fault fault;
  if (server.faults().take(request, fault)) {
    if (fault.delayMs > 0) sleepFor(node, fault.delayMs);
    if (fault.kind == FaultKind::kCloseAfterChange) {
      // The cluster acted on the request; only its reply is lost.
      process(request, index);
    }
    if (fault.kind != FaultKind::kDelay) {
      server.requestLog().setStatus(sequence, applyFault(fault, in, out));
      return;
    }
  } else {
    const RandomFaults::Pick pick = server.randomFaults().next();
    if (pick != RandomFaults::Pick::kNone) {
      server.requestLog().setStatus(sequence, applyRandomFault(pick, in, out));
      return;
    }
  }
  Response response = process(request, index);
  write(response, out);
  server.requestLog().setStatus(sequence, response.status);
}

void Server::Impl::servedVersion(Request& request) const {
  // A module implements a resource at one version; a cluster serves /platform/N/X by the newest
  // version of X at or below N, so a path the routes lack at N is tried at the versions below.
  const size_t start = sizeof "/platform/" - 1, end = request.rawPath.find('/', start);
  const Handler* handler = nullptr;
  if (end == std::string::npos || router.find(request, &handler) != Router::Outcome::kNotFound) return;
  const std::string rest = request.rawPath.substr(end);
  for (int version = std::stoi(request.rawPath.substr(start, end - start)) - 1; version >= 1; --version) {
    Request lower = request;
    lower.rawPath = "/platform/" + std::to_string(version) + rest;
    if (router.find(lower, &handler) != Router::Outcome::kNotFound) {
      request.rawPath = lower.rawPath;
      request.path = percentDecode(lower.rawPath);
      return;
    }
  }
}

Response Server::Impl::process(Request& request, size_t node) {
  if (request.rawPath == kSessionPath && request.method == "POST") return login(request, node);

  std::string sessionId;
  if (!cookieValue(request, "isisessid", sessionId) || sessionId.empty())
    return errorReply(401, "AEC_UNAUTHORIZED", "Authorization required");
  SessionStore::Use use;
  // Another node's session is as unknown here as an expired one.
  if (!server.sessions().peek(sessionId, use) || use.node != node) return unauthorizedHtml();
  auto csrf = request.headers.find("X-CSRF-Token");
  if (csrf == request.headers.end()) return errorReply(401, "AEC_UNAUTHORIZED", "CSRF token missing");
  if (csrf->second != use.csrfToken) return errorReply(401, "AEC_UNAUTHORIZED", "CSRF token mismatch");
  const std::string referer = request.header("Referer");
  if (referer.compare(0, 8, "https://") != 0 || referer.size() == 8)
    return errorReply(401, "AEC_UNAUTHORIZED", "Referer header missing or not an https URL");

  if (request.rawPath == kSessionPath) return sessionEndpoint(request, sessionId);

  if (!server.sessions().use(sessionId, use)) return unauthorizedHtml();
  request.user = use.user;
  // Modules' /_sim/ routes are for the admin side only.
  if (request.rawPath.compare(0, sizeof kAdminPrefix - 1, kAdminPrefix) == 0)
    return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + request.path);
  const ApiDescription::Resource* resource = nullptr;
  Response response;
  if (gateRequest(server.config(), request, resource, response)) {
    if (resource != nullptr) servedVersion(request);
    response = router.dispatch(request);
    if (resource != nullptr && server.config().release != kModulesRelease) olderRelease(request, *resource, response);
    if (server.config().checkReplies) server.replyProblems().check(request, resource, response);
  }
  if (use.renewed) {
    response.addHeader("Set-Cookie", "isisessid=" + use.replacement.sessionId + "; path=/; HttpOnly; Secure");
    response.addHeader("Set-Cookie", "isicsrf=" + use.replacement.csrfToken + "; path=/; Secure");
  }
  return response;
}

}  // namespace isim
