#pragma once
/// @file
/// The host's error value, returned by the operations that report a CZemError.
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "host/Export.h"

/// Where an error was made or passed through.
class ISILON_API FXCodeLocation {
 public:
  /// The source `file`, the `function` and the `line`; the texts are copied.
  FXCodeLocation(const char* file, const char* function, int line);
  const std::string& file() const { return file_; }          ///< The source file.
  const std::string& function() const { return function_; }  ///< The function.
  int line() const { return line_; }                         ///< The line.
  std::string ToString() const;                              ///< "file:line function"

 private:
  std::string file_;
  std::string function_;
  int line_;
};

/// The host error value: a signed code (negative means error) and shared detail (a number, a
/// message and the chain of locations). Copies share the detail until one is changed; a value
/// is safe to copy and read from several threads, not to change from one while another uses it.
class ISILON_API CZemError {
 public:
  struct Detail;

  /// Success: code 0, no detail.
  CZemError();
  /// An error (or, with a code of 0 or more, a success that carries detail): `code`, the
  /// place `where` it was made, the `number` (such as 774 for a request the cluster refused,
  /// or an errno) and the `message`.
  CZemError(int code, const FXCodeLocation& where, long long number, const std::string& message);

  /// Back to success: code 0, no detail.
  void Success();
  /// True when the code is negative.
  bool IsError() const { return code_ < 0; }
  /// Adds `where` to this value's chain of locations (copies made before keep theirs).
  /// @return this value
  CZemError& Push(const FXCodeLocation& where);

  /// The code: 0 success, -1 made by ErrorErrNo, -2 by ErrorWin32.
  int Code() const { return code_; }
  long long Number() const;                       ///< the number given to ErrorErrNo / ErrorWin32, 0 on success
  std::string Message() const;                    ///< the formatted text, empty on success
  std::vector<FXCodeLocation> Locations() const;  ///< where it was made first, then each Push
  /// "success", or "error NUMBER: MESSAGE" followed by one "  at LOCATION" line per location.
  std::string ToString() const;

 private:
  int code_;
  boost::shared_ptr<Detail> detail_;
};

/// Makers of error values.
namespace FXErrorUtil {
/// An error (code -1) at `where` with the number `number` and the printf-style message.
ISILON_API CZemError ErrorErrNo(const FXCodeLocation& where, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
/// An error (code -2) at `where` with the number `number` and the printf-style message.
ISILON_API CZemError ErrorWin32(const FXCodeLocation& where, unsigned int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
}  // namespace FXErrorUtil
