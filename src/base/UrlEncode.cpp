#include <string>

#include "isilon/IsilonJSON.h"

namespace {

// The characters replaced by their %XX form; every other byte is kept, "/" in particular.
bool MustEncode(unsigned char c) {
  switch (c) {
    case '%':
    case ' ':
    case '"':
    case '#':
    case '$':
    case '&':
    case '\'':
    case '+':
    case ',':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '`':
    case '{':
    case '}':
    case '|':
    case '~': return true;
    default: return false;
  }
}

}  // namespace

// One pass gives the same text as replacing "%" first and then each listed character in
// turn, since no replacement text holds a character that is replaced later.
std::string UrlEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    if (MustEncode(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string UrlEncode(std::string& text) { return UrlEncode(static_cast<const std::string&>(text)); }
