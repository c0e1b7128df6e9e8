#include "src/session/Nodes.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <vector>

namespace isilon {

namespace {

std::vector<std::string> ResolvedNodes(const std::string& server) {
  std::string host = server;
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<std::string> nodes;
  if (getaddrinfo(host.c_str(), "8080", &hints, &found) != 0) return nodes;
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    char text[NI_MAXHOST];
    if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) continue;
    std::string node = text;
    if (entry->ai_family == AF_INET6) node = "[" + node + "]";
    if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
  }
  freeaddrinfo(found);
  return nodes;
}

}  // namespace

const std::string& NodeChoice::Choose(const std::string& server, const std::vector<std::string>& configured,
                                      bool avoidCurrent) {
  addresses_ = configured;
  if (addresses_.empty()) addresses_ = ResolvedNodes(server);
  if (addresses_.empty()) {
    current_.clear();
    return current_;
  }
  size_t index = first_ % addresses_.size();
  const auto at = std::find(addresses_.begin(), addresses_.end(), current_);
  if (at != addresses_.end()) {
    index = static_cast<size_t>(at - addresses_.begin());
    if (avoidCurrent) index = (index + 1) % addresses_.size();
  }
  current_ = addresses_[index];
  return current_;
}

bool NodeChoice::Next() {
  if (addresses_.size() < 2) return false;
  const auto at = std::find(addresses_.begin(), addresses_.end(), current_);
  const size_t index = at == addresses_.end() ? 0 : static_cast<size_t>(at - addresses_.begin()) + 1;
  current_ = addresses_[index % addresses_.size()];
  return true;
}

void NodeChoice::SetFirst(size_t index, bool keepCurrent) {
  first_ = index;
  if (!keepCurrent) current_.clear();
}

}  // namespace isilon
