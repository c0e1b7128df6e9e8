#include "host/LogWriter.h"

#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "host/FXString.h"

CLogWriterInterface::~CLogWriterInterface() {}

struct CDefaultLogWriter::Impl {
  std::mutex mutex;
  FILE* file = nullptr;  // null: standard error, unless discard
  bool discard = false;  // a log file was asked for and could not be opened
  // Read before every message the library might write, most of them filtered out: no lock.
  std::atomic<int> level{0};
};

namespace {

// Below every level the library logs at (-1, failures, is the lowest): nothing is written.
constexpr int kSilentLevel = -2;

// True, with `level` set, when ISILON_LOG_LEVEL holds a whole number from -1000 to 1000.
bool LevelFromEnvironment(int& level) {
  const char* text = std::getenv("ISILON_LOG_LEVEL");
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < -1000 || value > 1000) return false;
  level = static_cast<int>(value);
  return true;
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

// A library stays quiet in its host's terminal unless asked: no variable, no output.
CDefaultLogWriter::CDefaultLogWriter() : impl_(new Impl) {
  const char* path = std::getenv("ISILON_LOG_FILE");
  const bool toFile = path != nullptr && *path != '\0';
  int level = 0;
  const bool levelGiven = LevelFromEnvironment(level);
  if (toFile) {
    impl_->file = std::fopen(path, "a");
    impl_->discard = impl_->file == nullptr;
  }
  impl_->level = toFile || levelGiven ? level : kSilentLevel;
}

CDefaultLogWriter::CDefaultLogWriter(const std::string& path, int level) : impl_(new Impl) {
  if (!path.empty()) {
    impl_->file = std::fopen(path.c_str(), "a");
    impl_->discard = impl_->file == nullptr;
  }
  impl_->level = level;
}

CDefaultLogWriter::~CDefaultLogWriter() {
  if (impl_->file != nullptr) std::fclose(impl_->file);
  delete impl_;
}

void CDefaultLogWriter::setLevel(int level) { impl_->level.store(level, std::memory_order_relaxed); }

void CDefaultLogWriter::vwrite(int level, const char* function, int line, unsigned long long context, int,
                               const char* format, va_list args) {
  // The whole line is formatted first and written with one call under the lock, so lines
  // from several threads never interleave.
  std::string text = Timestamp() + " [" + std::to_string(level) + "] " + (function != nullptr ? function : "") + ":" +
                     std::to_string(line) + " ctx=" + std::to_string(context) + " " + FXString::FormatV(format, args);
  text += '\n';
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->discard) return;
  FILE* out = impl_->file != nullptr ? impl_->file : stderr;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void CDefaultLogWriter::flush() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->discard) std::fflush(impl_->file != nullptr ? impl_->file : stderr);
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

int CDefaultLogWriter::level() { return impl_->level.load(std::memory_order_relaxed); }

boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter(new CDefaultLogWriter());
