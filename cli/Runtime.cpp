#include "cli/Runtime.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <streambuf>

#include "cli/Confirm.h"
#include "cli/Interrupt.h"
#include "host/FXString.h"
#include "host/Password.h"
#include "host/QuorLibCurl.h"

namespace ctl {
namespace {

std::map<std::string, CommandInstaller>& Installers() {
  static std::map<std::string, CommandInstaller> installers;
  return installers;
}

// How the last request of this thread's session ended: a failure's exit code tells a cluster
// that could not be reached from one that refused.
thread_local TransportResult t_lastResult = TransportResult::kSucceeded;

const char* MethodName(_http_req_type_ type) {
  switch (type) {
    case HTTP_REQ_GET: return "GET";
    case HTTP_REQ_POST: return "POST";
    case HTTP_REQ_PUT: return "PUT";
    case HTTP_REQ_DELETE: return "DELETE";
  }
  return "?";
}

// The login (POST) and the logout (DELETE) of a session.
bool IsSessionRequest(const std::string& uri) {
  const std::string path = uri.substr(0, uri.find('?'));
  const std::string tail = "/session/1/session";
  return path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

// The transport of every session the tool opens: it holds back changes under --dry-run, and
// after an interrupt sends nothing but logouts. (What to trust and the time-outs go to each
// session as its options.)
class ToolTransport : public QuorLibCurl {
 public:
  bool QuorLibCurlSendHttpReq(_http_req_type_ type, const std::string& uri, const char* data, size_t length, bool flag,
                              const char* text) override {
    const bool session = IsSessionRequest(uri);
    held_.clear();
    if (Interrupted() != 0 && !(session && type == HTTP_REQ_DELETE)) {
      held_ = InterruptText() + ": not sent";
      return false;
    }
    if (type != HTTP_REQ_GET && !session && HoldingChanges()) {
      Hold({MethodName(type), uri, data != nullptr ? std::string(data, length) : std::string()});
      held_ = "dry run: not sent";
      return false;
    }
    const bool ok = QuorLibCurl::QuorLibCurlSendHttpReq(type, uri, data, length, flag, text);
    t_lastResult = QuorLibCurl::GetLastResult();
    return ok;
  }
  char* GetHttpResponse(unsigned long& code, bool flag) override {
    if (held_.empty()) return QuorLibCurl::GetHttpResponse(code, flag);
    code = 0;
    return nullptr;
  }
  bool GetHttpResponseHeaders(const std::string& name, std::vector<std::string>& values) override {
    if (held_.empty()) return QuorLibCurl::GetHttpResponseHeaders(name, values);
    values.clear();
    return false;
  }
  std::string GetLastErrorText() const override { return held_.empty() ? QuorLibCurl::GetLastErrorText() : held_; }
  long GetLastHttpStatus() const override { return held_.empty() ? QuorLibCurl::GetLastHttpStatus() : 0; }
  TransportResult GetLastResult() const override {
    return held_.empty() ? QuorLibCurl::GetLastResult() : TransportResult::kNotSent;
  }

 private:
  std::string held_;  // why the last request was not sent, or empty
};

// Standard output written straight to descriptor 1, keeping the first failure's cause: the
// C library forgets it once its buffer has been dropped.
class OutputBuffer : public std::streambuf {
 public:
  OutputBuffer() { setp(buffer_, buffer_ + sizeof buffer_); }
  int error() const { return error_; }
  bool Drain() {
    const char* data = pbase();
    size_t left = static_cast<size_t>(pptr() - pbase());
    while (left > 0 && error_ == 0) {
      const ssize_t n = ::write(STDOUT_FILENO, data, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
      } else {
        data += n;
        left -= static_cast<size_t>(n);
      }
    }
    // What cannot be written is dropped, so that a long listing does not pile it up.
    setp(buffer_, buffer_ + sizeof buffer_);
    return error_ == 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  char buffer_[1 << 16];
  int error_ = 0;
};

OutputBuffer& Output() {
  static OutputBuffer* buffer = [] {
    auto* b = new OutputBuffer;
    std::cout.rdbuf(b);
    return b;
  }();
  return *buffer;
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

CommandRegistration::CommandRegistration(const char* name, CommandInstaller installer) {
  Installers()[name] = installer;
}

void InstallCommands(CLI::App& app, Runtime& rt) {
  for (const auto& entry : Installers()) entry.second(app, rt);
}

namespace {

// Puts the terminal back as it was, however the prompt ends.
class EchoOff {
 public:
  EchoOff() : saved_(tcgetattr(STDIN_FILENO, &old_) == 0) {
    if (!saved_) return;
    termios quiet = old_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    if (saved_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios old_{};
  bool saved_;
};

bool FirstLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

bool ReadPasswordFromTerminal(const char* prompt, std::string& password) {
  if (!isatty(STDIN_FILENO) || Interrupted() != 0) return false;
  bool ok = false;
  {
    // Echo goes off before the prompt shows, so that nothing typed after it is echoed.
    EchoOff echoOff;
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    ok = ReadLineUnlessInterrupted(STDIN_FILENO, password);
  }
  std::fprintf(stderr, "\n");
  if (!ok) std::fill(password.begin(), password.end(), '\0');
  return ok;
}

bool Runtime::Resolve() {
  if (resolved_) return true;
  std::string error;
  if (!ResolveSettings(options, settings, error)) {
    Usage(error);
    return false;
  }
  options.server = settings.server.value;
  options.user = settings.user.value;
  options.caFile = settings.caFile.value;
  options.keyFile = settings.keyFile.value;
  options.encryptedPassword = settings.encryptedPassword.value;
  options.passwordFile = settings.passwordFile.value;
  resolved_ = true;
  return true;
}

void Runtime::UsePassword(const std::string& password) {
  givenPassword_ = password;
  passwordGiven_ = true;
}

bool Runtime::ReadPassword(std::string& password) {
  if (passwordGiven_) {
    password = givenPassword_;
    return true;
  }
  if (!options.encryptedPassword.empty()) return true;  // deciphered by the session
  if (options.passwordStdin) return FirstLine(std::cin, password) && Interrupted() == 0;
  if (!options.passwordFile.empty()) {
    std::ifstream in(options.passwordFile);
    return in && FirstLine(in, password);
  }
  return ReadPasswordFromTerminal("Password: ", password);
}

ManageIsilon* Runtime::Session() {
  if (session_) return session_.get();
  if (Interrupted() != 0) {
    Interrupt();
    return nullptr;
  }
  if (!Resolve()) return nullptr;
  if (options.server.empty() || options.user.empty()) {
    Usage(
        "--server and --user are required for this command (or ISILON_SERVER and ISILON_USER, or a profile: see "
        "isilonctl config show)");
    return nullptr;
  }
  std::string password;
  if (!ReadPassword(password)) {
    if (Interrupted() != 0) {
      Interrupt();
    } else if (!options.passwordFile.empty() && !options.passwordStdin) {
      Usage("cannot read the password file " + options.passwordFile + " (" + settings.passwordFile.source + ")");
    } else {
      Usage(
          "no password: give it on a terminal, with --password-stdin, --encrypted-password, ISILON_PASSWORD_FILE or "
          "a profile");
    }
    return nullptr;
  }
  InstallTransport();
  session_.reset(new ManageIsilon());
  session_->SetSessionOptions(SessionOptions());
  session_->SetFileServer(options.server);
  session_->SetUser(options.user);
  if (!options.encryptedPassword.empty()) {
    bool ok = false;
    if (!options.keyFile.empty()) {
      char buffer[QuorPassword::kBufferSize] = {};
      int length = sizeof buffer;
      ok = QuorPassword::decryptWithKeyFile(options.keyFile, options.encryptedPassword.c_str(), buffer, &length) != 0;
      if (ok) session_->SetPasswd(std::string(buffer));
      std::memset(buffer, 0, sizeof buffer);
    } else {
      ok = session_->SetPasswd(options.encryptedPassword, /*encrypted=*/true);
    }
    if (!ok) {
      session_.reset();
      Error("cannot decipher the password (wrong key file or damaged text)");
      return nullptr;
    }
  } else {
    session_->SetPasswd(password);
  }
  std::fill(password.begin(), password.end(), '\0');
  opening_ = true;
  const bool opened = session_->OpenConnection();
  if (!opened) Failed(command);
  opening_ = false;
  if (!opened) {
    session_.reset();
    return nullptr;
  }
  return session_.get();
}

void Runtime::InstallTransport() {
  SetTransportFactory([]() -> QuorLibCurl* { return new ToolTransport(); });
}

IsilonSessionOptions Runtime::SessionOptions() const { return SessionOptionsFor(settings); }

int Runtime::ExitCode() const { return Interrupted() != 0 ? InterruptExitCode() : exitCode; }

int Runtime::Interrupt() {
  const std::string message = (command.empty() ? std::string("isilonctl") : command) + " " + InterruptText();
  exitCode = InterruptExitCode();
  PrintFailure(message, {{"ok", false},
                         {"operation", command},
                         {"code", "interrupted"},
                         {"message", message},
                         {"cause", ""},
                         {"interrupted", true}});
  return exitCode;
}

Runtime::ChangeOutcome Runtime::Change(const std::string& question, const std::function<bool()>& change) {
  if (options.dryRun) {
    HoldChanges(true);
    const bool ok = change();
    HoldChanges(false);
    const std::vector<HeldRequest> held = HeldRequests();
    if (!ok && held.empty()) return ChangeOutcome::kFailed;
    if (Interrupted() != 0) {
      Interrupt();
      return ChangeOutcome::kNotMade;
    }
    exitCode = kExitOk;
    if (options.json) {
      nlohmann::json requests = nlohmann::json::array();
      for (const HeldRequest& r : held) {
        nlohmann::json body = nlohmann::json::parse(r.body, nullptr, false);
        if (body.is_discarded()) body = r.body.empty() ? nlohmann::json() : nlohmann::json(r.body);
        requests.push_back({{"method", r.method}, {"uri", r.uri}, {"body", body}});
      }
      PrintJson({{"ok", true}, {"operation", command}, {"dry_run", true}, {"requests", requests}});
      return ChangeOutcome::kNotMade;
    }
    std::cout << (held.empty()
                      ? "Dry run: nothing would be sent.\n"
                      : "Dry run: nothing was sent. " +
                            std::string(held.size() == 1 ? "The request would be:\n" : "The requests would be:\n"));
    for (const HeldRequest& r : held) {
      std::cout << r.method << " " << r.uri << "\n";
      if (r.body.empty()) continue;
      const nlohmann::json body = nlohmann::json::parse(r.body, nullptr, false);
      std::cout << (body.is_discarded() ? r.body : body.dump(2)) << "\n";
    }
    std::cout.flush();
    return ChangeOutcome::kNotMade;
  }
  if (!options.yes && CanAsk()) {
    switch (Ask(question)) {
      case Answer::kYes: break;
      case Answer::kInterrupted: Interrupt(); return ChangeOutcome::kNotMade;
      case Answer::kNo: {
        const std::string message = "not confirmed: nothing was changed";
        PrintFailure(
            message,
            {{"ok", false}, {"operation", command}, {"code", "not_confirmed"}, {"message", message}, {"cause", ""}});
        exitCode = kExitFailed;
        return ChangeOutcome::kNotMade;
      }
    }
  }
  return change() ? ChangeOutcome::kMade : ChangeOutcome::kFailed;
}

void AddChangeOptions(CLI::App* cmd, Runtime& rt) {
  cmd->add_flag("-y,--yes", rt.options.yes, "Do not ask for confirmation on a terminal");
  cmd->add_flag("--dry-run", rt.options.dryRun, "Print the request that would be sent and send nothing");
}

nlohmann::json WithExit(nlohmann::json value, int exitCode) {
  if (!value.is_object() || value.contains("exit")) return value;
  const auto ok = value.find("ok");
  const bool failed = ok != value.end() && ok->is_boolean() && !ok->get<bool>();
  value["exit"] = failed && exitCode == kExitOk ? static_cast<int>(kExitFailed) : exitCode;
  return value;
}

int Runtime::ExitFor(const std::string& code) const {
  if (Interrupted() != 0) return InterruptExitCode();
  if (code == "AEC_UNAUTHORIZED" || (opening_ && session_ && session_->GetLastTransportError() == "HTTP status 401")) {
    return kExitLoginRefused;
  }
  if (t_lastResult == TransportResult::kNoConnection || t_lastResult == TransportResult::kNotSent) {
    return kExitUnreachable;
  }
  if (code == "AEC_NOT_FOUND") return kExitNotFound;
  return kExitFailed;
}

void Runtime::Finish() {
  if (session_) session_->CloseConnection();
  session_.reset();
}

void Runtime::PrintFailure(const std::string& line, nlohmann::json value) {
  if (options.json) {
    PrintJson(value);
  } else {
    std::cerr << "isilonctl: " << OneLine(line) << std::endl;
  }
}

int Runtime::Failed(const std::string& what, const std::string& code, const std::string& message,
                    const std::string& cause) {
  if (Interrupted() != 0) return Interrupt();
  exitCode = ExitFor(code);
  std::string line = what + " failed: " + code + ": " + message;
  if (!cause.empty()) line += "; cause: " + cause;
  PrintFailure(line, {{"ok", false}, {"operation", what}, {"code", code}, {"message", message}, {"cause", cause}});
  return exitCode;
}

int Runtime::Failed(const std::string& what) {
  std::string code, message;
  if (session_) session_->GetLastError(code, message);
  const std::string cause = session_ ? session_->GetLastTransportError() : std::string();
  return Failed(what, code, message, cause);
}

int Runtime::Failed(const std::string& what, const CZemError& error) {
  std::string code, message;
  if (session_) session_->GetLastError(code, message);
  // The host error names the step that failed; the session's error, when there is one, why.
  if (code.empty() && message.empty()) {
    code = "error " + std::to_string(error.Number());
    message = error.Message();
  }
  return Failed(what, code, message, session_ ? session_->GetLastTransportError() : std::string());
}

int Runtime::NotFound(const std::string& thing, const std::string& name) {
  const std::string message = "no such " + thing + ": " + name;
  exitCode = kExitNotFound;
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "AEC_NOT_FOUND"}, {"message", message}, {"cause", ""}});
  return exitCode;
}

int Runtime::Usage(const std::string& message) {
  exitCode = kExitUsage;
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "usage"}, {"message", message}, {"cause", ""}});
  return exitCode;
}

int Runtime::Error(const std::string& message) {
  exitCode = kExitFailed;
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "error"}, {"message", message}, {"cause", ""}});
  return exitCode;
}

bool Runtime::LastErrorIs(const char* code) const {
  std::string last, message;
  if (session_) session_->GetLastError(last, message);
  return last == code;
}

void Runtime::PrintJson(const nlohmann::json& value) const {
  if (Out().format == OutputFormat::kNdjson) {
    std::cout << WithExit(value, exitCode).dump() << '\n';
    std::cout.flush();
  } else {
    std::cout << WithExit(value, exitCode).dump(2) << std::endl;
  }
}

void Runtime::PrintTable(const std::vector<Column>& columns, const std::vector<std::vector<std::string>>& rows,
                         const std::string& footer) const {
  const bool wide = Out().format == OutputFormat::kWide;
  std::vector<std::string> headers;
  std::vector<bool> shown;
  for (const Column& c : columns) {
    shown.push_back(wide || !c.wideOnly);
    if (shown.back()) headers.push_back(c.header);
  }
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.size());
  for (const auto& row : rows) {
    std::vector<std::string> kept;
    for (size_t i = 0; i < row.size() && i < shown.size(); ++i) {
      if (shown[i]) kept.push_back(row[i]);
    }
    cells.push_back(std::move(kept));
  }
  for (const std::string& line : FormatTable(headers, cells, wide ? 0 : TerminalColumns(), !Out().noHeaders)) {
    std::cout << line << '\n';
  }
  if (!footer.empty() && ShowFooter()) std::cout << footer << '\n';
  std::cout.flush();
}

void Runtime::PrintResult(const nlohmann::json& value, const std::string& text) const {
  if (options.json) {
    PrintJson(value);
  } else if (!text.empty()) {
    std::cout << text << std::endl;
  }
}

void Runtime::Progress(const std::string& line) const {
  if (!isatty(STDERR_FILENO)) return;
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
}

void Runtime::EndProgress() const {
  if (!isatty(STDERR_FILENO)) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

bool Runtime::OutputBroken() const { return Output().error() != 0; }

LogTap::LogTap(int level, Taker take) : level_(level), take_(std::move(take)), inner_(g_ptrLogWriter) {
  g_ptrLogWriter = boost::shared_ptr<CLogWriterInterface>(this, [](CLogWriterInterface*) {});
}

LogTap::~LogTap() { g_ptrLogWriter = inner_; }

void LogTap::setLevel(int level) {
  if (inner_) inner_->setLevel(level);
}

void LogTap::vwrite(int level, const char* function, int line, unsigned long long context, int reserved,
                    const char* format, va_list args) {
  const std::string text = FXString::FormatV(format, args);
  if (level <= level_) take_(level, text);
  if (inner_ && inner_->level() >= level) inner_->write(level, function, line, context, reserved, "%s", text.c_str());
}

void LogTap::flush() {
  if (inner_) inner_->flush();
}

void LogTap::write(int level, const char* function, int line, unsigned long long context, int reserved,
                   const char* format, ...) {
  va_list args;
  va_start(args, format);
  vwrite(level, function, line, context, reserved, format, args);
  va_end(args);
}

const char* LogTap::name() const { return "isilonctl-log-tap"; }

bool LogTap::enabled(int level) { return level <= this->level(); }

int LogTap::level() {
  const int inner = inner_ ? inner_->level() : -2;
  return std::max(inner, level_);
}

std::string Count(unsigned long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string ClusterPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

CLI::Validator WholeNumber(long long min, long long max) {
  const std::string range = max == LLONG_MAX
                                ? "a whole number from " + std::to_string(min) + " up"
                                : "a whole number from " + std::to_string(min) + " to " + std::to_string(max);
  return CLI::Validator(
      [min, max, range](std::string& input) -> std::string {
        const char* text = input.c_str();
        const bool digits = !input.empty() &&
                            input.find_first_not_of("0123456789", input[0] == '-' ? 1 : 0) == std::string::npos &&
                            input != "-";
        errno = 0;
        char* end = nullptr;
        const long long value = digits ? std::strtoll(text, &end, 10) : 0;
        if (!digits || errno != 0 || value < min || value > max) return "'" + input + "' is not " + range;
        return std::string();
      },
      range.substr(2));
}

CLI::Validator PathArgument() {
  return CLI::Validator(
      [](std::string& input) -> std::string {
        input = ClusterPath(input);
        return std::string();
      },
      "");
}

CLI::Validator ServerArgument() {
  return CLI::Validator(
      [](std::string& input) -> std::string {
        std::string host = input;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        in6_addr v6{};
        bool ok = inet_pton(AF_INET6, host.c_str(), &v6) == 1;
        if (!ok && host.size() == input.size()) {
          // A host name or an IPv4 address: letters, digits, "-", "." and "_" only.
          ok = !host.empty() && host.find_first_not_of(
                                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                    "0123456789-._") == std::string::npos;
        }
        if (ok) return std::string();
        return "'" + input +
               "' is not a bare host name or address: the server must be a bare host name or address because port "
               "8080 is implied (no scheme, port, path or user)";
      },
      "HOST");
}

int FinishOutput(int exitCode) {
  std::cout.flush();
  std::fflush(stdout);
  int error = Output().error();
  if (error == 0 && std::ferror(stdout)) error = EIO;
  if (error == 0 || error == EPIPE) return exitCode;  // a reader that stopped reading wants no more
  std::fprintf(stderr, "isilonctl: write error: %s\n", std::strerror(error));
  return kExitFailed;
}

void GuardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Opened for reading only, so that writing to a closed output still fails as it should.
    const int taken = ::open("/dev/null", O_RDONLY);
    if (taken >= 0 && taken != fd) {
      dup2(taken, fd);
      ::close(taken);
    }
  }
  Output();
}

}  // namespace ctl
