#pragma once
// Logins and their cookies.
//
// A login gets a session id (cookie "isisessid") and a CSRF token ("isicsrf"). A session id
// stays valid while it is used at least every idle-timeout seconds, and never longer than the
// absolute timeout from the login. Once an id is half the idle timeout old, the login gets a
// replacement id and token; replies then carry the replacement cookies, while the old id keeps
// working until it expires by itself. The replacement inherits the login's absolute deadline.
// Ending a session (logout) ends the whole login: the old id and every replacement.
// Each login belongs to the node that took it (its replacements too); the server refuses its
// ids on every other node.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/core/Clock.h"

namespace isim {

class SessionStore {
 public:
  explicit SessionStore(const Clock& clock, double idleSeconds = 900, double absoluteSeconds = 14400);

  void setTimeouts(double idleSeconds, double absoluteSeconds);
  double idleTimeout() const;
  double absoluteTimeout() const;

  struct Cookies {
    std::string sessionId;
    std::string csrfToken;
  };
  Cookies login(const std::string& user, const std::vector<std::string>& services, size_t node = 0);

  struct Use {
    std::string user;
    std::string csrfToken;  // the token that belongs to the id used
    std::vector<std::string> services;
    size_t node = 0;       // the node that issued the login
    bool renewed = false;  // `replacement` holds cookies to send
    Cookies replacement;
    double idleLeft = 0;      // seconds before the id would expire unused
    double absoluteLeft = 0;  // seconds before the login ends
  };
  // Looks up a live session id and marks it used. False for unknown or expired ids.
  bool use(const std::string& sessionId, Use& out);
  // The same lookup without marking the id used or renewing it.
  bool peek(const std::string& sessionId, Use& out) const;
  // Ends the login the id belongs to; false when the id is not live.
  bool logout(const std::string& sessionId);

  // Ends every session at once, as if both timeouts had passed; returns how many were live.
  size_t expireAll();
  // Ends the sessions a node issued (the node went down); returns how many were live.
  size_t expireNode(size_t node);

  size_t liveCount() const;
  void clear();

 private:
  using TimePoint = Clock::TimePoint;
  struct Session {
    std::string csrf;
    std::string user;
    std::vector<std::string> services;
    TimePoint issued;
    TimePoint lastUsed;
    TimePoint loginDeadline;
    std::string replacement;  // id issued for this one, if any
    unsigned long long loginNumber = 0;
    size_t node = 0;
  };

  bool expired(const Session& s, TimePoint now) const;
  void sweepLocked(TimePoint now);
  std::string issueLocked(const std::string& user, const std::vector<std::string>& services, TimePoint deadline,
                          unsigned long long loginNumber, size_t node, TimePoint now);
  size_t expireLocked(bool allNodes, size_t node);

  const Clock& clock_;
  mutable std::mutex mutex_;
  Clock::Duration idle_;
  Clock::Duration absolute_;
  std::map<std::string, Session> sessions_;
  unsigned long long nextLogin_ = 1;
  TimePoint lastSweep_;
};

// Hex text of `bytes` random bytes from OpenSSL's CSPRNG.
std::string randomHex(size_t bytes);

}  // namespace isim
