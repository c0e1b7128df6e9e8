#pragma once
// Runs isilonctl with a pseudo-terminal as its standard input, output and error, as a person
// at a terminal would, for what the tool does differently there (fitted tables, footers).
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/Isilonctl.h"

extern char** environ;

struct TerminalRun {
  int exitCode = -1;
  std::string out;  // what the terminal showed, line ends as "\n"
};

// `env` entries ("COLUMNS=40") are added to this process's environment, without its COLUMNS
// and log settings; the terminal is `columns` wide.
inline TerminalRun RunInTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                 unsigned short columns = 100) {
  // Under timeout(1): a guard against a hung tool, not a measure of its speed.
  std::vector<std::string> argStore{"/usr/bin/timeout", "--foreground", "-s", "KILL", "120", IsilonctlPath()};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ISILON_LOG_", 11) != 0 && std::strncmp(*e, "COLUMNS=", 8) != 0) envStore.push_back(*e);
  }
  envStore.insert(envStore.end(), env.begin(), env.end());
  std::vector<char*> argv, envp;
  for (auto& a : argStore) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  for (auto& e : envStore) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  TerminalRun run;
  winsize size{};
  size.ws_row = 50;
  size.ws_col = columns;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return run;
  if (pid == 0) {
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      run.out.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the tool has gone and the terminal is closed
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
  return run;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}
