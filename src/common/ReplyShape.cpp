#include "src/common/ReplyShape.h"

#include "json/Whole.h"

namespace isilon {

namespace {

bool AllOfKind(const jsonxx::Array& list, jsonxx::Value::Kind kind) {
  for (const jsonxx::Value& value : list.values()) {
    if (value.type() != kind) return false;
  }
  return true;
}

// Handed out for what a reply lacks: always empty, as nothing is ever added to it.
const jsonxx::Object& NoObject() {
  static const jsonxx::Object none;
  return none;
}

}  // namespace

bool ReadReply(const std::string& response, jsonxx::Object& reply) {
  return jsonxx::ParseWhole(response, reply) && !reply.empty();
}

template <typename T>
const jsonxx::Value* ReplyShape::member(const jsonxx::Object& object, const char* key) {
  const jsonxx::Value* value = object.find(key);
  if (value == nullptr || value->is<jsonxx::Null>()) return nullptr;
  if (value->is<T>()) return value;
  ok_ = false;
  return nullptr;
}

jsonxx::Array& ReplyShape::Records(jsonxx::Object& object, const char* key) {
  const jsonxx::Value* value = member<jsonxx::Array>(object, key);
  if (value == nullptr) return EmptyOf<jsonxx::Array>();
  if (!AllOfKind(value->get<jsonxx::Array>(), jsonxx::Value::OBJECT_)) {
    ok_ = false;
    return EmptyOf<jsonxx::Array>();
  }
  return const_cast<jsonxx::Value*>(value)->get<jsonxx::Array>();
}

const jsonxx::Array& ReplyShape::Records(const jsonxx::Object& object, const char* key) {
  return Records(const_cast<jsonxx::Object&>(object), key);
}

const jsonxx::Array& ReplyShape::List(const jsonxx::Object& object, const char* key) {
  const jsonxx::Value* value = member<jsonxx::Array>(object, key);
  return value != nullptr ? value->get<jsonxx::Array>() : EmptyOf<jsonxx::Array>();
}

const jsonxx::Object& ReplyShape::Record(const jsonxx::Object& object, const char* key) {
  const jsonxx::Value* value = member<jsonxx::Object>(object, key);
  return value != nullptr ? value->get<jsonxx::Object>() : NoObject();
}

std::string ReplyShape::Token(const jsonxx::Object& object, const char* key) {
  const jsonxx::Value* value = member<std::string>(object, key);
  return value != nullptr ? value->get<std::string>() : std::string();
}

}  // namespace isilon
