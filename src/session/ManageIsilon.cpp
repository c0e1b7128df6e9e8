// Construction, credentials, last error and logging of the session object.
#include "isilon/ManageIsilon.h"

#include <cstdarg>
#include <cstring>

#include "host/FXString.h"
#include "host/LogWriter.h"
#include "host/Password.h"
#include "src/common/InputChecks.h"

namespace {

void WriteLog(const char* function, int line, int level, unsigned long long context, const char* format, va_list args) {
  CLogWriterInterface* writer = g_ptrLogWriter.get();
  if (writer == nullptr || writer->level() < level) return;
  const std::string text = FXString::FormatV(format, args);
  writer->write(level, function, line, context, 0, "%s", text.c_str());
}

}  // namespace

ManageIsilon::ManageIsilon() { Init(); }

ManageIsilon::ManageIsilon(const unsigned long long& context) {
  Init();
  nLogContext = context;
}

ManageIsilon::~ManageIsilon() {
  if (pTransport != nullptr) {
    Log("ManageIsilon::~ManageIsilon()", __LINE__, 2, "Closing curl session.");
    ReleaseTransport();
  }
  // The clear-text password should not outlive the session in freed memory.
  if (!strPassword.empty()) std::memset(&strPassword[0], 0, strPassword.size());
}

void ManageIsilon::Init() {
  strFileServer.clear();
  strUser.clear();
  strPassword.clear();
  strLastErrorCode.clear();
  strLastErrorMessage.clear();
  nLogContext = 0;
  pTransport = nullptr;
  bConnected = false;
}

void ManageIsilon::SetFileServer(const string& server) {
  // An IPv6 address goes into URLs in brackets.
  const string next = isilon::ServerForUrl(server);
  if (next != strFileServer) EndSessionForChange();
  strFileServer = next;
}

void ManageIsilon::SetUser(const string& user) {
  const string next = ValidateEscSeq(user);
  if (next != strUser) EndSessionForChange();
  strUser = next;
}

bool ManageIsilon::IsValidFileServer(const string& server) { return isilon::IsBareServer(server); }

string ManageIsilon::ValidateEscSeq(const string& text) {
  string out;
  out.reserve(text.size() + 4);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      out += "\\\\";
      // A backslash already doubled is taken with its partner and stays doubled.
      if (i + 1 < text.size() && text[i + 1] == '\\') ++i;
    } else {
      out += text[i];
    }
  }
  LogNoContext("string ManageIsilon::ValidateEscSeq(const string&)", __LINE__, 3, "Input [%s], Output[%s] ",
               text.c_str(), out.c_str());
  return out;
}

void ManageIsilon::SetPasswd(const string& password) {
  if (password != strPassword) EndSessionForChange();
  strPassword = password;
}

bool ManageIsilon::SetPasswd(const string& password, bool encrypted) {
  if (!encrypted) {
    SetPasswd(password);
    return true;
  }
  // The enciphered text is not the password: whatever it deciphers to, the session ends.
  EndSessionForChange();
  strPassword = password;
  char buffer[QuorPassword::kBufferSize];
  std::memset(buffer, 0, sizeof buffer);
  int length = sizeof buffer;
  // The cipher reads a C string: a NUL would have it decipher only the text before it.
  if (isilon::HasNul(password) || QuorPassword::decrypt(password.c_str(), buffer, &length) == 0) {
    Log("bool ManageIsilon::SetPasswd(const string&, bool)", __LINE__, -1, "Failed to decrypt password.");
    return false;
  }
  // Bounded, in case a cipher filled the whole buffer without a terminator.
  strPassword.assign(buffer, strnlen(buffer, sizeof buffer));
  std::memset(buffer, 0, sizeof buffer);
  return true;
}

void ManageIsilon::GetLastError(string& code, string& message) {
  code = strLastErrorCode;
  message = strLastErrorMessage;
}

string ManageIsilon::GetLastTransportError() const {
  return pTransport != nullptr ? pTransport->GetLastErrorText() : string();
}

void ManageIsilon::Log(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  WriteLog(function, line, level, nLogContext, format, args);
  va_end(args);
}

void ManageIsilon::LogNoContext(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  WriteLog(function, line, level, 0, format, args);
  va_end(args);
}

ManageIsilon::RequestCounters ManageIsilon::GetRequestCounters() const {
  RequestCounters counters;
  counters.retries = retriesDone_;
  counters.reopenedSessions = sessionsReopened_;
  counters.nodeSwitches = nodeSwitches_;
  counters.argumentFallbacks = argumentFallbacks_;
  return counters;
}

void ManageIsilon::ClearLastError() {
  strLastErrorCode.clear();
  strLastErrorMessage.clear();
  clusterUnreachable_ = false;
}

bool ManageIsilon::FailInput(const char* function, int line) {
  return Fail(function, line, "Internal error", "Invalid input parameters");
}

void ManageIsilon::SetLastError(const string& code, const string& message) {
  strLastErrorCode = code;
  strLastErrorMessage = message;
}

bool ManageIsilon::LogFailure(const char* function, int line) const {
  Log(function, line, -1, "File server[%s], ErrorCode[%s], ErrorMessage[%s]", strFileServer.c_str(),
      strLastErrorCode.c_str(), strLastErrorMessage.c_str());
  return false;
}

bool ManageIsilon::Fail(const char* function, int line, const string& code, const string& message) {
  SetLastError(code, message);
  return LogFailure(function, line);
}
