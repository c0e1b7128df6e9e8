#pragma once
// Which node of the cluster a session talks to. A cluster's name resolves to several nodes and
// a session cookie is valid only on its own node, so a session's transport connects to one
// address for its whole life while the URL, the TLS server name and the certificate check keep
// the name as given.
#include <cstddef>
#include <string>
#include <vector>

namespace isilon {

class NodeChoice {
 public:
  // The node a new session opens on: from `configured` (the settings' node list) or else the
  // resolution of `server`. It stays on the node of the last session unless `avoidCurrent`
  // (that node just failed: the one after it) or SetFirst chose another; empty when nothing
  // resolved (the transport then resolves the name itself).
  const std::string& Choose(const std::string& server, const std::vector<std::string>& configured, bool avoidCurrent);
  // Moves to the node after the current one; false when there is no other.
  bool Next();
  const std::string& Current() const { return current_; }
  size_t Count() const { return addresses_.size(); }
  // The node of index `index` (modulo the count) for the next session; `keepCurrent` while a
  // session is open, whose cookie is valid on its node only.
  void SetFirst(size_t index, bool keepCurrent);

 private:
  std::vector<std::string> addresses_;
  std::string current_;
  size_t first_ = 0;
};

}  // namespace isilon
