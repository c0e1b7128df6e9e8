#include "host/DebugLog.h"

#include <cstdarg>
#include <string>

#include "host/FXString.h"
#include "host/LogWriter.h"

namespace {

void Emit(const char* function, int level, long long context, const char* format, va_list args) {
  CLogWriterInterface* writer = g_ptrLogWriter.get();
  if (writer == nullptr || writer->level() < level) return;
  const std::string text = FXString::FormatV(format, args);
  writer->write(level, function, 0, static_cast<unsigned long long>(context), 0, "%s", text.c_str());
}

}  // namespace

EvDebug::EvDebug(EvDebugFileInstance* instance) : instance_(instance) {}

void EvDebug::DebugLvl(const char* function, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(function, level, 0, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(const char* function, int level, long long context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(function, level, context, format, args);
  va_end(args);
}
