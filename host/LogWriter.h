#pragma once
#include <cstdarg>
#include <string>

#include <boost/shared_ptr.hpp>

#include "host/Export.h"

// The host's log writer. The library calls level() before every message and
// write() only when that level is at least the message's level. The slot order
// of the virtual table is part of the host contract: write is slot 5, level slot 8
// (the destructor takes slots 0 and 1).
class ISILON_API CLogWriterInterface {
 public:
  virtual ~CLogWriterInterface();
  virtual void setLevel(int level) = 0;  // slot 2
  virtual void vwrite(int level, const char* function, int line, unsigned long long context, int reserved,
                      const char* format, va_list args) = 0;  // slot 3
  virtual void flush() = 0;                                   // slot 4
  virtual void write(int level, const char* function, int line, unsigned long long context, int reserved,
                     const char* format, ...) __attribute__((format(printf, 7, 8))) = 0;  // slot 5
  virtual const char* name() const = 0;                                                   // slot 6
  virtual bool enabled(int level) = 0;                                                    // slot 7
  virtual int level() = 0;                                                                // slot 8
};

// The default writer: one line per message (UTC time, level, function, line, context,
// message) to the file named by ISILON_LOG_FILE, or to standard error. Its level comes
// from ISILON_LOG_LEVEL (default 0). Lines from several threads never interleave.
class ISILON_API CDefaultLogWriter : public CLogWriterInterface {
 public:
  CDefaultLogWriter();                                    // reads ISILON_LOG_FILE and ISILON_LOG_LEVEL
  CDefaultLogWriter(const std::string& path, int level);  // empty path: standard error
  ~CDefaultLogWriter() override;
  void setLevel(int level) override;
  void vwrite(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
              va_list args) override;
  void flush() override;
  void write(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
             ...) override __attribute__((format(printf, 7, 8)));
  const char* name() const override;
  bool enabled(int level) override;
  int level() override;

 private:
  struct Impl;
  Impl* impl_;
};

// The writer the library logs through; a host may replace it at any time before use.
ISILON_API extern boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;
