#pragma once
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "host/Export.h"

// Where an error was made or passed through.
class ISILON_API FXCodeLocation {
 public:
  FXCodeLocation(const char* file, const char* function, int line);
  const std::string& file() const { return file_; }
  const std::string& function() const { return function_; }
  int line() const { return line_; }
  std::string ToString() const;  // "file:line function"

 private:
  std::string file_;
  std::string function_;
  int line_;
};

// The host error value: a signed code (negative means error) and shared detail.
class ISILON_API CZemError {
 public:
  struct Detail;

  CZemError();  // success
  CZemError(int code, const FXCodeLocation& where, long long number, const std::string& message);

  void Success();
  bool IsError() const { return code_ < 0; }
  CZemError& Push(const FXCodeLocation& where);

  int Code() const { return code_; }
  long long Number() const;                       // the number given to ErrorErrNo / ErrorWin32, 0 on success
  std::string Message() const;                    // the formatted text, empty on success
  std::vector<FXCodeLocation> Locations() const;  // where it was made first, then each Push
  std::string ToString() const;                   // number, message and the chain of locations

 private:
  int code_;
  boost::shared_ptr<Detail> detail_;
};

namespace FXErrorUtil {
ISILON_API CZemError ErrorErrNo(const FXCodeLocation& where, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
ISILON_API CZemError ErrorWin32(const FXCodeLocation& where, unsigned int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
}  // namespace FXErrorUtil
