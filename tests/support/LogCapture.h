#pragma once
// Installs a capturing log writer for one test, restoring the previous writer afterwards.
#include <mutex>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "host/LogWriter.h"

struct CapturedLine {
  int level;
  std::string function;
  unsigned long long context;
  std::string message;
};

class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(int level = 7);
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  std::vector<CapturedLine> Lines() const;
  // True when some captured message contains `text`.
  bool Contains(const std::string& text) const;
  // Every message joined by newlines (for searching secrets, for example).
  std::string All() const;
  void Clear();

 private:
  class Writer;
  boost::shared_ptr<CLogWriterInterface> previous_;
  boost::shared_ptr<Writer> writer_;
};
