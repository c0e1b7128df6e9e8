#pragma once
#include <cstdarg>
#include <string>

#include "host/Export.h"

namespace FXString {
// printf-style formatting into a string of any length.
ISILON_API std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
ISILON_API std::string FormatV(const char* format, va_list args);
// True when `text` is at least as long as `start` and begins with it.
ISILON_API bool MatchLeft(const std::string& text, const std::string& start);
}  // namespace FXString
