// Keeping a session on the node that issued it. A cluster's name resolves to several nodes and
// a session cookie is valid only on its own node, so the session's transport connects to one
// address for its whole life while the URL, the TLS server name and the certificate check keep
// the name as given.
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/PlatformInfo.h"
#include "isilon/ManageIsilon.h"
#include "src/session/Cycle.h"

namespace {

const char kPinFn[] = "void ManageIsilon::PinSessionNode()";

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// [NAS] sIsilonNodeAddresses, for clusters without DNS: "10.0.0.1, 10.0.0.2".
std::vector<std::string> ConfiguredNodes() {
  std::string value;
  QuorPlatformInfo::getString("NAS", "sIsilonNodeAddresses", &value);
  std::vector<std::string> nodes;
  size_t begin = 0;
  while (begin <= value.size()) {
    size_t end = value.find(',', begin);
    if (end == std::string::npos) end = value.size();
    const std::string node = Trim(value.substr(begin, end - begin));
    if (!node.empty() && std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    begin = end + 1;
  }
  return nodes;
}

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

void ManageIsilon::PinSessionNode() {
  nodeAddresses_ = ConfiguredNodes();
  if (nodeAddresses_.empty()) nodeAddresses_ = ResolvedNodes(strFileServer);
  if (nodeAddresses_.empty()) {
    // Nothing to bind to: the transport resolves the name itself and reports what it finds.
    sessionNode_.clear();
    return;
  }
  // Stay on the node of the last session unless it just failed; then take the one after it.
  size_t index = firstNode_ % nodeAddresses_.size();
  const std::string& previous = avoidNode_.empty() ? sessionNode_ : avoidNode_;
  const auto at = std::find(nodeAddresses_.begin(), nodeAddresses_.end(), previous);
  if (at != nodeAddresses_.end()) {
    index = static_cast<size_t>(at - nodeAddresses_.begin());
    if (!avoidNode_.empty()) index = (index + 1) % nodeAddresses_.size();
  }
  sessionNode_ = nodeAddresses_[index];
  if (!pTransport->SetConnectAddress(sessionNode_)) {
    Log(kPinFn, __LINE__, -1, "Could not bind the session to node[%s] of file server[%s].", sessionNode_.c_str(),
        strFileServer.c_str());
  }
  Log(kPinFn, __LINE__, 3, "Session on file server[%s] goes to node[%s].", strFileServer.c_str(), sessionNode_.c_str());
}

void ManageIsilon::SetFirstNode(size_t index) {
  firstNode_ = index;
  // The next session starts on that node rather than where the last one was; an open one
  // keeps its node (its cookie is valid only there).
  if (!bConnected) sessionNode_.clear();
}

bool ManageIsilon::PinNextNode() {
  if (nodeAddresses_.size() < 2) return false;
  const auto at = std::find(nodeAddresses_.begin(), nodeAddresses_.end(), sessionNode_);
  const size_t index = at == nodeAddresses_.end() ? 0 : static_cast<size_t>(at - nodeAddresses_.begin()) + 1;
  sessionNode_ = nodeAddresses_[index % nodeAddresses_.size()];
  return pTransport->SetConnectAddress(sessionNode_);
}

bool ManageIsilon::MovesToAnotherNode(const RequestOutcome& outcome, const RequestStep& step) const {
  if (outcome.Succeeded() || outcome.NotMade()) return false;
  return outcome.transport == TransportResult::kNoConnection ||
         (outcome.transport == TransportResult::kNoReply && step.method == kGet);
}
