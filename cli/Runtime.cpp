#include "cli/Runtime.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

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
  termios old {};
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
      ok = session_->SetPasswd(options.encryptedPassword, true);
    }
    if (!ok) {
      std::cerr << "isilonctl: cannot decipher the password (wrong key file or damaged text)\n";
      exitCode = kExitFailed;
      session_.reset();
      return nullptr;
    }
  } else {
    session_->SetPasswd(password);
  }
  std::fill(password.begin(), password.end(), '\0');
  return session_.get();
}

void Runtime::Finish() {
  if (session_) session_->CloseConnection();
  session_.reset();
}

int Runtime::Failed(const std::string& what) {
  std::string code, message;
  if (session_) session_->GetLastError(code, message);
  const std::string cause = session_ ? session_->GetLastTransportError() : std::string();
  if (options.json) {
    nlohmann::json out = {{"ok", false}, {"operation", what}, {"code", code}, {"message", message}};
    if (!cause.empty()) out["cause"] = cause;
    std::cout << out.dump(2) << std::endl;
  } else {
    std::cerr << "isilonctl: " << what << " failed: [" << code << "] " << message << "\n";
    if (!cause.empty()) std::cerr << "isilonctl: cause: " << cause << "\n";
  }
  exitCode = kExitFailed;
  return exitCode;
}

int Runtime::Failed(const std::string& what, const CZemError& error) {
  std::string code, message;
  if (session_) session_->GetLastError(code, message);
  const std::string cause = session_ ? session_->GetLastTransportError() : std::string();
  if (options.json) {
    nlohmann::json out = {{"ok", false},        {"operation", what}, {"error", error.Message()},
                          {"number", error.Number()}, {"code", code}, {"message", message}};
    if (!cause.empty()) out["cause"] = cause;
    std::cout << out.dump(2) << std::endl;
  } else {
    std::cerr << "isilonctl: " << what << " failed: " << error.Message() << " (error " << error.Number() << ")\n";
    if (!code.empty() || !message.empty()) std::cerr << "isilonctl: last error: [" << code << "] " << message << "\n";
    if (!cause.empty()) std::cerr << "isilonctl: cause: " << cause << "\n";
  }
  exitCode = kExitFailed;
  return exitCode;
}

int Runtime::Usage(const std::string& message) {
  std::cerr << "isilonctl: " << message << "\n";
  exitCode = kExitUsage;
  return exitCode;
}

void Runtime::PrintJson(const nlohmann::json& value) const { std::cout << value.dump(2) << std::endl; }

void Runtime::PrintTable(const std::vector<std::string>& headers,
                         const std::vector<std::vector<std::string>>& rows) const {
  std::vector<size_t> width(headers.size());
  for (size_t i = 0; i < headers.size(); ++i) width[i] = headers[i].size();
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size() && i < width.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t i = 0; i < headers.size(); ++i) {
      const std::string cell = i < cells.size() ? cells[i] : "";
      text += cell;
      if (i + 1 < headers.size()) text += std::string(width[i] - cell.size() + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::cout << text << "\n";
  };
  line(headers);
  for (const auto& row : rows) line(row);
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

}  // namespace ctl
