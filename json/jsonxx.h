#pragma once
// Small JSON value module used to read every cluster reply and to write a few request bodies.
// Lenient when reading (// comments, single quotes, trailing commas, empty elements), simple
// when writing. Values own their content; copies are deep.
#include <cstddef>
#include <iosfwd>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/Export.h"

namespace jsonxx {

typedef long double Number;
typedef std::string String;
typedef bool Boolean;
// Tag type for the null kind: `is<Null>()`, `has<Null>(key)`, `Value(Null())`.
struct Null {};

class Value;
class Object;
class Array;
struct Member;
namespace detail {
class Reader;
}

// Deepest nesting of arrays and objects that parse accepts (the outer object counts as 1).
constexpr int kMaxDepth = 512;

// Ordered sequence of owned values.
class ISILON_API Array {
 public:
  Array() = default;
  Array(const Array&) = default;
  Array(Array&&) noexcept = default;
  Array& operator=(const Array&) = default;
  Array& operator=(Array&&) noexcept = default;
  ~Array() = default;

  size_t size() const;
  bool empty() const;
  void clear();

  // True when element `i` exists and is of kind T.
  template <typename T>
  bool has(unsigned int i) const;
  // Content of element `i`. Precondition: i < size() and element i is of kind T; when broken,
  // a message goes to stderr and an empty value of kind T is returned.
  template <typename T>
  T& get(unsigned int i);
  template <typename T>
  const T& get(unsigned int i) const;

  void import(const Value& value);
  void import(Value&& value);

  const std::vector<Value>& values() const;

  std::string json() const;

 private:
  friend class detail::Reader;
  std::vector<Value> values_;
};

// Map from key to owned value, kept in ascending byte order of the key; a key occurs once.
// Members live in a sorted vector: cheaper to build and to walk than a node-based map.
class ISILON_API Object {
 public:
  typedef std::vector<Member> Members;

  Object() = default;
  Object(const Object&) = default;
  Object(Object&&) noexcept = default;
  Object& operator=(const Object&) = default;
  Object& operator=(Object&&) noexcept = default;
  ~Object() = default;

  // Empties the object, then reads one JSON object from the start of `text`; what follows
  // its closing brace is ignored. On failure the members read before it are kept.
  // (Reply readers use jsonxx::ParseWhole of json/Whole.h instead: all of the text or nothing.)
  bool parse(const std::string& text);
  bool parse(const char* text, size_t length);

  bool empty() const;
  size_t size() const;
  void clear();

  // True when member `key` exists and is of kind T.
  template <typename T>
  bool has(const std::string& key) const;
  // Content of member `key`. Precondition: has<T>(key); when broken, a message goes to
  // stderr and an empty value of kind T is returned.
  template <typename T>
  T& get(const std::string& key);
  template <typename T>
  const T& get(const std::string& key) const;

  // Sets member `key` to a copy of `value`, replacing what the key had.
  void import(const std::string& key, const Value& value);
  void import(const std::string& key, Value&& value);

  // The member `key`, or null.
  const Value* find(const std::string& key) const;
  Value* find(const std::string& key);

  // Members in ascending key order; each has `first` (key) and `second` (value).
  const Members& kv_map() const;

  std::string json() const;

 private:
  friend class detail::Reader;
  Members members_;
};

// A tagged value of exactly one kind.
class ISILON_API Value {
 public:
  enum Kind { NUMBER_ = 0, STRING_ = 1, BOOL_ = 2, NULL_ = 3, ARRAY_ = 4, OBJECT_ = 5, INVALID_ = 6 };

  Value() noexcept : type_(INVALID_) {}
  Value(const std::string& s) : type_(STRING_) { new (&string_) String(s); }
  Value(std::string&& s) noexcept : type_(STRING_) { new (&string_) String(std::move(s)); }
  Value(const char* s) : type_(STRING_) { new (&string_) String(s ? s : ""); }
  Value(bool b) noexcept : type_(BOOL_) { bool_ = b; }
  Value(Null) noexcept : type_(NULL_) {}
  Value(const Object& o) : type_(OBJECT_) { new (&object_) Object(o); }
  Value(Object&& o) noexcept : type_(OBJECT_) { new (&object_) Object(std::move(o)); }
  Value(const Array& a) : type_(ARRAY_) { new (&array_) Array(a); }
  Value(Array&& a) noexcept : type_(ARRAY_) { new (&array_) Array(std::move(a)); }
  // Any arithmetic type other than bool is stored as a Number.
  template <typename T,
            typename std::enable_if<std::is_arithmetic<T>::value && !std::is_same<T, bool>::value, int>::type = 0>
  Value(T n) noexcept : type_(NUMBER_) {
    number_ = static_cast<Number>(n);
  }

  Value(const Value& other);
  Value(Value&& other) noexcept : type_(INVALID_) { moveFrom(other); }
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value() { reset(); }

  // Releases the content; the value becomes Invalid.
  void reset() noexcept;

  Kind type() const { return static_cast<Kind>(type_); }

  template <typename T>
  bool is() const;
  // Content of kind T. Precondition: is<T>(); when broken, a message goes to stderr and an
  // empty value of kind T is returned.
  template <typename T>
  T& get();
  template <typename T>
  const T& get() const;

  std::string json() const;

 private:
  friend class detail::Reader;
  template <typename T>
  T& raw();
  void copyFrom(const Value& other);
  void moveFrom(Value& other) noexcept;
  void destroyContent() noexcept;

  union {
    Number number_;
    String string_;
    Boolean bool_;
    Array array_;
    Object object_;
  };
  unsigned char type_;
};

// One member of an Object.
struct Member {
  Member() = default;
  Member(std::string&& key, Value&& value) noexcept : first(std::move(key)), second(std::move(value)) {}
  Member(const std::string& key, const Value& value) : first(key), second(value) {}

  std::string first;
  Value second;
};

// Inline: values move often while replies are read.
inline void Value::reset() noexcept {
  if (type_ == STRING_ || type_ == ARRAY_ || type_ == OBJECT_) destroyContent();
  type_ = INVALID_;
}

inline void Value::moveFrom(Value& other) noexcept {
  // Each moved-from member is destroyed in place; `other` ends Invalid.
  switch (other.type_) {
    case NUMBER_: number_ = other.number_; break;
    case STRING_:
      new (&string_) String(std::move(other.string_));
      other.string_.~String();
      break;
    case BOOL_: bool_ = other.bool_; break;
    case ARRAY_:
      new (&array_) Array(std::move(other.array_));
      other.array_.~Array();
      break;
    case OBJECT_:
      new (&object_) Object(std::move(other.object_));
      other.object_.~Object();
      break;
    default: break;
  }
  type_ = other.type_;
  other.type_ = INVALID_;
}

ISILON_API std::ostream& operator<<(std::ostream& stream, const Value& value);
ISILON_API std::ostream& operator<<(std::ostream& stream, const Array& array);
ISILON_API std::ostream& operator<<(std::ostream& stream, const Object& object);

namespace detail {

// Writes "[JSONXX] expression '<expr>' failed at <file>:<line> -> " to stderr.
ISILON_API void ReportBroken(const char* expression, const char* file, int line);
// Per-thread empty values, emptied again on every call, handed out for broken preconditions
// so that nothing a caller does to one can reach the next caller.
ISILON_API Number& EmptyNumber();
ISILON_API String& EmptyString();
ISILON_API Boolean& EmptyBoolean();
ISILON_API Array& EmptyArray();
ISILON_API Object& EmptyObject();

template <typename T>
struct KindOf;
template <>
struct KindOf<Number> {
  static constexpr int code = Value::NUMBER_;
  static const char* expr() { return "is<Number>()"; }
  static Number& empty() { return EmptyNumber(); }
};
template <>
struct KindOf<String> {
  static constexpr int code = Value::STRING_;
  static const char* expr() { return "is<String>()"; }
  static String& empty() { return EmptyString(); }
};
template <>
struct KindOf<Boolean> {
  static constexpr int code = Value::BOOL_;
  static const char* expr() { return "is<Boolean>()"; }
  static Boolean& empty() { return EmptyBoolean(); }
};
template <>
struct KindOf<Null> {
  static constexpr int code = Value::NULL_;
};
template <>
struct KindOf<Array> {
  static constexpr int code = Value::ARRAY_;
  static const char* expr() { return "is<Array>()"; }
  static Array& empty() { return EmptyArray(); }
};
template <>
struct KindOf<Object> {
  static constexpr int code = Value::OBJECT_;
  static const char* expr() { return "is<Object>()"; }
  static Object& empty() { return EmptyObject(); }
};

}  // namespace detail

template <>
inline Number& Value::raw<Number>() {
  return number_;
}
template <>
inline String& Value::raw<String>() {
  return string_;
}
template <>
inline Boolean& Value::raw<Boolean>() {
  return bool_;
}
template <>
inline Array& Value::raw<Array>() {
  return array_;
}
template <>
inline Object& Value::raw<Object>() {
  return object_;
}

template <typename T>
inline bool Value::is() const {
  return type_ == detail::KindOf<T>::code;
}

template <typename T>
inline T& Value::get() {
  if (is<T>()) return raw<T>();
  detail::ReportBroken(detail::KindOf<T>::expr(), __FILE__, __LINE__);
  return detail::KindOf<T>::empty();
}

template <typename T>
inline const T& Value::get() const {
  return const_cast<Value*>(this)->get<T>();
}

template <typename T>
inline bool Array::has(unsigned int i) const {
  return i < values_.size() && values_[i].is<T>();
}

template <typename T>
inline T& Array::get(unsigned int i) {
  if (i < values_.size()) return values_[i].get<T>();
  detail::ReportBroken("i < size()", __FILE__, __LINE__);
  return detail::KindOf<T>::empty();
}

template <typename T>
inline const T& Array::get(unsigned int i) const {
  return const_cast<Array*>(this)->get<T>(i);
}

inline size_t Array::size() const { return values_.size(); }
inline bool Array::empty() const { return values_.empty(); }
inline void Array::clear() { values_.clear(); }
inline const std::vector<Value>& Array::values() const { return values_; }

inline const Object::Members& Object::kv_map() const { return members_; }
inline bool Object::empty() const { return members_.empty(); }
inline size_t Object::size() const { return members_.size(); }
inline void Object::clear() { members_.clear(); }

template <typename T>
inline bool Object::has(const std::string& key) const {
  const Value* v = find(key);
  return v && v->is<T>();
}

template <typename T>
inline T& Object::get(const std::string& key) {
  Value* v = find(key);
  if (v && v->is<T>()) return v->get<T>();
  detail::ReportBroken("has<T>(key)", __FILE__, __LINE__);
  return detail::KindOf<T>::empty();
}

template <typename T>
inline const T& Object::get(const std::string& key) const {
  return const_cast<Object*>(this)->get<T>(key);
}

}  // namespace jsonxx
