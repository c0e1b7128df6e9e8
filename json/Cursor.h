#pragma once
// A forward reader for the replies read most (listing and change-list pages): members and
// elements are read in place, straight into the caller's records, without building values.
//
// It takes only the plain forms: anything the lenient reader would read in its own way (a
// single-quoted string, an empty element, a trailing comma, a key with an escape, a member
// whose value fails, deep nesting, a comment, white space other than RFC 8259's space, tab,
// LF and CR) makes it fail. A caller that sees a failure reads the text again with the
// general reader (jsonxx::ParseWhole, json/Whole.h), so a reply always gives what that reader
// would give; a page the cursor takes must end with its closing brace (AtEnd). Strings and
// numbers are read by the same code as Object::parse, so they convert identically.
//
//   Cursor c(text.data(), text.size());
//   const char* key; size_t length;
//   if (!c.EnterObject()) return false;
//   while (c.NextMember(key, length)) { ...c.ReadString(s) / c.ReadNumber(n) / c.Skip()... }
//   if (!c.ok()) return false;
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "json/jsonxx.h"

namespace jsonxx {
namespace detail {

// First position at or after p holding `quote` or a backslash, or end.
inline const char* ScanString(const char* p, const char* end, char quote) {
  const __m128i q = _mm_set1_epi8(quote);
  const __m128i bs = _mm_set1_epi8('\\');
  while (end - p >= 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, q), _mm_cmpeq_epi8(chunk, bs)));
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
  while (p < end && *p != quote && *p != '\\') ++p;
  return p;
}

// True when the eight bytes at p are all decimal digits, with their value.
inline bool EightDigits(const char* p, uint64_t& value) {
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
  (void)p;
  (void)value;
  return false;
#endif
  uint64_t x;
  std::memcpy(&x, p, 8);
  // Each byte is a digit when its high nibble is 3 and adding 6 leaves it 3.
  if ((((x & 0xF0F0F0F0F0F0F0F0) | (((x + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4))) != 0x3333333333333333) {
    return false;
  }
  // The first digit is the lowest byte: pairs, then fours, then all eight combined.
  x = ((x & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
  x = ((x & 0x00FF00FF00FF00FF) * 6553601) >> 16;
  value = ((x & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
  return true;
}

}  // namespace detail

// The steps a page takes for every member are defined here, so that they inline into the
// page readers; what is rare (escapes, numbers of the general form) is left to the general
// reader in json/Reader.cpp.
class Cursor {
 public:
  Cursor(const char* text, size_t length) : p_(text), end_(text + length) {}

  // At '{' / '[' (after white space): enters the container.
  bool EnterObject() { return enter('{'); }
  bool EnterArray() { return enter('['); }

  // In an object: true with the next member's key (the cursor then stands at its value);
  // false when the object ended (ok()) or the text is not as expected (!ok()).
  bool NextMember(const char*& key, size_t& length) {
    if (!ok_ || depth_ == 0) return Fail();
    skipSpace();
    if (p_ == end_) return Fail();
    if (*p_ == '}') {
      ++p_;
      --depth_;
      return false;
    }
    if (first_[depth_ - 1]) {
      first_[depth_ - 1] = false;
    } else {
      if (*p_ != ',') return Fail();
      ++p_;
      skipSpace();
    }
    // A trailing comma or an empty member ends up here too: no quote.
    if (p_ == end_ || *p_ != '"') return Fail();
    const char* const start = ++p_;
    p_ = detail::ScanString(p_, end_, '"');
    if (p_ == end_ || *p_ == '\\') return Fail();
    key = start;
    length = static_cast<size_t>(p_ - start);
    ++p_;
    // The cluster's own layout puts " : " between a key and its value: passed over at once.
    if (end_ - p_ >= 4 && p_[0] == ' ' && p_[1] == ':' && p_[2] == ' ' && AboveSpace(p_[3])) {
      p_ += 3;
      return true;
    }
    skipSpace();
    if (p_ == end_ || *p_ != ':') return Fail();
    ++p_;
    skipSpace();
    return true;
  }

  // In an array: true when an element follows (the cursor stands at it); false as above.
  bool NextElement() {
    if (!ok_ || depth_ == 0) return Fail();
    if (first_[depth_ - 1]) {
      first_[depth_ - 1] = false;
      skipSpace();
      if (p_ < end_ && *p_ == ']') {
        ++p_;
        --depth_;
        return false;
      }
      return p_ < end_ && *p_ != ',' ? true : Fail();
    }
    skipSpace();
    if (p_ == end_) return Fail();
    if (*p_ == ']') {
      ++p_;
      --depth_;
      return false;
    }
    if (*p_ != ',') return Fail();
    ++p_;
    skipSpace();
    // A trailing comma or an empty element: the lenient reader's business.
    if (p_ == end_ || *p_ == ']' || *p_ == ',') return Fail();
    return true;
  }

  // The value at the cursor; false (and !ok()) when it is not of that kind.
  bool ReadString(std::string& out) {
    if (!ok_ || Peek() != '"') return Fail();
    // Without an escape the string is the bytes between the quotes.
    const char* const start = p_ + 1;
    const char* const stop = detail::ScanString(start, end_, '"');
    if (stop < end_ && *stop == '"') {
      const size_t n = static_cast<size_t>(stop - start);
      // A record taken over from the last page mostly holds a string of the same length here
      // (the same mode, owner, type): written over in place, without a call to assign.
      if (n != out.size()) out.resize(n);
      std::memcpy(&out[0], start, n);
      p_ = stop + 1;
      return true;
    }
    return readEscapedString(out);
  }
  bool ReadNumber(Number& out);
  // The number at the cursor as TruncToU64 converts it (json/Numbers.h), without going through
  // a long double when it is a plain integer: the records' fields are read this way.
  bool ReadU64(uint64_t& out) {
    uint64_t magnitude;
    bool negative;
    const char* stop;
    if (ok_ && (skipSpace(), plainInteger(magnitude, negative, stop))) {
      // A negative integer of 18 digits lies within int64: TruncToU64 gives its two's complement.
      out = negative ? 0 - magnitude : magnitude;
      p_ = stop;
      return true;
    }
    return readU64Slow(out);
  }
  // Passes over the value at the cursor, whatever its kind.
  bool Skip();
  // The first character of the value at the cursor (after white space), or 0 at the end.
  char Peek() {
    skipSpace();
    return p_ < end_ ? *p_ : '\0';
  }

  bool ok() const { return ok_; }
  // True when nothing but white space follows: a page is one whole value or nothing.
  bool AtEnd() {
    skipSpace();
    return ok_ && p_ == end_;
  }
  // At a paging token: a string, or null for none (out empty); anything else is not one.
  bool ReadToken(std::string& out) {
    out.clear();
    const char c = Peek();
    if (c == '"') return ReadString(out);
    return c == 'n' ? Skip() : Fail();
  }
  // Marks the text as not for this reader (a caller's own check failed).
  bool Fail() { return ok_ = false; }

  static bool Is(const char* key, size_t length, const char* literal) {
    return std::strlen(literal) == length && std::memcmp(key, literal, length) == 0;
  }

 private:
  // Nesting beyond this is left to the general reader, which bounds it at kMaxDepth.
  static constexpr size_t kMaxNesting = 32;

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  // Every character a token can start with, and no white space, lies above ' '.
  static bool AboveSpace(char c) { return static_cast<unsigned char>(c) > ' '; }

  bool enter(char open) {
    if (!ok_ || depth_ >= kMaxNesting) return Fail();
    skipSpace();
    if (p_ == end_ || *p_ != open) return Fail();
    ++p_;
    first_[depth_++] = true;
    return true;
  }
  // At a plain integer of at most 18 digits (optional '-', no fraction or exponent): its
  // magnitude and sign, and where it ends. Such a number converts exactly, so it needs no
  // general conversion.
  bool plainInteger(uint64_t& magnitude, bool& negative, const char*& stop) const {
    negative = p_ < end_ && *p_ == '-';
    const char* q = p_ + negative;
    const char* const digits = q;
    const char* const last = digits + (end_ - digits < 18 ? end_ - digits : 18);
    uint64_t value = 0, eight;
    while (last - q >= 8 && detail::EightDigits(q, eight)) {
      value = value * 100000000 + eight;
      q += 8;
    }
    while (q < last && IsDigit(*q)) value = value * 10 + static_cast<unsigned>(*q++ - '0');
    if (q == digits || (q < end_ && (*q == '.' || *q == 'e' || *q == 'E' || IsDigit(*q)))) return false;
    magnitude = value;
    stop = q;
    return true;
  }
  bool readEscapedString(std::string& out);
  bool readU64Slow(uint64_t& out);

  // Compact text has no white space between tokens; the cluster's own layout puts one space
  // on each side of ':' and one line break after '{' and ',' and before '}', so a single
  // space or line break before the next token is passed over here too. Longer runs and other
  // white space are left to skipSpaceSlow; a comment stops the cursor where a token should
  // be, and the general reader reads the text.
  void skipSpace() {
    if (p_ < end_ && AboveSpace(*p_)) return;
    if (end_ - p_ >= 2 && (*p_ == ' ' || *p_ == '\n') && AboveSpace(p_[1])) {
      ++p_;
      return;
    }
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
