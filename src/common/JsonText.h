#pragma once
// Escaping of caller text that is joined into a JSON request body.
#include <string>

namespace isilon {
// Escapes what JSON requires inside a string literal: double quote, backslash (unless
// `escapeBackslash` is false) and control characters. Any other byte is kept, so ordinary
// values come out unchanged.
std::string JsonEscape(const std::string& text, bool escapeBackslash = true);
}  // namespace isilon
