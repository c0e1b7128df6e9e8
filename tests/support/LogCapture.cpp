#include "tests/support/LogCapture.h"

#include <cstdarg>

#include "host/FXString.h"

class ScopedLogCapture::Writer : public CLogWriterInterface {
 public:
  explicit Writer(int level) : level_(level) {}
  void setLevel(int level) override { level_ = level; }
  void vwrite(int level, const char* function, int, unsigned long long context, int, const char* format,
              va_list args) override {
    CapturedLine line{level, function != nullptr ? function : "", context, FXString::FormatV(format, args)};
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
  }
  void flush() override {}
  void write(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
             ...) override {
    va_list args;
    va_start(args, format);
    vwrite(level, function, line, context, reserved, format, args);
    va_end(args);
  }
  const char* name() const override { return "capture"; }
  bool enabled(int level) override { return level_ >= level; }
  int level() override { return level_; }

  std::vector<CapturedLine> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  int level_;
  mutable std::mutex mutex_;
  std::vector<CapturedLine> lines_;
};

ScopedLogCapture::ScopedLogCapture(int level) : previous_(g_ptrLogWriter), writer_(new Writer(level)) {
  g_ptrLogWriter = writer_;
}

ScopedLogCapture::~ScopedLogCapture() { g_ptrLogWriter = previous_; }

std::vector<CapturedLine> ScopedLogCapture::Lines() const { return writer_->Lines(); }

bool ScopedLogCapture::Contains(const std::string& text) const {
  for (const CapturedLine& line : writer_->Lines()) {
    if (line.message.find(text) != std::string::npos) return true;
  }
  return false;
}

std::string ScopedLogCapture::All() const {
  std::string all;
  for (const CapturedLine& line : writer_->Lines()) all += line.message + "\n";
  return all;
}

void ScopedLogCapture::Clear() { writer_->Clear(); }
