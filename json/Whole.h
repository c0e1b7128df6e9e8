#pragma once
// Whole-or-nothing reading of a reply: the text must be one complete JSON value of the lenient
// grammar Object::parse reads, followed by nothing but white space. Object::parse keeps what
// it read before a failure; a reply reader must never hand that out as if it were the reply.
// Internal to the library (not exported).
#include <cstddef>
#include <string>

#include "json/jsonxx.h"

namespace jsonxx {

// One whole object; false, with `out` empty, when the text is anything else (cut short,
// nested deeper than kMaxDepth, a value that does not convert, text after the object).
bool ParseWhole(const std::string& text, Object& out);
// One whole array, on the same terms.
bool ParseWhole(const std::string& text, Array& out);

}  // namespace jsonxx
