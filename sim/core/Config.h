#pragma once
// Settings of one simulated cluster; the isilon-sim program fills them from its options.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace isim {

struct Config {
  std::string address = "127.0.0.1";  // the only address listened on
  int port = 8080;                     // 0: any free port (see Server::port())
  // Accounts as (name, password). The default account is admin / "secret".
  std::vector<std::pair<std::string, std::string>> users = {{"admin", "secret"}};
  std::string certFile;  // PEM certificate and key to serve; both empty: a fresh self-signed pair
  std::string keyFile;
  double idleTimeout = 900;        // seconds a session may stay unused
  double absoluteTimeout = 14400;  // seconds a login lasts at most
  bool admin = false;              // enables the /_sim/ endpoints
  bool demo = false;               // modules fill in sample data
  size_t threads = 32;             // worker threads: one per open connection
  int latencyMs = 0;               // each cluster request is answered no sooner than this after it arrived
  int keepAliveTimeout = 30;       // seconds an idle connection is kept
  size_t keepAliveMaxCount = 100000;  // requests per connection
  size_t requestLogCapacity = 1000;   // requests kept for tests
  size_t maxBodyBytes = 64u << 20;    // larger request bodies get 413
};

}  // namespace isim
