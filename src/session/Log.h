#pragma once
// The session's log lines: every layer writes through one of these, with the session's context.
#include <cstdarg>
#include <string>

namespace isilon {

void WriteLogV(const char* function, int line, int level, unsigned long long context, const char* format, va_list args);

class SessionLog {
 public:
  SessionLog(const unsigned long long& context, const std::string& server) : context_(context), server_(server) {}
  void operator()(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  // Whether a line of `level` would be written: a line whose text costs something to make
  // (a redaction, say) is made only then.
  bool Wants(int level) const;
  // The same with context 0.
  void NoContext(const char* function, int line, int level, const char* format, ...) const
      __attribute__((format(printf, 5, 6)));
  // The standard failure line of an operation.
  void Failure(const char* function, int line, const std::string& code, const std::string& message) const;
  const char* Server() const { return server_.c_str(); }
  const std::string& ServerName() const { return server_; }

 private:
  const unsigned long long& context_;
  const std::string& server_;
};

}  // namespace isilon
