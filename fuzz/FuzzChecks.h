#pragma once
// Shared checks of the reply-reader fuzz targets. Each target reads the same bytes a second
// time with the JSON reader and compares: a record per entry of the reply (none lost, none
// invented), texts as sent, exact integers where the reply's number fits, and error replies
// whose verdict, first error and list agree.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"
#include "json/Whole.h"
#include "json/jsonxx.h"

namespace fuzzcheck {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// The reply as the readers see it: one whole JSON object, or nothing (a reply cut short, with
// text after it, nested too deep or holding a number out of range gives nothing).
inline jsonxx::Object Read(const std::string& reply) {
  jsonxx::Object object;
  jsonxx::ParseWhole(reply, object);
  return object;
}

// Member `key` absent, null, or of kind `kind`.
inline bool AbsentOr(const jsonxx::Object& object, const char* key, jsonxx::Value::Kind kind) {
  const jsonxx::Value* value = object.find(key);
  return value == nullptr || value->is<jsonxx::Null>() || value->type() == kind;
}

// Member `key` absent, null, or an array whose elements are all of kind `kind`.
inline bool AbsentOrArrayOf(const jsonxx::Object& object, const char* key, jsonxx::Value::Kind kind) {
  if (!AbsentOr(object, key, jsonxx::Value::ARRAY_)) return false;
  const jsonxx::Value* value = object.find(key);
  if (value == nullptr || !value->is<jsonxx::Array>()) return true;
  for (const jsonxx::Value& element : value->get<jsonxx::Array>().values()) {
    if (element.type() != kind) return false;
  }
  return true;
}

// A readable page: whole, with members, its entries records and its token a text (or none).
inline bool Page(const jsonxx::Object& object, const char* entries) {
  return !object.empty() && AbsentOrArrayOf(object, entries, jsonxx::Value::OBJECT_) &&
         AbsentOr(object, "resume", jsonxx::Value::STRING_);
}

inline size_t ArraySize(const jsonxx::Object& object, const char* key) {
  return object.has<jsonxx::Array>(key) ? object.get<jsonxx::Array>(key).size() : 0;
}

inline const jsonxx::Array& ArrayOf(const jsonxx::Object& object, const char* key) {
  static const jsonxx::Array kEmpty;
  return object.has<jsonxx::Array>(key) ? object.get<jsonxx::Array>(key) : kEmpty;
}

inline const jsonxx::Object& Entry(const jsonxx::Array& array, unsigned int i) {
  static const jsonxx::Object kEmpty;
  return array.has<jsonxx::Object>(i) ? array.get<jsonxx::Object>(i) : kEmpty;
}

inline const jsonxx::Object& Member(const jsonxx::Object& object, const char* key) {
  static const jsonxx::Object kEmpty;
  return object.has<jsonxx::Object>(key) ? object.get<jsonxx::Object>(key) : kEmpty;
}

inline std::string Text(const jsonxx::Object& object, const char* key) {
  return object.has<std::string>(key) ? object.get<std::string>(key) : std::string();
}

inline std::string Text(const jsonxx::Array& array, unsigned int i) {
  return array.has<std::string>(i) ? array.get<std::string>(i) : std::string();
}

inline bool Flag(const jsonxx::Object& object, const char* key) {
  return object.has<bool>(key) && object.get<bool>(key);
}

// A number that every integer field holds exactly: integral and within [0, 2^31).
inline bool SmallInteger(const jsonxx::Object& object, const char* key, uint64_t& value) {
  if (!object.has<jsonxx::Number>(key)) return false;
  const long double n = object.get<jsonxx::Number>(key);
  if (!(n >= 0 && n < 2147483648.0L) || std::floor(n) != n) return false;
  value = static_cast<uint64_t>(n);
  return true;
}

// A missing member reads as 0; a small integral one as itself; anything else merely defined.
inline void CheckInteger(uint64_t got, const jsonxx::Object& object, const char* key) {
  if (!object.find(key)) {
    Check(got == 0);
    return;
  }
  uint64_t want = 0;
  if (SmallInteger(object, key, want)) Check(got == want);
}

inline void CheckStrings(const std::vector<std::string>& got, const jsonxx::Object& object, const char* key) {
  const jsonxx::Array& want = ArrayOf(object, key);
  Check(got.size() == want.size());
  for (unsigned int i = 0; i < want.size(); ++i) Check(got[i] == Text(want, i));
}

// Reads `reply` as an error reply twice: each reading keeps only its own errors.
inline void CheckErrorReply(IsilonJsonBase& request, std::string reply) {
  for (int round = 0; round < 2; ++round) {
    const bool found = request.ParseError(reply);
    std::string code, message;
    request.getError(code, message);
    std::vector<_IsilonErrorInfo> list;
    request.getErrorList(list);
    if (found) {
      Check(!code.empty() || !message.empty() || !list.empty());
      if (!list.empty()) Check(list.front().strCode == code && list.front().strMessage == message);
    } else {
      // Nothing found: an object without errors, or no object at all; either has a reason.
      Check(list.empty());
      Check(code == "Internal error" && !message.empty());
    }
  }
}

}  // namespace fuzzcheck
