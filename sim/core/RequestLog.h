#pragma once
// The last requests as received, for tests to assert targets, headers and bodies byte for
// byte. Kept in memory only (it holds the clear-text session secrets that tests compare);
// the admin endpoint hands it out with those secrets masked.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace isim {

struct LoggedRequest {
  uint64_t sequence = 0;  // 1, 2, ... in arrival order
  std::string method;
  std::string target;  // exactly as sent, query included
  // Headers as received (names as sent). Their order is the server library's: by name,
  // case-insensitively, then in arrival order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int status = 0;  // reply status; 0 while pending or when the connection was closed instead
  // The client's end of the connection: requests that share it came over one kept-alive
  // connection.
  std::string remoteAddress;
  int remotePort = 0;
  size_t node = 0;  // the node that served it (Server::nodeAddress)

  bool hasHeader(const std::string& name) const;
  // First value of a header (names compared case-insensitively), or empty.
  std::string header(const std::string& name) const;
  // Path part of the target (before '?').
  std::string path() const;
};

class RequestLog {
 public:
  explicit RequestLog(size_t capacity = 1000) : capacity_(capacity ? capacity : 1) {}

  uint64_t add(LoggedRequest request);  // returns the sequence number
  void setStatus(uint64_t sequence, int status);

  std::vector<LoggedRequest> entries() const;
  // Entries whose method matches (empty: any) and whose target starts with `targetPrefix`.
  std::vector<LoggedRequest> find(const std::string& method, const std::string& targetPrefix) const;
  bool last(LoggedRequest& out) const;
  size_t size() const;
  void clear();
  void setCapacity(size_t capacity);

 private:
  mutable std::mutex mutex_;
  size_t capacity_;
  uint64_t next_ = 1;
  std::deque<LoggedRequest> entries_;
};

}  // namespace isim
