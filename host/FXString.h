#pragma once
/// @file
/// Text helpers of the host.
#include <cstdarg>
#include <string>

#include "host/Export.h"

/// Text helpers of the host.
namespace FXString {
/// printf-style formatting into a string of any length.
ISILON_API std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Format with a `va_list` (copied: `args` is left for the caller to end). A null format or
/// a formatting error gives the empty string.
ISILON_API std::string FormatV(const char* format, va_list args);
/// True when `text` is at least as long as `start` and begins with it.
ISILON_API bool MatchLeft(const std::string& text, const std::string& start);
}  // namespace FXString
