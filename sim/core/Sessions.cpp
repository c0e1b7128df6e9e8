#include "sim/core/Sessions.h"

#include <openssl/rand.h>

#include <stdexcept>

namespace isim {

namespace {
Clock::Duration seconds(double s) {
  if (!(s > 0)) s = 0;
  // Cap at about a century so that conversions never overflow.
  if (s > 3.2e9) s = 3.2e9;
  return std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(s));
}
double toSeconds(Clock::Duration d) { return std::chrono::duration<double>(d).count(); }
}  // namespace

std::string randomHex(size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1)
    throw std::runtime_error("no random bytes for a session id");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : raw) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

SessionStore::SessionStore(const Clock& clock, double idleSeconds, double absoluteSeconds)
    : clock_(clock), idle_(seconds(idleSeconds)), absolute_(seconds(absoluteSeconds)), lastSweep_(clock.now()) {}

void SessionStore::setTimeouts(double idleSeconds, double absoluteSeconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  idle_ = seconds(idleSeconds);
  absolute_ = seconds(absoluteSeconds);
}

double SessionStore::idleTimeout() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return toSeconds(idle_);
}

double SessionStore::absoluteTimeout() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return toSeconds(absolute_);
}

bool SessionStore::expired(const Session& s, TimePoint now) const {
  return now >= s.loginDeadline || now - s.lastUsed >= idle_;
}

void SessionStore::sweepLocked(TimePoint now) {
  // At most once a second, so that a busy server does not scan on every request.
  if (now - lastSweep_ < std::chrono::seconds(1)) return;
  lastSweep_ = now;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (expired(it->second, now))
      it = sessions_.erase(it);
    else
      ++it;
  }
}

std::string SessionStore::issueLocked(const std::string& user, const std::vector<std::string>& services,
                                      TimePoint deadline, unsigned long long loginNumber, size_t node, TimePoint now) {
  std::string id = randomHex(24);
  Session s;
  s.csrf = randomHex(16);
  s.user = user;
  s.services = services;
  s.issued = now;
  s.lastUsed = now;
  s.loginDeadline = deadline;
  s.loginNumber = loginNumber;
  s.node = node;
  sessions_[id] = std::move(s);
  return id;
}

SessionStore::Cookies SessionStore::login(const std::string& user, const std::vector<std::string>& services,
                                          size_t node) {
  std::lock_guard<std::mutex> lock(mutex_);
  TimePoint now = clock_.now();
  sweepLocked(now);
  std::string id = issueLocked(user, services, now + absolute_, nextLogin_++, node, now);
  return Cookies{id, sessions_[id].csrf};
}

bool SessionStore::use(const std::string& sessionId, Use& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  TimePoint now = clock_.now();
  sweepLocked(now);
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end()) return false;
  if (expired(it->second, now)) {
    sessions_.erase(it);
    return false;
  }
  Session& s = it->second;
  s.lastUsed = now;
  out = Use();
  out.user = s.user;
  out.csrfToken = s.csrf;
  out.services = s.services;
  out.node = s.node;
  out.idleLeft = toSeconds(idle_);
  out.absoluteLeft = toSeconds(s.loginDeadline - now);
  if (now - s.issued >= idle_ / 2) {
    // One replacement per id: a client that keeps the old cookie gets the same one again.
    auto rep = s.replacement.empty() ? sessions_.end() : sessions_.find(s.replacement);
    if (rep == sessions_.end() || expired(rep->second, now)) {
      if (rep != sessions_.end()) sessions_.erase(rep);
      std::string id = issueLocked(s.user, s.services, s.loginDeadline, s.loginNumber, s.node, now);
      sessions_.find(sessionId)->second.replacement = id;
      rep = sessions_.find(id);
    }
    out.renewed = true;
    out.replacement = Cookies{rep->first, rep->second.csrf};
  }
  return true;
}

bool SessionStore::peek(const std::string& sessionId, Use& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  TimePoint now = clock_.now();
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end() || expired(it->second, now)) return false;
  out = Use();
  out.user = it->second.user;
  out.csrfToken = it->second.csrf;
  out.services = it->second.services;
  out.node = it->second.node;
  out.idleLeft = toSeconds(idle_ - (now - it->second.lastUsed));
  out.absoluteLeft = toSeconds(it->second.loginDeadline - now);
  return true;
}

bool SessionStore::logout(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  TimePoint now = clock_.now();
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end() || expired(it->second, now)) return false;
  unsigned long long login = it->second.loginNumber;
  for (auto i = sessions_.begin(); i != sessions_.end();) {
    if (i->second.loginNumber == login)
      i = sessions_.erase(i);
    else
      ++i;
  }
  return true;
}

size_t SessionStore::expireAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  return expireLocked(/*allNodes=*/true, 0);
}

size_t SessionStore::expireNode(size_t node) {
  std::lock_guard<std::mutex> lock(mutex_);
  return expireLocked(/*allNodes=*/false, node);
}

size_t SessionStore::expireLocked(bool allNodes, size_t node) {
  const TimePoint now = clock_.now();
  size_t live = 0;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (allNodes || it->second.node == node) {
      if (!expired(it->second, now)) ++live;
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return live;
}

size_t SessionStore::liveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  TimePoint now = clock_.now();
  size_t n = 0;
  for (const auto& s : sessions_)
    if (!expired(s.second, now)) ++n;
  return n;
}

void SessionStore::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.clear();
}

}  // namespace isim
