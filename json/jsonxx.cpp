// Value ownership, object and array members, and the empty values for broken preconditions.
#include "json/jsonxx.h"

#include <algorithm>
#include <cstdio>

namespace jsonxx {

// ---- Value -------------------------------------------------------------------------------

Value::Value(const Value& other) : type_(INVALID_) { copyFrom(other); }

Value& Value::operator=(const Value& other) {
  if (this != &other) {
    // Copy first: `other` may live inside this value.
    Value copy(other);
    reset();
    moveFrom(copy);
  }
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    Value taken(std::move(other));
    reset();
    moveFrom(taken);
  }
  return *this;
}

void Value::destroyContent() noexcept {
  switch (type_) {
    case STRING_: string_.~String(); break;
    case ARRAY_: array_.~Array(); break;
    case OBJECT_: object_.~Object(); break;
    default: break;
  }
}

void Value::copyFrom(const Value& other) {
  switch (other.type_) {
    case NUMBER_: number_ = other.number_; break;
    case STRING_: new (&string_) String(other.string_); break;
    case BOOL_: bool_ = other.bool_; break;
    case ARRAY_: new (&array_) Array(other.array_); break;
    case OBJECT_: new (&object_) Object(other.object_); break;
    default: break;
  }
  type_ = other.type_;
}

// ---- Array -------------------------------------------------------------------------------

void Array::import(const Value& value) { values_.push_back(value); }

void Array::import(Value&& value) { values_.push_back(std::move(value)); }

// ---- Object ------------------------------------------------------------------------------

namespace {
struct KeyLess {
  bool operator()(const Member& m, const std::string& key) const { return m.first < key; }
};
}  // namespace

const Value* Object::find(const std::string& key) const {
  auto it = std::lower_bound(members_.begin(), members_.end(), key, KeyLess());
  return it != members_.end() && it->first == key ? &it->second : nullptr;
}

Value* Object::find(const std::string& key) { return const_cast<Value*>(static_cast<const Object*>(this)->find(key)); }

void Object::import(const std::string& key, const Value& value) { import(key, Value(value)); }

void Object::import(const std::string& key, Value&& value) {
  auto it = std::lower_bound(members_.begin(), members_.end(), key, KeyLess());
  if (it != members_.end() && it->first == key) {
    it->second = std::move(value);
  } else {
    members_.insert(it, Member(std::string(key), std::move(value)));
  }
}

// ---- broken preconditions ----------------------------------------------------------------

namespace detail {

void ReportBroken(const char* expression, const char* file, int line) {
  std::fprintf(stderr, "[JSONXX] expression '%s' failed at %s:%d -> \n", expression, file, line);
}

Number& EmptyNumber() {
  thread_local Number value;
  value = 0;
  return value;
}

String& EmptyString() {
  thread_local String value;
  String().swap(value);
  return value;
}

Boolean& EmptyBoolean() {
  thread_local Boolean value;
  value = false;
  return value;
}

Array& EmptyArray() {
  thread_local Array value;
  value = Array();
  return value;
}

Object& EmptyObject() {
  thread_local Object value;
  value = Object();
  return value;
}

}  // namespace detail
}  // namespace jsonxx
