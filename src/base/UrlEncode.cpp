#include <string>

#include "isilon/IsilonJSON.h"
#include "src/common/InputChecks.h"

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

bool IsControl(unsigned char c) { return (c > 0 && c < 0x20) || c == 0x7F; }

// One pass gives the same text as replacing "%" first and then each listed character in
// turn, since no replacement text holds a character that is replaced later.
std::string Encode(const std::string& text, bool controls) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    if (MustEncode(c) || (controls && IsControl(c))) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string UrlEncode(const std::string& text) { return Encode(text, /*controls=*/false); }

std::string UrlEncode(std::string& text) { return UrlEncode(static_cast<const std::string&>(text)); }

std::string isilon::EncodeUriPiece(const std::string& text) { return Encode(text, /*controls=*/true); }
