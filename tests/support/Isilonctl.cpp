#include "tests/support/Isilonctl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/TempFile.h"

extern char** environ;

std::string IsilonctlPath() {
  char self[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string exe = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  return exe.substr(0, exe.rfind('/')) + "/../cli/isilonctl";
}

bool IsilonctlBuilt() { return access(IsilonctlPath().c_str(), X_OK) == 0; }

CtlRun RunIsilonctl(const CtlTarget& target, const std::vector<std::string>& args, CtlStdout output) {
  std::vector<std::string> all{"--server",         target.address, "--user",     target.user,
                               "--password-stdin", "--ca-file",    target.caFile};
  all.insert(all.end(), args.begin(), args.end());
  return RunIsilonctlRaw(all, target.password + "\n", output);
}

void ExpectRuns(const CtlTarget& target, const std::vector<CtlExpect>& runs) {
  for (const CtlExpect& expected : runs) {
    SCOPED_TRACE(::testing::PrintToString(expected.args));
    const CtlRun run = RunIsilonctl(target, expected.args);
    EXPECT_EQ(run.exitCode, expected.exitCode) << run.err;
    EXPECT_NE((run.out + run.err).find(expected.output), std::string::npos) << run.out << run.err;
    EXPECT_TRUE(expected.exitCode != 0 || run.err.empty()) << run.err;
  }
}

CtlRun RunIsilonctlRaw(const std::vector<std::string>& args, const std::string& input, CtlStdout output) {
  // Under timeout(1): a guard against a hung tool, not a measure of its speed.
  std::vector<std::string> argStore{"/usr/bin/timeout", "-s", "KILL", "120", IsilonctlPath()};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (auto& a : argStore) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ISILON_LOG_", 11) != 0) envp.push_back(*e);
  }
  envp.push_back(nullptr);

  // Files rather than pipes: the tool sees no terminal, and nothing can fill up and block.
  TempFile in(input), out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.path().c_str(), O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  switch (output) {
    case CtlStdout::kFile:
      posix_spawn_file_actions_addopen(&actions, 1, out.path().c_str(), O_WRONLY | O_TRUNC, 0);
      break;
    case CtlStdout::kFull: posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0); break;
    case CtlStdout::kClosed: posix_spawn_file_actions_addclose(&actions, 1); break;
    case CtlStdout::kBrokenPipe:
      if (pipe2(pipeEnds, O_CLOEXEC) == 0) {
        close(pipeEnds[0]);  // the reader is gone before the first write
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      }
      break;
  }
  posix_spawn_file_actions_addopen(&actions, 2, err.path().c_str(), O_WRONLY | O_TRUNC, 0);
  pid_t pid = 0;
  CtlRun run;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  if (rc != 0) {
    run.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = out.read();
  run.err = err.read();
  return run;
}
