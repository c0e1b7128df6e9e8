#pragma once
// The request cycle every operation runs through: opens the session when needed (the one
// failover loop over the cluster's nodes), sends through the sender, opens the session again
// once after HTTP 401 or on another node after its node went away, drops an undeclared query
// argument the cluster refuses by name, and reads the cluster's error reply into the outcome.
// Internal to the library; ManageIsilon::RunRequest is its public-facing door.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "src/session/Log.h"
#include "src/session/Login.h"
#include "src/session/Nodes.h"
#include "src/session/Request.h"
#include "src/session/Sender.h"

class IsilonJsonBase;

namespace isilon {

struct Settings;
class TlsSessionCache;

// What the cycle did on its own.
struct CycleCounters {
  unsigned long long retries = 0;
  unsigned long long reopenedSessions = 0;
  unsigned long long nodeSwitches = 0;
  unsigned long long argumentFallbacks = 0;
};

class Cycle {
 public:
  Cycle(const bool& connected, Sender& sender, Login& login, NodeChoice& nodes, CycleCounters& counters,
        const SessionLog& log, std::function<const Settings&()> settings)
      : connected_(connected),
        sender_(sender),
        login_(login),
        nodes_(nodes),
        counters_(counters),
        log_(log),
        settings_(std::move(settings)) {}

  // Opens the session unless it is open: on the node the choice gives (the one after the
  // current when `avoidCurrent`), then on each other node while connections are refused.
  RequestOutcome Open(bool avoidCurrent = false);
  // The whole request: open, build, guard, send, re-open once, read the error reply.
  RequestOutcome Run(const RequestStep& step, IsilonJsonBase& request,
                     const std::function<bool(std::string& uri, std::string& body)>& build, std::string& response);
  // True when the last failure to open reached none of the nodes.
  bool Unreachable() const { return unreachable_; }
  void ClearUnreachable() { unreachable_ = false; }
  // The TLS sessions the session's connections resume, from one open to the next; a tree walk
  // hands one cache to all its sessions.
  void ShareTlsSessions(std::shared_ptr<TlsSessionCache> cache) { tlsSessions_ = std::move(cache); }

 private:
  RequestOutcome SendAndRecover(const RequestStep& step, const std::string& uri, const std::string& body,
                                std::string& response);
  // Drops the session and opens it again (on another node when `anotherNode`), then sends the
  // same request once more.
  RequestOutcome ReopenAndRepeat(const RequestStep& step, const std::string& uri, const std::string& body,
                                 std::string& response, bool anotherNode);

  const bool& connected_;
  Sender& sender_;
  Login& login_;
  NodeChoice& nodes_;
  CycleCounters& counters_;
  const SessionLog& log_;
  std::function<const Settings&()> settings_;
  bool unreachable_ = false;
  std::shared_ptr<TlsSessionCache> tlsSessions_;
};

}  // namespace isilon
