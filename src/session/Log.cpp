#include "src/session/Log.h"

#include <string>

#include "host/FXString.h"
#include "host/LogWriter.h"

namespace isilon {

void WriteLogV(const char* function, int line, int level, unsigned long long context, const char* format,
               va_list args) {
  CLogWriterInterface* writer = g_ptrLogWriter.get();
  if (writer == nullptr || writer->level() < level) return;
  const std::string text = FXString::FormatV(format, args);
  writer->write(level, function, line, context, 0, "%s", text.c_str());
}

bool SessionLog::Wants(int level) const {
  CLogWriterInterface* writer = g_ptrLogWriter.get();
  return writer != nullptr && writer->level() >= level;
}

void SessionLog::operator()(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  WriteLogV(function, line, level, context_, format, args);
  va_end(args);
}

void SessionLog::NoContext(const char* function, int line, int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  WriteLogV(function, line, level, 0, format, args);
  va_end(args);
}

void SessionLog::Failure(const char* function, int line, const std::string& code, const std::string& message) const {
  (*this)(function, line, -1, "File server[%s], ErrorCode[%s], ErrorMessage[%s]", server_.c_str(), code.c_str(),
          message.c_str());
}

}  // namespace isilon
