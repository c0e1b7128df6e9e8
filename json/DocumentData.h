#pragma once
// The storage behind jsonxx::Document (internal, not installed). Every value is a 16-byte
// node; the members or elements of a container are one run of nodes, in order, that its node
// points to. Nodes and string bytes live in blocks that never move, so the pointers hold
// while the document is read and after.
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "json/jsonxx.h"

namespace jsonxx {
namespace detail {

// A node's 16 bytes, set and read by copying (no type punning):
//   number:           bytes 0-9   the x87 extended value (the whole of a long double's content)
//   string:           bytes 0-7   where its bytes are,  8-11 its length
//   array or object:  bytes 0-7   its first node,       8-11 how many
//   Boolean:          byte 0
//   every kind:       byte 12     the kind (Value::Kind), 13-15 the key's number in a member
struct alignas(8) Node {
  static_assert(LDBL_MANT_DIG == 64 && sizeof(long double) == 16, "an x87 extended long double");
  static constexpr uint32_t kMaxKeys = 1u << 24;

  unsigned char bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, Value::INVALID_, 0, 0, 0};

  Value::Kind kind() const { return static_cast<Value::Kind>(bytes[12]); }
  void setKind(Value::Kind kind) { bytes[12] = static_cast<unsigned char>(kind); }

  uint32_t key() const { return bytes[13] | uint32_t{bytes[14]} << 8 | uint32_t{bytes[15]} << 16; }
  void setKey(uint32_t key) {
    bytes[13] = static_cast<unsigned char>(key);
    bytes[14] = static_cast<unsigned char>(key >> 8);
    bytes[15] = static_cast<unsigned char>(key >> 16);
  }

  Number number() const {
    Number v = 0;
    std::memcpy(&v, bytes, 10);
    return v;
  }
  void setNumber(Number v) {
    std::memcpy(bytes, &v, 10);
    setKind(Value::NUMBER_);
  }

  const void* pointer() const {
    const void* p;
    std::memcpy(&p, bytes, sizeof p);
    return p;
  }
  uint32_t count() const {
    uint32_t n;
    std::memcpy(&n, bytes + 8, 4);
    return n;
  }
  void setRun(Value::Kind kind, const void* first, uint32_t count) {
    std::memcpy(bytes, &first, sizeof first);
    std::memcpy(bytes + 8, &count, 4);
    setKind(kind);
  }

  std::string_view string() const { return {static_cast<const char*>(pointer()), count()}; }
  const Node* first() const { return static_cast<const Node*>(pointer()); }
};
static_assert(sizeof(Node) == 16, "a node is 16 bytes");

struct DocumentData {
  Node root;
  // The distinct keys, by number.
  std::vector<std::string_view> keys;

  // A copy of `count` nodes, kept for the life of the document.
  const Node* keep(const Node* run, size_t count);
  // A copy of `length` bytes, kept for the life of the document.
  const char* keep(const char* text, size_t length);

 private:
  template <typename T>
  struct Blocks {
    std::vector<std::unique_ptr<T[]>> blocks;
    T* next = nullptr;
    size_t left = 0;
    size_t grow;
    explicit Blocks(size_t first) : grow(first) {}
    T* take(size_t count);
  };
  // Blocks start small (a short reply stays small) and double up to 64 KiB.
  Blocks<Node> nodes_{64};
  Blocks<char> text_{1024};
};

// Reads one JSON object from the start of the text into `out` (empty), as Object::parse reads
// it (json/Reader.cpp); false when it cannot (what `out` then holds is of no use).
bool ReadCompact(const char* text, size_t length, DocumentData& out);

}  // namespace detail
}  // namespace jsonxx
