#pragma once
// The HTTP side of isim::Server; only the core's own files include this (and httplib).
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/core/Certificate.h"
#include "sim/core/Router.h"
#include "sim/core/Server.h"

namespace isim {

struct Server::Impl {
  explicit Impl(Server& s) : server(s) {}

  // One listening address of the cluster, with its own HTTP server and worker threads.
  struct Node {
    explicit Node(std::string a) : address(std::move(a)) {}
    const std::string address;
    std::mutex lifecycle;  // held while the node starts or stops
    std::unique_ptr<httplib::SSLServer> http;
    std::thread thread;
    std::atomic<bool> serving{false};  // readable without `lifecycle`
    std::atomic<uint64_t> requests{0};

    // Wakes delayed replies when the node stops.
    std::mutex stopMutex;
    std::condition_variable stopCv;
    bool stopping = false;
    // Requests being served (under stopMutex), the most at once since the node was made, and
    // the turn of those waiting for a free place (Config::nodeCapacity).
    size_t inFlight = 0;
    size_t peakInFlight = 0;
    // The running server's TLS context (under stopMutex, not `lifecycle`, which a stop holds
    // while it waits for the node's workers: a worker may be reading these counts).
    SSL_CTX* tlsContext = nullptr;
    std::condition_variable placeFreed;

    // Connections seen by a request, so that a stop can close idle keep-alive connections at
    // once instead of waiting for their timeout. Keyed by descriptor; the peer is checked
    // again before closing, since a descriptor may have been reused.
    struct Peer {
      std::string address;
      int port = 0;
    };
    std::mutex connectionsMutex;
    std::map<int, Peer> connections;
  };

  Server& server;
  Router router;
  bool modulesStarted = false;
  CertificatePair certificate;
  std::atomic<int> boundPort{0};  // the same on every node; set by the first bound one
  std::vector<std::unique_ptr<Node>> nodes;

  // Node stops and restarts asked for over the admin endpoints run on this thread, so that the
  // reply goes out first when the node that serves the request is the one going down.
  std::thread control;
  std::mutex controlMutex;
  std::condition_variable controlCv;
  std::deque<std::function<void()>> controlTasks;
  bool controlBusy = false;
  bool controlQuit = false;

  // Server.cpp
  bool startNode(size_t index, std::string* error);
  void stopNode(size_t index);
  void startControl();
  void stopControl();
  // Runs `task` on the control thread once the reply to the current request has been sent.
  void afterReply(std::function<void()> task);

  // Dispatch.cpp
  void handle(Node& node, size_t index, const httplib::Request& in, httplib::Response& out);
  Response process(Request& request, size_t node);
  // Points a described /platform request at the version a module serves it at.
  void servedVersion(Request& request) const;
  static Request convert(const httplib::Request& in);
  void write(const Response& response, httplib::Response& out) const;
  static void track(Node& node, const httplib::Request& in);
  void closeConnections(Node& node);
  static void sleepFor(Node& node, int milliseconds);
  static void sleepUntil(Node& node, std::chrono::steady_clock::time_point due);
  // Marks the current request's reply as sent (the HTTP server's logger calls it).
  static void replySent();

  // SessionEndpoint.cpp
  Response sessionEndpoint(const Request& request, const std::string& sessionId);
  Response login(const Request& request, size_t node);

  // FaultReplies.cpp: the reply a fault produces; returns the status to log (0: none sent).
  int applyFault(const Fault& fault, const httplib::Request& in, httplib::Response& out);
  int applyRandomFault(RandomFaults::Pick pick, const httplib::Request& in, httplib::Response& out);

  // AdminEndpoints.cpp
  Response admin(const Request& request, size_t node);
  Response nodesJson() const;
  Response nodeAction(size_t index, const std::string& action, size_t servingNode);
  void restart();  // every node down, every session ended, every node up again
};

// 401 pages as a real cluster's web server sends them for a session it does not know.
Response unauthorizedHtml();

}  // namespace isim
