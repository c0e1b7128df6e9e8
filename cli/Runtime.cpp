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
#include <iostream>
#include <map>
#include <streambuf>

#include "host/FXString.h"
#include "host/Password.h"
#include "host/QuorLibCurl.h"

namespace ctl {
namespace {

std::map<std::string, CommandInstaller>& Installers() {
  static std::map<std::string, CommandInstaller> installers;
  return installers;
}

// Trusts the certificate file given on the command line for every session this tool opens.
class TrustingTransport : public QuorLibCurl {
 public:
  explicit TrustingTransport(std::string caFile) : caFile_(std::move(caFile)) {}
  bool QuorLibCurlInit(const char* contentType, bool keepAlive, bool verbose,
                       QuorLibCurlWriteCallback callback) override {
    return QuorLibCurl::QuorLibCurlInit(contentType, keepAlive, verbose, callback) && SetCAFile(caFile_);
  }

 private:
  std::string caFile_;
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

bool ReadPasswordFromTerminal(const char* prompt, std::string& password) {
  if (!isatty(STDIN_FILENO)) return false;
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  termios old{};
  tcgetattr(STDIN_FILENO, &old);
  termios quiet = old;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  const bool ok = static_cast<bool>(std::getline(std::cin, password));
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
  std::fprintf(stderr, "\n");
  return ok;
}

bool Runtime::ReadPassword(std::string& password) {
  if (!options.encryptedPassword.empty()) return true;  // deciphered by the session
  if (options.passwordStdin) {
    if (!std::getline(std::cin, password)) return false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
  }
  return ReadPasswordFromTerminal("Password: ", password);
}

ManageIsilon* Runtime::Session() {
  if (session_) return session_.get();
  if (options.server.empty() || options.user.empty()) {
    Usage("--server and --user are required for this command");
    return nullptr;
  }
  std::string password;
  if (!ReadPassword(password)) {
    Usage("no password: give it on a terminal, with --password-stdin or with --encrypted-password");
    return nullptr;
  }
  if (!options.caFile.empty()) {
    const std::string caFile = options.caFile;
    SetTransportFactory([caFile]() -> QuorLibCurl* { return new TrustingTransport(caFile); });
  }
  session_.reset(new ManageIsilon());
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
  if (!session_->OpenConnection()) {
    Failed(command);
    session_.reset();
    return nullptr;
  }
  return session_.get();
}

void Runtime::Finish() {
  if (session_) session_->CloseConnection();
  session_.reset();
}

void Runtime::PrintFailure(const std::string& line, const nlohmann::json& value) {
  if (options.json) {
    PrintJson(value);
  } else {
    std::cerr << "isilonctl: " << OneLine(line) << std::endl;
  }
}

int Runtime::Failed(const std::string& what, const std::string& code, const std::string& message,
                    const std::string& cause) {
  std::string line = what + " failed: " + code + ": " + message;
  if (!cause.empty()) line += "; cause: " + cause;
  PrintFailure(line, {{"ok", false}, {"operation", what}, {"code", code}, {"message", message}, {"cause", cause}});
  exitCode = kExitFailed;
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
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "AEC_NOT_FOUND"}, {"message", message}, {"cause", ""}});
  exitCode = kExitFailed;
  return exitCode;
}

int Runtime::Usage(const std::string& message) {
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "usage"}, {"message", message}, {"cause", ""}});
  exitCode = kExitUsage;
  return exitCode;
}

int Runtime::Error(const std::string& message) {
  PrintFailure(message,
               {{"ok", false}, {"operation", command}, {"code", "error"}, {"message", message}, {"cause", ""}});
  exitCode = kExitFailed;
  return exitCode;
}

bool Runtime::LastErrorIs(const char* code) const {
  std::string last, message;
  if (session_) session_->GetLastError(last, message);
  return last == code;
}

void Runtime::PrintJson(const nlohmann::json& value) const {
  if (Out().format == OutputFormat::kNdjson) {
    std::cout << value.dump() << '\n';
    std::cout.flush();
  } else {
    std::cout << value.dump(2) << std::endl;
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
