#pragma once
/// @file
/// The host's log writer and the library's default one.
#include <cstdarg>
#include <string>

#include <boost/shared_ptr.hpp>

#include "host/Export.h"

/// The host's log writer. The library calls level() before every message and
/// write() only when that level is at least the message's level: -1 failures, 0 failures and
/// milestones, up to 7 every trace. Calls come from every thread the library runs on, at
/// once; an implementation must keep each line whole. The slot order of the virtual table is
/// part of the host contract: write is slot 5, level slot 8 (the destructor takes slots 0 and 1).
class ISILON_API CLogWriterInterface {
 public:
  virtual ~CLogWriterInterface();
  /// Sets the level of the messages to write (slot 2).
  virtual void setLevel(int level) = 0;
  /// Writes one message: `level`, the name of the `function` and the `line` that wrote it, the
  /// host's log `context`, a `reserved` 0, and the printf-style `format` with `args` (slot 3).
  virtual void vwrite(int level, const char* function, int line, unsigned long long context, int reserved,
                      const char* format, va_list args) = 0;
  /// Writes out what is buffered (slot 4).
  virtual void flush() = 0;
  /// vwrite() with the arguments inline; the library logs through this one (slot 5).
  virtual void write(int level, const char* function, int line, unsigned long long context, int reserved,
                     const char* format, ...) __attribute__((format(printf, 7, 8))) = 0;
  /// The writer's name (slot 6).
  virtual const char* name() const = 0;
  /// True when messages of `level` are written (slot 7).
  virtual bool enabled(int level) = 0;
  /// The level of the messages written: a message is written when this is at least its level
  /// (slot 8).
  virtual int level() = 0;
};

/// The default writer: one line per message (UTC time, level, function, line, context,
/// message). Silent unless asked: with neither ISILON_LOG_FILE nor ISILON_LOG_LEVEL set it
/// writes nothing. ISILON_LOG_FILE appends to that file (level 0 unless ISILON_LOG_LEVEL says
/// otherwise; a file that cannot be opened: nowhere); ISILON_LOG_LEVEL alone writes to standard error at that level (a
/// whole number from -1000 to 1000; anything else counts as unset). setLevel() turns a silent writer on, to standard
/// error. Lines from several threads never interleave; every member is safe from any thread.
class ISILON_API CDefaultLogWriter : public CLogWriterInterface {
 public:
  /// Reads ISILON_LOG_FILE and ISILON_LOG_LEVEL (see the class). Silent, its level is -2:
  /// below every level the library writes at.
  CDefaultLogWriter();
  /// Appends to the file `path` (empty: standard error; a file that cannot be opened: nowhere)
  /// at `level`, whatever the environment says.
  CDefaultLogWriter(const std::string& path, int level);
  /// Closes the log file.
  ~CDefaultLogWriter() override;
  /// Sets the level (see the class).
  void setLevel(int level) override;
  /// Formats the whole line, then writes it with one call and flushes it.
  void vwrite(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
              va_list args) override;
  /// Flushes the file or standard error.
  void flush() override;
  /// vwrite() with the arguments inline.
  void write(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
             ...) override __attribute__((format(printf, 7, 8)));
  /// "default".
  const char* name() const override;
  /// True when level() is at least `level`.
  bool enabled(int level) override;
  /// The current level.
  int level() override;

 private:
  struct Impl;
  Impl* impl_;
};

/// The writer the library logs through, a CDefaultLogWriter until the host installs its own.
/// Replace it before the first operation, or at least while no operation runs: the pointer
/// itself is not guarded. Null turns the library's log off.
ISILON_API extern boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;
