#pragma once
// The HTTP side of isim::Server; only the core's own files include this (and httplib).
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/core/Certificate.h"
#include "sim/core/Router.h"
#include "sim/core/Server.h"

namespace isim {

struct Server::Impl {
  explicit Impl(Server& s) : server(s) {}

  Server& server;
  Router router;
  bool modulesStarted = false;
  CertificatePair certificate;
  std::unique_ptr<httplib::SSLServer> http;
  std::thread thread;
  int boundPort = 0;

  // Wakes delayed replies when the server stops.
  std::mutex stopMutex;
  std::condition_variable stopCv;
  bool stopping = false;

  // Connections seen by a request, so that stop() can close idle keep-alive connections at
  // once instead of waiting for their timeout. Keyed by descriptor; the peer is checked again
  // before closing, since a descriptor may have been reused.
  struct Peer {
    std::string address;
    int port = 0;
  };
  std::mutex connectionsMutex;
  std::map<int, Peer> connections;

  // Dispatch.cpp
  void handle(const httplib::Request& in, httplib::Response& out);
  Response process(Request& request);
  static Request convert(const httplib::Request& in);
  static void write(const Response& response, httplib::Response& out);
  void track(const httplib::Request& in);
  void closeConnections();
  void sleepFor(int milliseconds);

  // SessionEndpoint.cpp
  Response sessionEndpoint(const Request& request, const std::string& sessionId);
  Response login(const Request& request);

  // FaultReplies.cpp: the reply a fault produces; returns the status to log (0: none sent).
  int applyFault(const Fault& fault, const httplib::Request& in, httplib::Response& out);

  // AdminEndpoints.cpp
  Response admin(const Request& request);
};

// 401 pages as a real cluster's web server sends them for a session it does not know.
Response unauthorizedHtml();

}  // namespace isim
