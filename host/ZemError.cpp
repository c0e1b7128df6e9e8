#include "host/ZemError.h"

#include <cstdarg>

#include "host/FXString.h"

struct CZemError::Detail {
  long long number = 0;
  std::string message;
  std::vector<FXCodeLocation> locations;
};

FXCodeLocation::FXCodeLocation(const char* file, const char* function, int line)
    : file_(file != nullptr ? file : ""), function_(function != nullptr ? function : ""), line_(line) {}

std::string FXCodeLocation::ToString() const { return file_ + ":" + std::to_string(line_) + " " + function_; }

CZemError::CZemError() : code_(0) {}

CZemError::CZemError(int code, const FXCodeLocation& where, long long number, const std::string& message)
    : code_(code), detail_(new Detail) {
  detail_->number = number;
  detail_->message = message;
  detail_->locations.push_back(where);
}

void CZemError::Success() {
  code_ = 0;
  detail_.reset();
}

CZemError& CZemError::Push(const FXCodeLocation& where) {
  // Copies share their detail; a push makes this value's chain its own first.
  boost::shared_ptr<Detail> own(detail_ ? new Detail(*detail_) : new Detail);
  own->locations.push_back(where);
  detail_ = own;
  return *this;
}

long long CZemError::Number() const { return detail_ ? detail_->number : 0; }

std::string CZemError::Message() const { return detail_ ? detail_->message : std::string(); }

std::vector<FXCodeLocation> CZemError::Locations() const {
  return detail_ ? detail_->locations : std::vector<FXCodeLocation>();
}

std::string CZemError::ToString() const {
  if (!IsError()) return "success";
  std::string out = "error " + std::to_string(Number()) + ": " + Message();
  for (const FXCodeLocation& where : Locations()) out += "\n  at " + where.ToString();
  return out;
}

namespace FXErrorUtil {

// Both kinds of error carry a negative code so that IsError() holds; the number the caller
// gave is the detail.
CZemError ErrorErrNo(const FXCodeLocation& where, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FXString::FormatV(format, args);
  va_end(args);
  return CZemError(-1, where, number, message);
}

CZemError ErrorWin32(const FXCodeLocation& where, unsigned int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FXString::FormatV(format, args);
  va_end(args);
  return CZemError(-2, where, number, message);
}

}  // namespace FXErrorUtil
