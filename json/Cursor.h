#pragma once
// A forward reader for the replies read most (listing and change-list pages): members and
// elements are read in place, straight into the caller's records, without building values.
//
// It takes only the plain forms: anything the lenient reader would read in its own way (a
// single-quoted string, an empty element, a trailing comma, a key with an escape, a member
// whose value fails, deep nesting) makes it fail. A caller that sees a failure reads the text
// again with Object::parse, so a reply always gives what Object::parse would give. Strings
// and numbers are read by the same code as Object::parse, so they convert identically.
//
//   Cursor c(text.data(), text.size());
//   const char* key; size_t length;
//   if (!c.EnterObject()) return false;
//   while (c.NextMember(key, length)) { ...c.ReadString(s) / c.ReadNumber(n) / c.Skip()... }
//   if (!c.ok()) return false;
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "json/jsonxx.h"

namespace jsonxx {

class Cursor {
 public:
  Cursor(const char* text, size_t length) : p_(text), end_(text + length) {}

  // At '{' / '[' (after white space): enters the container.
  bool EnterObject() { return enter('{'); }
  bool EnterArray() { return enter('['); }
  // In an object: true with the next member's key (the cursor then stands at its value);
  // false when the object ended (ok()) or the text is not as expected (!ok()).
  bool NextMember(const char*& key, size_t& length);
  // In an array: true when an element follows (the cursor stands at it); false as above.
  bool NextElement();
  // The value at the cursor; false (and !ok()) when it is not of that kind.
  bool ReadString(std::string& out);
  bool ReadNumber(Number& out);
  // The number at the cursor as TruncToU64 converts it (json/Numbers.h), without going through
  // a long double when it is a plain integer: the records' fields are read this way.
  bool ReadU64(uint64_t& out);
  // Passes over the value at the cursor, whatever its kind.
  bool Skip();
  // The first character of the value at the cursor (after white space), or 0 at the end.
  char Peek();

  bool ok() const { return ok_; }
  // Marks the text as not for this reader (a caller's own check failed).
  bool Fail() { return ok_ = false; }

  static bool Is(const char* key, size_t length, const char* literal) {
    return std::strlen(literal) == length && std::memcmp(key, literal, length) == 0;
  }

 private:
  // Nesting beyond this is left to Object::parse, which bounds it in its own way.
  static constexpr size_t kMaxNesting = 32;

  bool enter(char open);
  // At a plain integer of at most 18 digits (optional '-', no fraction or exponent): its
  // magnitude and sign, and where it ends. Such a number converts exactly, so it needs no
  // general conversion.
  bool plainInteger(uint64_t& magnitude, bool& negative, const char*& stop) const;
  // After a member or element: ',' (true, more follows) or the closing character (false).
  bool next(char close);
  // Most values follow their ':' or ',' at once: only white space or a comment takes the reader.
  __attribute__((always_inline)) void skipSpace() {
    if (p_ < end_ && *p_ != ' ' && *p_ != '/' && (*p_ < '\t' || *p_ > '\r')) return;
    skipSpaceSlow();
  }
  void skipSpaceSlow();

  const char* p_;
  const char* const end_;
  bool ok_ = true;
  // Per open container: true until its first member or element was reached.
  bool first_[kMaxNesting];
  size_t depth_ = 0;
};

}  // namespace jsonxx
