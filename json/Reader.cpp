// Reading: Object::parse, the whole-reply readers and the page cursor's slow steps, all on
// the one reader of json/Reader.h.
#include "json/Reader.h"
#include "json/Cursor.h"
#include "json/Numbers.h"
#include "json/Whole.h"
#include "json/jsonxx.h"

namespace jsonxx {

// ---- Cursor ------------------------------------------------------------------------------
// Each step borrows a Reader for the rest of the text, so white space, strings and numbers
// are read exactly as Object::parse reads them.

// Runs of RFC 8259's white space: space, tab, LF, CR.
void Cursor::skipSpaceSlow() {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t' || *p_ == '\r')) ++p_;
}

bool Cursor::readEscapedString(std::string& out) {
  out.clear();
  detail::Reader reader(p_, end_);
  if (!reader.readString(out)) return Fail();
  p_ = reader.p_;
  return true;
}

bool Cursor::ReadNumber(Number& out) {
  const char c = ok_ ? Peek() : '\0';
  if (!detail::StartsNumber(c)) return Fail();
  uint64_t magnitude;
  bool negative;
  const char* stop;
  // The exact conversion Object::parse makes of a plain integer (mantissa times 10^0).
  if (plainInteger(magnitude, negative, stop)) {
    const Number v = static_cast<Number>(magnitude);
    out = negative ? -v : v;
    p_ = stop;
    return true;
  }
  detail::Reader reader(p_, end_);
  if (!reader.readNumber(out)) return Fail();
  p_ = reader.p_;
  return true;
}

bool Cursor::readU64Slow(uint64_t& out) {
  Number number;
  if (!ReadNumber(number)) return false;
  out = TruncToU64(number);
  return true;
}

bool Cursor::Skip() {
  switch (ok_ ? Peek() : '\0') {
    case '"': {
      std::string ignored;
      return ReadString(ignored);
    }
    case 't':
    case 'f':
    case 'n': {
      detail::Reader reader(p_, end_);
      if (!reader.word("true", 4) && !reader.word("false", 5) && !reader.word("null", 4)) return Fail();
      p_ = reader.p_;
      return true;
    }
    case '{': {
      if (!EnterObject()) return false;
      const char* key;
      size_t length;
      while (NextMember(key, length)) {
        if (!Skip()) return false;
      }
      return ok_;
    }
    case '[':
      if (!EnterArray()) return false;
      while (NextElement()) {
        if (!Skip()) return false;
      }
      return ok_;
    default: {
      // A plain integer always reads (exactly): no need to convert it.
      uint64_t magnitude;
      bool negative;
      const char* stop;
      if (plainInteger(magnitude, negative, stop)) {
        p_ = stop;
        return true;
      }
      Number ignored;
      return ReadNumber(ignored);
    }
  }
}

bool Object::parse(const std::string& text) { return parse(text.data(), text.size()); }

bool Object::parse(const char* text, size_t length) {
  members_.clear();
  if (!text) return false;
  detail::Reader reader(text, text + length);
  return reader.ReadTop(*this);
}

bool ParseWhole(const std::string& text, Object& out) {
  out.clear();
  detail::Reader reader(text.data(), text.data() + text.size());
  if (reader.ReadWhole(out)) return true;
  out.clear();
  return false;
}

bool ParseWhole(const std::string& text, Array& out) {
  out.clear();
  detail::Reader reader(text.data(), text.data() + text.size());
  if (reader.ReadWhole(out)) return true;
  out.clear();
  return false;
}

}  // namespace jsonxx
