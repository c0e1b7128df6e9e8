#include "host/LogWriter.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "host/FXString.h"

CLogWriterInterface::~CLogWriterInterface() {}

struct CDefaultLogWriter::Impl {
  std::mutex mutex;
  FILE* file = nullptr;  // null: standard error
  int level = 0;
};

namespace {

int LevelFromEnvironment() {
  const char* text = std::getenv("ISILON_LOG_LEVEL");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < -1000 || value > 1000) return 0;
  return static_cast<int>(value);
}

std::string Timestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long>(now.tv_usec / 1000));
  return text;
}

}  // namespace

CDefaultLogWriter::CDefaultLogWriter() : impl_(new Impl) {
  const char* path = std::getenv("ISILON_LOG_FILE");
  if (path != nullptr && *path != '\0') impl_->file = std::fopen(path, "a");
  impl_->level = LevelFromEnvironment();
}

CDefaultLogWriter::CDefaultLogWriter(const std::string& path, int level) : impl_(new Impl) {
  if (!path.empty()) impl_->file = std::fopen(path.c_str(), "a");
  impl_->level = level;
}

CDefaultLogWriter::~CDefaultLogWriter() {
  if (impl_->file != nullptr) std::fclose(impl_->file);
  delete impl_;
}

void CDefaultLogWriter::setLevel(int level) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->level = level;
}

void CDefaultLogWriter::vwrite(int level, const char* function, int line, unsigned long long context, int,
                               const char* format, va_list args) {
  // The whole line is formatted first and written with one call under the lock, so lines
  // from several threads never interleave.
  std::string text = Timestamp() + " [" + std::to_string(level) + "] " + (function != nullptr ? function : "") + ":" +
                     std::to_string(line) + " ctx=" + std::to_string(context) + " " + FXString::FormatV(format, args);
  text += '\n';
  std::lock_guard<std::mutex> lock(impl_->mutex);
  FILE* out = impl_->file != nullptr ? impl_->file : stderr;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void CDefaultLogWriter::flush() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::fflush(impl_->file != nullptr ? impl_->file : stderr);
}

void CDefaultLogWriter::write(int level, const char* function, int line, unsigned long long context, int reserved,
                              const char* format, ...) {
  va_list args;
  va_start(args, format);
  vwrite(level, function, line, context, reserved, format, args);
  va_end(args);
}

const char* CDefaultLogWriter::name() const { return "default"; }

bool CDefaultLogWriter::enabled(int level) { return this->level() >= level; }

int CDefaultLogWriter::level() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->level;
}

boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter(new CDefaultLogWriter());
