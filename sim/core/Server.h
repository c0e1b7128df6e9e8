#pragma once
// One simulated cluster: the REST interface over HTTPS on one address per node, sessions, the
// modules' endpoints, a request log and fault injection for tests. Every node serves the same
// state (modules, clock, request log, faults, sessions), but a session id is accepted only by
// the node that issued it: elsewhere it gets the 401 page of an unknown session.
//
//   isim::Config config;
//   config.address = "127.0.0.10";
//   isim::Server server(config);
//   std::string error;
//   if (!server.start(&error)) ...;
//   server.writeCertificate("/tmp/cluster.pem");   // for the client's CA file
//   ... requests to https://127.0.0.10:8080 ...
//   server.requestLog().entries();  server.faults().add(isim::Fault::notJson("/platform"));
//   server.stop();
//
// Several nodes: config.nodeAddresses = {"127.0.0.20", "127.0.0.21"}; then nodeUrl(1),
// stopNode(1), startNode(1), and requestLog() entries tell the node that served them.
#include <memory>
#include <string>
#include <vector>

#include "sim/core/Clock.h"
#include "sim/core/Config.h"
#include "sim/core/Faults.h"
#include "sim/core/Gate.h"
#include "sim/core/Module.h"
#include "sim/core/RequestLog.h"
#include "sim/core/Sessions.h"

namespace CLI {
class App;
}

namespace isim {

class Server {
 public:
  explicit Server(Config config = Config());
  ~Server();  // stops
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Settings; changes take effect at the next start().
  Config& config() { return config_; }
  const Config& config() const { return config_; }
  // Adds every module's program options to `app`.
  void addOptions(CLI::App& app);

  // Binds to the configured addresses (and only those) and serves in background threads; a
  // start with nodes still running starts the stopped ones. False, with a reason in `error`,
  // when an address cannot be bound or the certificate cannot be made or read (nothing is left
  // running then). The first start registers the modules' routes and starts them.
  bool start(std::string* error = nullptr);
  // Stops serving on every node and closes open connections; state (modules, sessions, log) is
  // kept.
  void stop();
  bool running() const;  // some node serves

  const std::string& address() const;  // the first node's
  int port() const;                    // the bound port (useful with port 0)
  std::string baseUrl() const;         // "https://ADDRESS:PORT" of the first node

  // Nodes, numbered from 0 in the order of the configured addresses.
  size_t nodeCount() const;
  std::string nodeAddress(size_t i) const;
  std::string nodeUrl(size_t i) const;
  bool nodeRunning(size_t i) const;
  // Connections from clients to node `i` that are open on both ends (the kernel's count).
  size_t nodeConnections(size_t i) const;
  // The same connections counted at their client ends, for clients on this machine. A client's
  // close shows here at once; the node's end can stay open a moment until the kernel delivers it.
  size_t nodeClientConnections(size_t i) const;
  // The most requests node `i` has served at once (admin ones aside); 0 when there is no such node.
  size_t nodePeakInFlight(size_t i) const;
  // TLS handshakes node `i` completed since it last started, and how many of them resumed an
  // earlier session instead of a full one; zeros when it is not running.
  struct TlsHandshakes {
    size_t completed = 0;
    size_t resumed = 0;
  };
  TlsHandshakes nodeTlsHandshakes(size_t i) const;
  // A node going down: its listening socket and open connections close (clients get refused or
  // reset connections there) and the sessions it issued end. False when there is no such node
  // or it was not running.
  bool stopNode(size_t i);
  // Serves the shared state on a stopped node again, with the same certificate; true when it
  // runs. Only between start() and stop().
  bool startNode(size_t i, std::string* error = nullptr);
  // Waits until node stops and restarts asked for over the admin endpoints have been done.
  void settle();

  // The certificate served (PEM), known after start().
  std::string certificatePem() const;
  bool writeCertificate(const std::string& path) const;

  RequestLog& requestLog() { return requestLog_; }
  FaultInjector& faults() { return faults_; }
  SessionStore& sessions() { return sessions_; }
  RandomFaults& randomFaults() { return randomFaults_; }
  // What Config::checkReplies found wrong in the replies given so far.
  ReplyProblems& replyProblems() { return replyProblems_; }
  Clock& clock() { return clock_; }
  const Clock& clock() const { return clock_; }

  // The module of type T of this server, or null.
  template <class T>
  T* module() const {
    for (const auto& m : modules_)
      if (T* p = dynamic_cast<T*>(m.get())) return p;
    return nullptr;
  }
  Module* module(const std::string& name) const;
  const std::vector<std::unique_ptr<Module>>& modules() const { return modules_; }

  struct Impl;  // the HTTP side, private to the core

 private:
  Config config_;
  Clock clock_;
  SessionStore sessions_;
  RequestLog requestLog_;
  FaultInjector faults_;
  RandomFaults randomFaults_;
  ReplyProblems replyProblems_;
  std::vector<std::unique_ptr<Module>> modules_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace isim
