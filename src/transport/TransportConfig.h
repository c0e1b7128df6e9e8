#pragma once
// What the library's curl transport is told before it starts: the settings of its session and
// the filter its trace goes through. Internal to the library.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace isilon {

struct Settings;
class TlsSessionCache;

struct TransportConfig {
  std::string caFile;  // empty: the system's store
  bool verifyTLS = true;
  long connectTimeoutSeconds = 30;
  long requestTimeoutSeconds = 1800;
  size_t maxReplyBytes = size_t{512} << 20;
  // Every traced text passes through it before it reaches the debug log (secrets out).
  std::function<std::string(const std::string&)> traceFilter;
  // Where the transport keeps the TLS sessions it may resume (shared by a session's re-opens and
  // a tree walk's sessions); null: a cache of its own.
  std::shared_ptr<TlsSessionCache> tlsSessions;

  static TransportConfig FromSettings(const Settings& settings);
};

}  // namespace isilon
