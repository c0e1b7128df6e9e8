#pragma once
// isilonctl as a process the test talks to while it runs: on a pseudo-terminal (standard input,
// output and error), or with its standard output on a pipe. Reads wait for what the tool writes,
// never for a time: the only time limit is a guard against a hung tool.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

class CtlProcess {
 public:
  enum class Io { kTerminal, kPipe };
  // Starts the tool with `args`; `env` is set on top of this process's environment (without
  // ISILON_LOG_*); an empty value removes the variable. With kPipe, standard input is empty and
  // standard error goes to a file.
  CtlProcess(Io io, const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {});
  ~CtlProcess();
  CtlProcess(const CtlProcess&) = delete;
  CtlProcess& operator=(const CtlProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Reads until what was read holds `text`; false at the end of the output.
  bool ReadUntil(const std::string& text);
  // Types on the terminal.
  void Type(const std::string& text);
  void Signal(int number);
  // Reads what is left, waits for the exit and returns its code (128 + N when killed by N).
  int Wait();
  // Everything read so far (on a terminal: output and error, as the terminal shows them).
  const std::string& output() const { return output_; }
  std::string err() const;  // kPipe: standard error, after Wait()
  // The terminal's local modes (ECHO, ICANON, ...) now: the test keeps the terminal open, so
  // after Wait() they are those the tool left behind.
  unsigned LocalModes() const;

 private:
  bool ReadSome();
  pid_t pid_ = -1;
  int fd_ = -1;  // the terminal's master side, or the pipe's reading end
  int slave_ = -1;
  std::string errPath_;
  std::string output_;
  int exit_ = -1;
};
