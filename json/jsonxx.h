#pragma once
/// @file
/// Small JSON value module used to read every cluster reply and to write a few request bodies.
/// Lenient when reading (// comments, single quotes, trailing commas, empty elements), simple
/// when writing. Values own their content; copies are deep. A value may be read from several
/// threads at once; changing it while another thread uses it is a data race, as for any
/// standard container.
#include <cstddef>
#include <iosfwd>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/Export.h"

/// The JSON values: Value, Array and Object.
namespace jsonxx {

typedef long double Number;  ///< The number kind: every JSON number, integer or not.
typedef std::string String;  ///< The string kind: UTF-8 text as it was in the JSON.
typedef bool Boolean;        ///< The true/false kind.
/// Tag type for the null kind: `is<Null>()`, `has<Null>(key)`, `Value(Null())`.
struct Null {};

class Value;
class Object;
class Array;
struct Member;
/// @cond INTERNAL
namespace detail {
class Reader;
}
/// @endcond

/// Deepest nesting of arrays and objects that parse accepts (the outer object counts as 1).
constexpr int kMaxDepth = 512;

/// Ordered sequence of owned values.
class ISILON_API Array {
 public:
  Array() = default;                             ///< An empty array.
  Array(const Array&) = default;                 ///< A deep copy.
  Array(Array&&) noexcept = default;             ///< Takes the elements over; `other` ends empty.
  Array& operator=(const Array&) = default;      ///< A deep copy.
  Array& operator=(Array&&) noexcept = default;  ///< Takes the elements over.
  ~Array() = default;                            ///< Releases every element.

  size_t size() const;  ///< The number of elements.
  bool empty() const;   ///< True when there is no element.
  void clear();         ///< Removes every element.

  /// True when element `i` exists and is of kind T (Number, String, Boolean, Null, Array, Object).
  template <typename T>
  bool has(unsigned int i) const;
  /// Content of element `i`. Precondition: i < size() and element i is of kind T; when broken,
  /// a message goes to standard error and an empty value of kind T is returned (fresh for each
  /// broken call on this thread).
  template <typename T>
  T& get(unsigned int i);
  /// Content of element `i`, read-only; same precondition as the other get().
  template <typename T>
  const T& get(unsigned int i) const;

  /// Appends a copy of `value`.
  void import(const Value& value);
  /// Appends `value`, moved from.
  void import(Value&& value);

  /// The elements in order.
  const std::vector<Value>& values() const;

  /// The array as compact JSON text (see Value::json()).
  std::string json() const;

 private:
  friend class detail::Reader;
  std::vector<Value> values_;
};

/// Map from key to owned value, kept in ascending byte order of the key; a key occurs once.
/// Members live in a sorted vector: cheaper to build and to walk than a node-based map.
class ISILON_API Object {
 public:
  typedef std::vector<Member> Members;  ///< The members, in ascending key order.

  Object() = default;                              ///< An empty object.
  Object(const Object&) = default;                 ///< A deep copy.
  Object(Object&&) noexcept = default;             ///< Takes the members over; `other` ends empty.
  Object& operator=(const Object&) = default;      ///< A deep copy.
  Object& operator=(Object&&) noexcept = default;  ///< Takes the members over.
  ~Object() = default;                             ///< Releases every member.

  /// Empties the object, then reads one JSON object from the start of `text`; what follows
  /// its closing brace is ignored. A key given twice keeps its last value.
  /// @return false when no whole object could be read (bad text, nesting deeper than
  ///         kMaxDepth); the members read before the fault are kept. (The library's own
  ///         reply readers take all of the text or nothing.)
  bool parse(const std::string& text);
  /// Same as parse(const std::string&), on `length` bytes at `text` (which need no terminator).
  bool parse(const char* text, size_t length);

  bool empty() const;   ///< True when there is no member.
  size_t size() const;  ///< The number of members.
  void clear();         ///< Removes every member.

  /// True when member `key` exists and is of kind T (Number, String, Boolean, Null, Array, Object).
  template <typename T>
  bool has(const std::string& key) const;
  /// Content of member `key`. Precondition: has<T>(key); when broken, a message goes to
  /// standard error and an empty value of kind T is returned (fresh for each broken call on
  /// this thread).
  template <typename T>
  T& get(const std::string& key);
  /// Content of member `key`, read-only; same precondition as the other get().
  template <typename T>
  const T& get(const std::string& key) const;

  /// Sets member `key` to a copy of `value`, replacing what the key had.
  void import(const std::string& key, const Value& value);
  /// Sets member `key` to `value`, moved from, replacing what the key had.
  void import(const std::string& key, Value&& value);

  /// The member `key`, or null. Valid until the object is changed.
  const Value* find(const std::string& key) const;
  /// The member `key`, or null, to change in place. Valid until the object is changed.
  Value* find(const std::string& key);

  /// Members in ascending key order; each has `first` (key) and `second` (value).
  const Members& kv_map() const;

  /// The object as compact JSON text, members in key order (see Value::json()).
  std::string json() const;

 private:
  friend class detail::Reader;
  Members members_;
};

/// A tagged value of exactly one kind.
class ISILON_API Value {
 public:
  /// The kinds a value can have.
  enum Kind {
    NUMBER_ = 0,   ///< a Number
    STRING_ = 1,   ///< a String
    BOOL_ = 2,     ///< a Boolean
    NULL_ = 3,     ///< null
    ARRAY_ = 4,    ///< an Array
    OBJECT_ = 5,   ///< an Object
    INVALID_ = 6,  ///< no value: default-constructed, reset or moved from
  };

  /// No value (INVALID_).
  Value() noexcept : type_(INVALID_) {}
  /// A string, copied.
  Value(const std::string& s) : type_(STRING_) { new (&string_) String(s); }
  /// A string, moved from.
  Value(std::string&& s) noexcept : type_(STRING_) { new (&string_) String(std::move(s)); }
  /// A string from a zero-terminated text (null: the empty string).
  Value(const char* s) : type_(STRING_) { new (&string_) String(s ? s : ""); }
  /// A Boolean.
  Value(bool b) noexcept : type_(BOOL_) { bool_ = b; }
  /// Null.
  Value(Null) noexcept : type_(NULL_) {}
  /// An object, copied.
  Value(const Object& o) : type_(OBJECT_) { new (&object_) Object(o); }
  /// An object, moved from.
  Value(Object&& o) noexcept : type_(OBJECT_) { new (&object_) Object(std::move(o)); }
  /// An array, copied.
  Value(const Array& a) : type_(ARRAY_) { new (&array_) Array(a); }
  /// An array, moved from.
  Value(Array&& a) noexcept : type_(ARRAY_) { new (&array_) Array(std::move(a)); }
  /// A number: any arithmetic type other than bool is stored as a Number.
  template <typename T,
            typename std::enable_if<std::is_arithmetic<T>::value && !std::is_same<T, bool>::value, int>::type = 0>
  Value(T n) noexcept : type_(NUMBER_) {
    number_ = static_cast<Number>(n);
  }

  /// A deep copy.
  Value(const Value& other);
  /// Takes the content over; `other` ends INVALID_.
  Value(Value&& other) noexcept : type_(INVALID_) { moveFrom(other); }
  /// A deep copy (of itself too: safe).
  Value& operator=(const Value& other);
  /// Takes the content over; `other` ends INVALID_.
  Value& operator=(Value&& other) noexcept;
  /// Releases the content.
  ~Value() { reset(); }

  /// Releases the content; the value becomes INVALID_.
  void reset() noexcept;

  /// The value's kind.
  Kind type() const { return static_cast<Kind>(type_); }

  /// True when the value is of kind T (Number, String, Boolean, Null, Array, Object).
  template <typename T>
  bool is() const;
  /// Content of kind T. Precondition: is<T>(); when broken, a message goes to standard error
  /// and an empty value of kind T is returned (fresh for each broken call on this thread).
  template <typename T>
  T& get();
  /// Content of kind T, read-only; same precondition as the other get().
  template <typename T>
  const T& get() const;

  /// The value as compact JSON text: strings escaped (the slash as well), numbers with six
  /// significant digits ("%.6Lg", with "." whatever the locale), INVALID_ as no text at all.
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

/// One member of an Object.
struct Member {
  Member() = default;  ///< An empty key and no value.
  /// Key and value, moved from.
  Member(std::string&& key, Value&& value) noexcept : first(std::move(key)), second(std::move(value)) {}
  /// Key and value, copied.
  Member(const std::string& key, const Value& value) : first(key), second(value) {}

  std::string first;  ///< the key
  Value second;       ///< the value
};

/// @cond INTERNAL
// Inline: values move often while replies are read.
inline void Value::reset() noexcept {
  // Strings, the most common content, are released here; containers out of line.
  if (type_ == STRING_) {
    string_.~String();
  } else if (type_ == ARRAY_ || type_ == OBJECT_) {
    destroyContent();
  }
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

/// @endcond

/// Writes value.json() to `stream`.
ISILON_API std::ostream& operator<<(std::ostream& stream, const Value& value);
/// Writes array.json() to `stream`.
ISILON_API std::ostream& operator<<(std::ostream& stream, const Array& array);
/// Writes object.json() to `stream`.
ISILON_API std::ostream& operator<<(std::ostream& stream, const Object& object);

/// @cond INTERNAL

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

/// @endcond

}  // namespace jsonxx
