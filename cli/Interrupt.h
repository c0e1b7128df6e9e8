#pragma once
// SIGINT and SIGTERM (and SIGHUP, SIGQUIT): the handler only records the signal; the tool stops at its next safe
// point (a walk's next page, a wait's next poll, the next request, the end of a prompt), closes
// its sessions and exits with 128 + the signal. A second signal ends the tool at once.
#include <string>

namespace ctl {

// Installs the handlers (without SA_RESTART, so that a blocking read such as a prompt returns).
void InstallInterruptHandlers();
// The signal received, or 0.
int Interrupted();
// 128 + the signal (130 for SIGINT, 143 for SIGTERM), 0 when none came.
int InterruptExitCode();
// "interrupted (SIGINT)".
std::string InterruptText();
// Reads one line from a descriptor (a terminal), without its line end; false at the end of the
// input, on an error, or when a signal came before or during the read (no signal can slip in
// between the check and the wait).
bool ReadLineUnlessInterrupted(int fd, std::string& line);
// The sleep hook the library's waits use while the tool runs: it wakes early on a signal.
void InstallInterruptibleSleep();

}  // namespace ctl
