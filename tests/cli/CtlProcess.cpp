#include "tests/cli/CtlProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/Isilonctl.h"

extern char** environ;

namespace {

// A guard against a hung tool, not a measure of its speed.
const int kHangGuardMs = 120000;

std::vector<std::string> Environment(const std::map<std::string, std::string>& env) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name.compare(0, 11, "ISILON_LOG_") == 0 || env.count(name) != 0) continue;
    out.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (!value.empty()) out.push_back(name + "=" + value);
  }
  return out;
}

[[noreturn]] void Exec(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argStore{IsilonctlPath()};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (const auto& a : argStore) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

}  // namespace

CtlProcess::CtlProcess(Io io, const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
  const std::vector<std::string> environment = Environment(env);
  if (io == Io::kTerminal) {
    int master = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 120;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) Exec(args, environment);
    if (pid < 0) return;
    pid_ = pid;
    fd_ = master;
    slave_ = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return;
  }
  char errTemplate[] = "/tmp/isilonctl-err-XXXXXX";
  const int errFd = mkstemp(errTemplate);
  errPath_ = errTemplate;
  int ends[2];
  if (errFd < 0 || pipe2(ends, O_CLOEXEC) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(ends[1], 1);
    dup2(errFd, 2);
    Exec(args, environment);
  }
  close(ends[1]);
  close(errFd);
  if (pid < 0) {
    close(ends[0]);
    return;
  }
  pid_ = pid;
  fd_ = ends[0];
}

CtlProcess::~CtlProcess() {
  if (pid_ > 0 && exit_ < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (fd_ >= 0) close(fd_);
  if (slave_ >= 0) close(slave_);
  if (!errPath_.empty()) unlink(errPath_.c_str());
}

bool CtlProcess::ReadSome() {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  const int ready = poll(&p, 1, kHangGuardMs);
  if (ready <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;  // the end (EIO on a terminal whose other side is closed)
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

bool CtlProcess::ReadUntil(const std::string& text) {
  if (slave_ < 0) {
    while (output_.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }
  // The test's own hold on the terminal keeps it open after the tool has gone: look for that.
  for (int polls = 0; output_.find(text) == std::string::npos; ++polls) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) > 0) {
      ReadSome();
      continue;
    }
    int status = 0;
    if (polls > kHangGuardMs / 50 || waitpid(pid_, &status, WNOHANG) == pid_) {
      if (polls <= kHangGuardMs / 50) exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return output_.find(text) != std::string::npos;
    }
  }
  return true;
}

void CtlProcess::Type(const std::string& text) {
  if (fd_ >= 0 && write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    output_ += "[typing failed]";
  }
}

void CtlProcess::Signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

int CtlProcess::Wait() {
  if (pid_ <= 0) return -1;
  if (exit_ >= 0) return exit_;
  int status = 0;
  if (slave_ < 0) {
    while (ReadSome()) {
    }
    waitpid(pid_, &status, 0);
  } else {
    // The test's own hold on the terminal keeps its output open: read until the tool is gone.
    bool reaped = false;
    for (int polls = 0; !reaped && polls < kHangGuardMs / 50; ++polls) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) ReadSome();
      reaped = waitpid(pid_, &status, WNOHANG) == pid_;
    }
    if (!reaped) return -1;
    for (pollfd p{fd_, POLLIN, 0}; poll(&p, 1, 0) > 0 && ReadSome();) {
    }
  }
  exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  return exit_;
}

unsigned CtlProcess::LocalModes() const {
  termios modes{};
  return slave_ >= 0 && tcgetattr(slave_, &modes) == 0 ? static_cast<unsigned>(modes.c_lflag) : 0;
}

std::string CtlProcess::err() const {
  std::ifstream in(errPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
