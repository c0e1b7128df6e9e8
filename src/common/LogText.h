#pragma once
#include <string>

namespace isilon {
// Replies are logged as "EMPTY" when they have no text.
inline const char* OrEmpty(const std::string& text) { return text.empty() ? "EMPTY" : text.c_str(); }
}  // namespace isilon
