#pragma once
// What stands between a command and a change to the cluster: a question on a terminal, and
// --dry-run, under which the tool's transport keeps each change request instead of sending it.
#include <string>
#include <vector>

namespace ctl {

// A request the cluster would have got.
struct HeldRequest {
  std::string method, uri, body;
};

// While armed, every request but a read (GET) and the session's own login and logout is held
// back; the transport answers it as not sent.
void HoldChanges(bool on);
bool HoldingChanges();
// Called by the transport for a request it holds back.
void Hold(HeldRequest request);
std::vector<HeldRequest> HeldRequests();

// True when a question can be asked: standard input and standard error are terminals.
bool CanAsk();
enum class Answer { kYes, kNo, kInterrupted };
// Writes "question [y/N] " on standard error and reads a line: "y" or "yes" (any case) is yes,
// anything else (an empty line, end of input) no.
Answer Ask(const std::string& question);

}  // namespace ctl
