#include "src/snapshot/WriterLog.h"

#include <cstdarg>
#include <string>

#include "host/FXString.h"
#include "host/LogWriter.h"

namespace isilon {
namespace snapshot {

void WriterLog(const char* function, int line, int level, const char* format, ...) {
  CLogWriterInterface* writer = g_ptrLogWriter.get();
  if (writer == nullptr || writer->level() < level) return;
  va_list args;
  va_start(args, format);
  const std::string text = FXString::FormatV(format, args);
  va_end(args);
  writer->write(level, function, line, 0, 0, "%s", text.c_str());
}

}  // namespace snapshot
}  // namespace isilon
