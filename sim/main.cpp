// isilon-sim: a simulated Isilon cluster for tests, demos and benchmarks.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "sim/core/Server.h"

namespace {

bool writeReadyFile(const std::string& path, const std::string& text) {
  // Written whole, then renamed, so a script that sees the file sees all of it.
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return false;
    out << text << "\n";
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every node restart ends its worker threads and starts new ones; with glibc's default of up
  // to 8 arenas a core, the freed memory of past workers stays spread over arenas that a long
  // run never gives back. Two arenas keep the resident size near the heap in use.
  mallopt(M_ARENA_MAX, 2);
  // Pages of replies (up to megabytes) come and go; a fixed threshold keeps them in mappings
  // given back at once, where the sliding default would move them into the heap and leave it
  // fragmented.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  isim::Server server;
  isim::Config& config = server.config();

  CLI::App app{"isilon-sim: a simulated Isilon cluster serving the REST interface over HTTPS"};
  std::vector<std::string> users;
  std::string writeCert, readyFile;
  size_t nodes = 1;
  app.add_option("--address", config.address, "Address to listen on (only this one; the first node's with --nodes)")
      ->capture_default_str();
  auto* nodesOption = app.add_option("--nodes", nodes,
                                     "Nodes of the cluster, one address each: the --node-address ones, or consecutive "
                                     "addresses from --address (127.0.0.20, 127.0.0.21, ...). A session is valid only "
                                     "on the node that issued it")
                          ->capture_default_str()
                          ->check(CLI::Range(1, 64));
  app.add_option("--node-address", config.nodeAddresses,
                 "Address of one node, repeatable, in node order (instead of consecutive ones)");
  app.add_option("--port", config.port, "Port (0: any free port)")->capture_default_str()->check(CLI::Range(0, 65535));
  app.add_option("--user", users, "Account NAME:PASSWORD, repeatable (default admin:secret)");
  auto* cert = app.add_option("--cert", config.certFile, "PEM certificate to serve (with --key)");
  auto* key = app.add_option("--key", config.keyFile, "PEM private key of --cert");
  cert->needs(key);
  key->needs(cert);
  app.add_option("--write-cert", writeCert, "Write the served certificate (PEM) to this file");
  app.add_option("--ready-file", readyFile, "Write the (first node's) URL to this file once listening");
  app.add_option("--idle-timeout", config.idleTimeout, "Seconds a session may stay unused")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--absolute-timeout", config.absoluteTimeout, "Seconds a login lasts at most")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_flag("--admin", config.admin,
               "Enable the /_sim/ endpoints (faults, request log, clock, nodes, sessions, restart, stats)");
  app.add_option("--fault-rate", config.faultRate,
                 "Share of requests (0..1), logins included and /_sim/ aside, answered at random with a 503 or a "
                 "cut connection (even odds)")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--fault-seed", config.faultSeed,
                 "Seed of --fault-rate's generator: the same seed and request order give the same faults")
      ->capture_default_str();
  app.add_option("--fault-retry-after", config.faultRetryAfter,
                 "Retry-After seconds in --fault-rate's 503 replies (0: no header)")
      ->capture_default_str()
      ->check(CLI::Range(0, 3600));
  app.add_option("--release", config.release,
                 "Cluster release whose published API description is served: 8.0.1.2 (API versions 1-4) or 7.2.1.6 "
                 "(1-2). /platform/N/X is served only where the release has X at some version <= N (else 404); "
                 "request bodies and query arguments are checked against it (400 AEC_BAD_REQUEST)")
      ->capture_default_str()
      ->check(CLI::IsMember(isim::ApiDescription::builtIn().releases()));
  app.add_flag("--strict-args", config.strictArgs,
               "Refuse a query argument the description does not declare (400 AEC_BAD_REQUEST) instead of ignoring it");
  app.add_flag("--compact", config.compact, "Write JSON replies compact instead of in the cluster's spaced lines");
  app.add_flag("--check-replies", config.checkReplies,
               "Check every 2xx JSON reply against the description's output schema; what does not conform is "
               "listed by GET /_sim/reply-problems (with --admin)");
  app.add_flag("--demo", config.demo, "Fill the modules with sample data");
  app.add_flag("--nulls", config.nulls,
               "Answer null where the cluster's description allows it (ids, durations, times)");
  app.add_option("--threads", config.threads, "Worker threads (one per open connection)")
      ->capture_default_str()
      ->check(CLI::Range(4, 1024));
  app.add_option("--latency-ms", config.latencyMs, "Answer each request no sooner than MS ms after it was taken up")
      ->capture_default_str()
      ->check(CLI::Range(0, 60000));
  app.add_option("--node-capacity", config.nodeCapacity,
                 "Serve at most K requests at once on each node; the others wait their turn (0: no limit)")
      ->capture_default_str()
      ->check(CLI::Range(0, 100000));
  app.add_option("--keep-alive-timeout", config.keepAliveTimeout, "Seconds an idle connection is kept")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  app.add_option("--request-log", config.requestLogCapacity, "Requests kept in the request log")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  server.addOptions(app);
  CLI11_PARSE(app, argc, argv);

  if (!config.nodeAddresses.empty() && nodesOption->count() > 0 && nodes != config.nodeAddresses.size()) {
    std::cerr << "isilon-sim: --nodes " << nodes << " but " << config.nodeAddresses.size() << " --node-address\n";
    return 2;
  }
  if (config.nodeAddresses.empty() && nodes > 1) {
    std::string error;
    if (!isim::consecutiveAddresses(config.address, nodes, config.nodeAddresses, error)) {
      std::cerr << "isilon-sim: " << error << "\n";
      return 2;
    }
  }

  if (!users.empty()) {
    config.users.clear();
    for (const auto& u : users) {
      size_t colon = u.find(':');
      if (colon == std::string::npos || colon == 0) {
        std::cerr << "isilon-sim: --user wants NAME:PASSWORD\n";
        return 2;
      }
      config.users.emplace_back(u.substr(0, colon), u.substr(colon + 1));
    }
  }

  // Signals are taken by sigwait below; threads started from here on inherit the block.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::string error;
  if (!server.start(&error)) {
    std::cerr << "isilon-sim: " << error << "\n";
    return 1;
  }
  if (!writeCert.empty() && !server.writeCertificate(writeCert)) {
    std::cerr << "isilon-sim: cannot write the certificate to " << writeCert << "\n";
    server.stop();
    return 1;
  }
  if (!readyFile.empty() && !writeReadyFile(readyFile, server.baseUrl())) {
    std::cerr << "isilon-sim: cannot write " << readyFile << "\n";
    server.stop();
    return 1;
  }
  for (size_t i = 0; i < server.nodeCount(); ++i)
    std::cout << "isilon-sim listening on " << server.nodeUrl(i) << std::endl;

  int received = 0;
  sigwait(&signals, &received);
  server.stop();
  return 0;
}
