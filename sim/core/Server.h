#pragma once
// One simulated cluster: the REST interface over HTTPS on one address, sessions, the modules'
// endpoints, a request log and fault injection for tests.
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
#include <memory>
#include <string>
#include <vector>

#include "sim/core/Clock.h"
#include "sim/core/Config.h"
#include "sim/core/Faults.h"
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

  // Binds to the configured address (and only that one) and serves in background threads.
  // False, with a reason in `error`, when the address cannot be bound or the certificate
  // cannot be made or read. The first start registers the modules' routes and starts them.
  bool start(std::string* error = nullptr);
  // Stops serving and closes open connections; state (modules, sessions, log) is kept.
  void stop();
  bool running() const;

  const std::string& address() const { return config_.address; }
  int port() const;               // the bound port (useful with port 0)
  std::string baseUrl() const;    // "https://ADDRESS:PORT"

  // The certificate served (PEM), known after start().
  std::string certificatePem() const;
  bool writeCertificate(const std::string& path) const;

  RequestLog& requestLog() { return requestLog_; }
  FaultInjector& faults() { return faults_; }
  SessionStore& sessions() { return sessions_; }
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
  std::vector<std::unique_ptr<Module>> modules_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace isim
