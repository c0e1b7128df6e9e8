#pragma once
// The lenient recursive-descent reader over a byte range, bounded in depth, behind
// Object::parse, the page cursor and the compact document (internal, not installed). Its steps
// are defined here so that each reader inlines them into its own loops.
#include <emmintrin.h>
#include <stdlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "json/Cursor.h"
#include "json/Locale.h"
#include "json/jsonxx.h"

namespace jsonxx {
namespace detail {

inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// A character a number may start with (the number reader decides the rest). Forced inline: as
// an ordinary inline call it cost Object::parse 1% more instructions.
__attribute__((always_inline)) inline bool StartsNumber(char c) {
  return IsDigit(c) || c == '-' || c == '+' || c == '.';
}
// Neither white space nor a control character.
inline bool AboveSpace(char c) { return static_cast<unsigned char>(c) > ' '; }

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to four hex digits at p (not past end); returns how many were read.
inline int ReadHex(const char* p, const char* end, unsigned& value) {
  value = 0;
  int n = 0;
  while (n < 4 && p + n < end) {
    int d = HexDigit(p[n]);
    if (d < 0) break;
    value = value * 16 + static_cast<unsigned>(d);
    ++n;
  }
  return n;
}

inline void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// mantissa * 10 + d stays within 64 bits: mantissa <= (UINT64_MAX - d) / 10, without the division.
inline bool FitsOneMoreDigit(uint64_t mantissa, unsigned d) {
  constexpr uint64_t kLimit = UINT64_MAX / 10;  // 1844674407370955161; UINT64_MAX % 10 == 5
  return mantissa < kLimit || (mantissa == kLimit && d <= UINT64_MAX % 10);
}

// Byte order of keys, as std::string's operator< gives it; the first byte alone decides most
// pairs of keys in a reply, without a call to memcmp.
inline bool KeyBefore(const std::string& a, const std::string& b) {
  if (!a.empty() && !b.empty() && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  }
  return a < b;
}

// Builds the string of `length` bytes at `text` at `where` (raw storage, or a string just
// destroyed). Short strings, nearly every key and many values, get a copy of fixed size for
// their length instead of a call to memcpy.
__attribute__((always_inline)) inline void BuildString(std::string* where, const char* text, size_t length) {
  switch (length) {
#define JSONXX_FIXED(n) \
  case n: new (where) std::string(text, n); return;
    JSONXX_FIXED(0)
    JSONXX_FIXED(1)
    JSONXX_FIXED(2)
    JSONXX_FIXED(3)
    JSONXX_FIXED(4)
    JSONXX_FIXED(5)
    JSONXX_FIXED(6)
    JSONXX_FIXED(7)
    JSONXX_FIXED(8)
    JSONXX_FIXED(9)
    JSONXX_FIXED(10)
    JSONXX_FIXED(11)
    JSONXX_FIXED(12)
    JSONXX_FIXED(13)
    JSONXX_FIXED(14)
    JSONXX_FIXED(15)
#undef JSONXX_FIXED
    default: new (where) std::string(text, length);
  }
}

// Powers of ten that a long double holds exactly (5^27 < 2^64).
inline constexpr long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                                         1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
                                         1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
inline constexpr int kMaxExactPow10 = 27;

// Sets `out` to a 64-bit magnitude (not 0) with a sign; exact, as every such value is.
inline void StoreInteger(long double& out, uint64_t magnitude, bool negative) {
#if defined(__x86_64__) && LDBL_MANT_DIG == 64
  // The x87 extended format holds the integer as its significand, explicit leading bit and
  // all: built in two stores instead of a round trip through the x87 unit.
  const int shift = __builtin_clzll(magnitude);
  const uint64_t significand = magnitude << shift;
  const uint16_t signExponent = static_cast<uint16_t>((negative ? 0x8000 : 0) | (16383 + 63 - shift));
  // Stored in place: a long double returned by value would pass through the x87 unit anyway.
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&out);
  std::memcpy(bytes, &significand, 8);
  std::memcpy(bytes + 8, &signExponent, 2);
#else
  const long double v = static_cast<long double>(magnitude);
  out = negative ? -v : v;
#endif
}

// Puts the members in [first, last) in key order (`before`); of equal keys (`same`) the one
// read last wins, in the place of the first (`takeValue` moves its value there). Returns the
// new end.
template <typename It, typename Before, typename Same, typename TakeValue>
It OrderMembers(It first, It last, Before before, Same same, TakeValue takeValue) {
  if (first == last) return last;
  std::stable_sort(first, last, before);
  It kept = first;  // the last member kept so far
  for (It it = first + 1; it != last; ++it) {
    if (same(*kept, *it)) {
      takeValue(*kept, *it);
    } else if (++kept != it) {
      *kept = std::move(*it);
    }
  }
  return kept + 1;
}

// True when every member in [first, last) comes before the next one (`before`): so members
// mostly come, and then they need no sorting.
template <typename It, typename Before>
bool InKeyOrder(It first, It last, Before before) {
  if (first == last) return true;
  while (first + 1 != last && before(*first, *(first + 1))) ++first;
  return first + 1 == last;
}

// The elements of the arrays being read, innermost last, in blocks that never move: an
// element is read in its slot even while the arrays inside it add more. The blocks grow the
// scratch by a block at a time, where a vector would double (and move everything) while a
// long array is read.
class ElementStack {
 public:
  size_t size() const { return size_; }
  // A new slot at the end, Invalid.
  Value& push() {
    if (size_ == blocks_.size() * kBlock) blocks_.emplace_back(new Value[kBlock]);
    const size_t i = size_++;
    return blocks_[i / kBlock][i % kBlock];
  }
  // Drops the last slot, Invalid again (a value that failed to read is).
  void pop() { --size_; }
  // Moves the elements from `base` on into `out` (allocated once, at their count) and drops
  // them; their slots are left Invalid.
  void moveTo(std::vector<Value>& out, size_t base) {
    out.reserve(out.size() + (size_ - base));
    for (size_t i = base; i < size_; ++i) out.push_back(std::move(blocks_[i / kBlock][i % kBlock]));
    size_ = base;
  }

 private:
  static constexpr size_t kBlock = 256;
  std::vector<std::unique_ptr<Value[]>> blocks_;
  size_t size_ = 0;
};

class Reader {
 public:
  Reader(const char* begin, const char* end) : p_(begin), end_(end) {}

  bool ReadTop(Object& out) {
    skip();
    if (p_ == end_ || *p_ != '{') return false;
    return readObject(out);
  }

  // One whole container of kind T at the start, then only white space (and comments).
  bool ReadWhole(Object& out) {
    skip();
    if (p_ == end_ || *p_ != '{' || !readObject(out)) return false;
    skip();
    return p_ == end_;
  }
  bool ReadWhole(Array& out) {
    skip();
    if (p_ == end_ || *p_ != '[' || !readArray(out)) return false;
    skip();
    return p_ == end_;
  }

 private:
  friend class ::jsonxx::Cursor;
  friend class CompactReader;

  // White space, then any "//" comments each with the white space after it.
  void skip() {
    // Most tokens follow the one before with no white space or comment between.
    if (p_ < end_ && AboveSpace(*p_) && *p_ != '/') return;
    skipSlow();
  }
  void skipSlow() {
    for (;;) {
      while (p_ < end_ && IsSpace(*p_)) ++p_;
      if (end_ - p_ >= 2 && p_[0] == '/' && p_[1] == '/') {
        const void* nl = std::memchr(p_, '\n', static_cast<size_t>(end_ - p_));
        p_ = nl ? static_cast<const char*>(nl) : end_;
        continue;
      }
      return;
    }
  }

  bool word(const char* w, size_t n) {
    if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, w, n) != 0) return false;
    p_ += n;
    return true;
  }

  // At an opening quote (double or single).
  bool readString(std::string& out) {
    const char* text;
    size_t length;
    if (plainString(text, length)) {
      out.assign(text, length);
      return true;
    }
    return readEscapedString(out);
  }

  // At an opening quote: true, past the closing one, when the string has no escape; it is then
  // the `length` bytes at `text`, to be built at once. False otherwise, with p_ unchanged.
  bool plainString(const char*& text, size_t& length) {
    const char quote = *p_;
    const char* const stop = ScanString(p_ + 1, end_, quote);
    if (stop == end_ || *stop != quote) return false;
    text = p_ + 1;
    length = static_cast<size_t>(stop - text);
    p_ = stop + 1;
    return true;
  }

  // At an opening quote, the general form: escapes are decoded into `out` (empty).
  bool readEscapedString(std::string& out) {
    const char quote = *p_++;
    return readEscapedString(out, quote, ScanString(p_, end_, quote));
  }

  // From `stop`, the first quote or backslash after the opening quote (or the end).
  bool readEscapedString(std::string& out, char quote, const char* stop) {
    const char* run = p_;
    p_ = stop;
    for (;;) {
      if (p_ == end_) return false;
      out.append(run, static_cast<size_t>(p_ - run));
      if (*p_ == quote) {
        ++p_;
        return true;
      }
      if (++p_ == end_) return false;
      const char c = *p_++;
      switch (c) {
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': readUnicodeEscape(out); break;
        default:
          if (c == quote) {
            out += c;
          } else {
            // An unknown escape keeps both characters.
            out += '\\';
            out += c;
          }
      }
      run = p_;
      p_ = ScanString(p_, end_, quote);
    }
  }

  // After "\u": up to four hex digits give a code point, written as UTF-8; a surrogate pair
  // gives one code point; a lone surrogate gives U+FFFD; no hex digit gives nothing.
  void readUnicodeEscape(std::string& out) {
    unsigned cp;
    int n = ReadHex(p_, end_, cp);
    p_ += n;
    if (n == 0) return;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      unsigned low;
      if (end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u' && ReadHex(p_ + 2, end_, low) == 4 && low >= 0xDC00 &&
          low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        p_ += 6;
      } else {
        cp = 0xFFFD;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }

  // Accepts what long double stream extraction accepts: [+-] digits [. digits] [e|E [+-] digits],
  // with at least one mantissa digit, and an exponent only after a mantissa digit. No inf,
  // nan or hex. A value out of range fails, as the extraction does. On failure p_ is unchanged.
  bool readNumber(Number& out) {
    const char* p = p_;
    const char* const start = p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t mantissa = 0;
    bool exact = true;  // every significant digit is in `mantissa`
    bool anyDigit = false;
    int exp10 = 0;
    // Nineteen digits always fit in 64 bits: no overflow test for them, and eight at a time.
    const char* const quick = p + (end_ - p < 19 ? end_ - p : 19);
    uint64_t eight;
    while (quick - p >= 8 && detail::EightDigits(p, eight)) {
      anyDigit = true;
      mantissa = mantissa * 100000000 + eight;
      p += 8;
    }
    for (; p < quick && IsDigit(*p); ++p) {
      anyDigit = true;
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    }
    for (; p < end_ && IsDigit(*p); ++p) {
      anyDigit = true;
      unsigned d = static_cast<unsigned>(*p - '0');
      if (FitsOneMoreDigit(mantissa, d)) {
        mantissa = mantissa * 10 + d;
      } else {
        exact = false;
      }
    }
    if (p < end_ && *p == '.') {
      for (++p; p < end_ && IsDigit(*p); ++p) {
        anyDigit = true;
        unsigned d = static_cast<unsigned>(*p - '0');
        if (FitsOneMoreDigit(mantissa, d)) {
          mantissa = mantissa * 10 + d;
          // Bounded so that endless leading zeros cannot overflow; such numbers take the
          // exact slow path anyway.
          if (exp10 > -100000000) --exp10;
        } else {
          exact = false;
        }
      }
    }
    if (!anyDigit) return false;
    if (p < end_ && (*p == 'e' || *p == 'E')) {
      ++p;
      bool expNegative = false;
      if (p < end_ && (*p == '+' || *p == '-')) expNegative = *p++ == '-';
      if (p == end_ || !IsDigit(*p)) return false;  // "1e" does not convert
      int e = 0;
      for (; p < end_ && IsDigit(*p); ++p) {
        if (e < 100000) e = e * 10 + (*p - '0');
      }
      exp10 += expNegative ? -e : e;
    }
    if (exact) {
      if (mantissa == 0) {
        out = negative ? -0.0L : 0.0L;
        p_ = p;
        return true;
      }
      if (exp10 == 0) {
        StoreInteger(out, mantissa, negative);
        p_ = p;
        return true;
      }
      if (exp10 >= -kMaxExactPow10 && exp10 <= kMaxExactPow10) {
        // Both operands exact: one correctly rounded operation, the same as strtold.
        long double v = static_cast<long double>(mantissa);
        v = exp10 >= 0 ? v * kPow10[exp10] : v / kPow10[-exp10];
        out = negative ? -v : v;
        p_ = p;
        return true;
      }
    }
    return slowNumber(start, p, out);
  }

  // Out of line: its buffers would otherwise weigh on every number's call.
  __attribute__((noinline)) bool slowNumber(const char* start, const char* stop, Number& out) {
    // strtold needs a terminated copy of exactly the matched span.
    const size_t len = static_cast<size_t>(stop - start);
    char small[128];
    std::string big;
    char* buf = small;
    if (len >= sizeof(small)) {
      big.assign(start, len);
      buf = &big[0];
    } else {
      std::memcpy(small, start, len);
      small[len] = '\0';
    }
    char* endp = nullptr;
    const locale_t c = CLocale();
    long double v = c ? strtold_l(buf, &endp, c) : strtold(buf, &endp);
    if (endp != buf + len || std::isinf(v)) return false;
    out = v;
    p_ = stop;
    return true;
  }

  // On failure p_ is back where the value began, so a container that failed inside never
  // looks like the end of its parent.
  // `out` is Invalid on entry and on failure.
  bool readValue(Value& out) {
    skip();
    if (p_ == end_) return false;
    const char* const start = p_;
    switch (*p_) {
      case '"':
      case '\'': {
        const char* text;
        size_t length;
        if (plainString(text, length)) {
          BuildString(&out.string_, text, length);
          out.type_ = Value::STRING_;
          return true;
        }
        new (&out.string_) String();
        out.type_ = Value::STRING_;
        if (readEscapedString(out.string_)) return true;
        break;
      }
      case 't':
        if (!word("true", 4)) break;
        out.bool_ = true;
        out.type_ = Value::BOOL_;
        return true;
      case 'f':
        if (!word("false", 5)) break;
        out.bool_ = false;
        out.type_ = Value::BOOL_;
        return true;
      case 'n':
        if (!word("null", 4)) break;
        out.type_ = Value::NULL_;
        return true;
      case '[':
        new (&out.array_) Array();
        out.type_ = Value::ARRAY_;
        if (readArray(out.array_)) return true;
        break;
      case '{':
        new (&out.object_) Object();
        out.type_ = Value::OBJECT_;
        if (readObject(out.object_)) return true;
        break;
      case ',':
        // An empty element reads as null; the comma stays for the caller.
        out.type_ = Value::NULL_;
        return true;
      default: {
        char c = *p_;
        if (StartsNumber(c) && readNumber(out.number_)) {
          out.type_ = Value::NUMBER_;
          return true;
        }
        break;
      }
    }
    out.reset();
    p_ = start;
    return false;
  }

  // At '{'.
  bool readObject(Object& out) {
    if (++depth_ > kMaxDepth) {
      --depth_;
      return false;
    }
    ++p_;
    Object::Members& members = out.members_;
    const bool ok = readMembers(members);
    if (static_cast<size_t>(depth_) < kHints) hints_[depth_] = static_cast<unsigned>(members.size());
    orderMembers(members);
    --depth_;
    return ok;
  }

  // Members are read straight into the object's own vector, reserved at the size of the
  // object read last at the same depth: the entries of a page mostly have the same members,
  // so it is allocated once, at its final size, and nothing is moved.
  bool readMembers(Object::Members& members) {
    if (closesHere('}')) return true;
    for (;;) {
      skip();
      if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
      if (members.empty()) reserveMembers(members);
      const char* text;
      size_t length;
      bool read = true;
      if (plainString(text, length)) {
        members.emplace_back();
        std::string& key = members.back().first;
        if (length < 16) {
          // Built where it stays (moving a short string costs a copy of its own); nothing to
          // allocate, so nothing can throw between the two steps.
          key.~basic_string();
          BuildString(&key, text, length);
        } else {
          key.assign(text, length);
        }
      } else {
        members.emplace_back();
        read = readEscapedString(members.back().first);
      }
      if (read) {
        skip();
        read = p_ != end_ && *p_ == ':';
      }
      if (!read) {
        members.pop_back();
        return false;
      }
      ++p_;
      // A container value has vectors of its own: `members` does not change while it is read.
      if (!readValue(members.back().second)) {
        // The member is dropped and the object must end here.
        members.pop_back();
        return closesHere('}');
      }
      const Next next = afterMember();
      if (next != Next::kMore) return next == Next::kDone;
    }
  }

  // What follows a member or an element that was read: another one, the end of the
  // container, or a fault.
  enum class Next { kMore, kDone, kFault };
  Next afterMember() {
    skip();
    if (p_ == end_) return Next::kFault;
    if (*p_ == ',') {
      ++p_;
      skip();
      if (p_ < end_ && *p_ == '}') {  // trailing comma
        ++p_;
        return Next::kDone;
      }
      return Next::kMore;
    }
    if (*p_ == '}') {
      ++p_;
      return Next::kDone;
    }
    return Next::kFault;
  }
  Next afterElement() {
    skip();
    if (p_ == end_) return Next::kFault;
    if (*p_ == ',') {
      ++p_;
      return Next::kMore;
    }
    if (*p_ == ']') {
      ++p_;
      return Next::kDone;
    }
    return Next::kFault;
  }
  // At the start of a container's content (true when it is empty), or after a member or an
  // element whose value did not read (the container must end here): past `close` if it is there.
  bool closesHere(char close) {
    skip();
    if (p_ < end_ && *p_ == close) {
      ++p_;
      return true;
    }
    return false;
  }

  // At '['.
  bool readArray(Array& out) {
    if (++depth_ > kMaxDepth) {
      --depth_;
      return false;
    }
    ++p_;
    const size_t base = values_.size();
    bool ok = readElements();
    // Allocated once, at its final size.
    values_.moveTo(out.values_, base);
    --depth_;
    return ok;
  }

  bool readElements() {
    if (closesHere(']')) return true;
    for (;;) {
      // Read where it lies, containers too: the slot does not move while they grow values_.
      if (!readValue(values_.push())) {
        values_.pop();
        return closesHere(']');
      }
      const Next next = afterElement();
      if (next != Next::kMore) return next == Next::kDone;
    }
  }

  void reserveMembers(Object::Members& members) {
    const size_t hint = static_cast<size_t>(depth_) < kHints ? hints_[depth_] : 0;
    if (hint > members.capacity()) members.reserve(hint);
  }

  // Puts the members read in key order; of equal keys the one read last wins. The vector
  // ends with no spare room, as a guess too large or growth past it would leave.
  void orderMembers(Object::Members& members) {
    auto before = [](const Member& a, const Member& b) { return KeyBefore(a.first, b.first); };
    if (!InKeyOrder(members.begin(), members.end(), before)) {
      members.erase(OrderMembers(
                        members.begin(), members.end(), before,
                        [](const Member& a, const Member& b) { return a.first == b.first; },
                        [](Member& kept, Member& later) { kept.second = std::move(later.second); }),
                    members.end());
    }
    if (members.capacity() != members.size()) {
      Object::Members exact(std::make_move_iterator(members.begin()), std::make_move_iterator(members.end()));
      members.swap(exact);
    }
  }

  const char* p_;
  const char* const end_;
  int depth_ = 0;
  // Member counts of the objects read last at depths below kHints.
  static constexpr size_t kHints = 32;
  unsigned hints_[kHints] = {};
  // Elements of the arrays being read, innermost last; each array takes its own once
  // complete, so its storage is allocated once at its final size.
  ElementStack values_;
};

}  // namespace detail
}  // namespace jsonxx
