#pragma once
// Reading a reply whole or not at all, and checking that what a reader takes a record or a
// list from is one. A reply cut short, nested too deep or holding a value that does not
// convert is refused whole; so is one whose entries are not records: none of it is handed
// out. What a whole reply lacks (an absent or null member) still reads as empty.
#include <string>

#include "json/jsonxx.h"

namespace isilon {

// `response` as one whole JSON object with members; false, with `reply` empty, otherwise.
bool ReadReply(const std::string& response, jsonxx::Object& reply);

// A failure always carries a reason: an error reply that named no code (or no message) gets
// the library's own, with what little the reply told.
inline void FillReason(std::string& code, std::string& message, const char* what) {
  if (code.empty()) code = "Internal error";
  if (message.empty()) message = what;
}

// An empty T, fresh for each call on the thread.
template <typename T>
T& EmptyOf() {
  thread_local T empty;
  empty = T();
  return empty;
}

// The content of member `key` when it is of kind T (Number, String, Boolean, Array, Object);
// otherwise EmptyOf<T>(): what a reply lacks, or holds as null or as another kind, reads as
// empty, as the readers have always taken it. Unlike the value module's own get, nothing is
// written to standard error: a host's output is its own.
template <typename T>
T& Field(jsonxx::Object& object, const char* key) {
  jsonxx::Value* value = object.find(key);
  return value != nullptr && value->is<T>() ? value->get<T>() : EmptyOf<T>();
}
template <typename T>
const T& Field(const jsonxx::Object& object, const char* key) {
  return Field<T>(const_cast<jsonxx::Object&>(object), key);
}
// Element `i` of `array` when it is of kind T, else an empty T, in the same way.
template <typename T>
const T& Element(const jsonxx::Array& array, unsigned int i) {
  return array.has<T>(i) ? array.get<T>(i) : EmptyOf<T>();
}

// Collects whether the containers a reader takes have the kind it needs. Each getter gives
// the member when it is of that kind, an empty container when it is absent or null, and
// otherwise an empty container with the reply marked as mis-shaped (ok() false).
class ReplyShape {
 public:
  // An array whose elements are all objects.
  jsonxx::Array& Records(jsonxx::Object& object, const char* key);
  const jsonxx::Array& Records(const jsonxx::Object& object, const char* key);
  // An array of any elements.
  const jsonxx::Array& List(const jsonxx::Object& object, const char* key);
  const jsonxx::Object& Record(const jsonxx::Object& object, const char* key);
  // A paging token: a string, or empty when absent or null. Any other kind would end a walk
  // early without a word, so it marks the reply.
  std::string Token(const jsonxx::Object& object, const char* key);

  bool ok() const { return ok_; }

 private:
  // The member when it is of kind T, null when absent or null, else null with the mark set.
  template <typename T>
  const jsonxx::Value* member(const jsonxx::Object& object, const char* key);

  bool ok_ = true;
};

}  // namespace isilon
