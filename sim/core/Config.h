#pragma once
// Settings of one simulated cluster; the isilon-sim program fills them from its options.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace isim {

struct Config {
  std::string address = "127.0.0.1";  // the only address listened on (without nodeAddresses)
  int port = 8080;                    // 0: any free port (see Server::port()), the same on every node
  // The cluster's nodes, one address each; empty: one node on `address`. All nodes serve one
  // cluster, but a session is known only to the node that issued it.
  std::vector<std::string> nodeAddresses;
  // Accounts as (name, password). The default account is admin / "secret".
  std::vector<std::pair<std::string, std::string>> users = {{"admin", "secret"}};
  std::string certFile;  // PEM certificate and key to serve; both empty: a fresh self-signed pair
  std::string keyFile;
  double idleTimeout = 900;        // seconds a session may stay unused
  double absoluteTimeout = 14400;  // seconds a login lasts at most
  bool admin = false;              // enables the /_sim/ endpoints
  bool demo = false;               // modules fill in sample data
  // Members the cluster's description allows to be null (job ids, durations, end times, a deleted
  // snapshot's name, report counters) come back as null; otherwise they hold a value.
  bool nulls = false;
  size_t threads = 32;  // worker threads: one per open connection
  int latencyMs = 0;    // each request is answered no sooner than this after it was taken up
  // Requests one node serves at once (admin ones aside); the rest wait their turn. 0: no limit.
  size_t nodeCapacity = 0;
  int keepAliveTimeout = 30;          // seconds an idle connection is kept
  size_t keepAliveMaxCount = 100000;  // requests per connection
  size_t requestLogCapacity = 1000;   // requests kept for tests
  size_t maxBodyBytes = 64u << 20;    // larger request bodies get 413
  // Transient faults at random: this share (0..1) of requests, admin ones aside, is answered
  // with 503 or a cut connection, drawn from a generator seeded with faultSeed.
  double faultRate = 0;
  uint64_t faultSeed = 1;
  int faultRetryAfter = 0;  // seconds in the Retry-After header of those 503s; 0: no header

  // The cluster release served, as its published API description has it: "8.0.1.2" (API
  // versions 1..4) or "7.2.1.6" (1..2). /platform/N/X is served only where that release has X
  // at some version <= N; request bodies and query arguments are checked against it.
  std::string release = "8.0.1.2";
  bool strictArgs = false;    // a query argument the description does not declare gets 400
  bool compact = false;       // JSON replies compact instead of the cluster's spaced lines
  bool checkReplies = false;  // 2xx JSON replies are checked against their output schema

  // The node addresses in use: nodeAddresses, or `address` alone.
  std::vector<std::string> addresses() const {
    return nodeAddresses.empty() ? std::vector<std::string>{address} : nodeAddresses;
  }
};

// `count` consecutive IPv4 addresses from `first` (127.0.0.20, 127.0.0.21, ...); false, with a
// reason, when `first` is not an IPv4 address or the last part would pass 255.
bool consecutiveAddresses(const std::string& first, size_t count, std::vector<std::string>& out, std::string& error);

}  // namespace isim
