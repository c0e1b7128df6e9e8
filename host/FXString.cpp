#include "host/FXString.h"

#include <cstdio>

namespace FXString {

std::string FormatV(const char* format, va_list args) {
  if (format == nullptr) return std::string();
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  va_copy(copy, args);
  std::vsnprintf(&out[0], out.size(), format, copy);
  va_end(copy);
  out.resize(static_cast<size_t>(needed));
  return out;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

bool MatchLeft(const std::string& text, const std::string& start) {
  return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace FXString
