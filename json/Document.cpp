// The compact document: its blocks, and the views that read it.
#include "json/Document.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "json/DocumentData.h"
#include "json/Reader.h"

namespace jsonxx {
namespace detail {

// Reads a Document: the grammar, strings and numbers of Reader, step for step, into nodes.
// The members or elements of the containers being read wait in one scratch vector, innermost
// last; a container complete is copied into the document as one run, so it is allocated once.
class CompactReader : private Reader {
 public:
  CompactReader(const char* begin, const char* end, DocumentData& out) : Reader(begin, end), out_(out) {
    std::memset(lastKeys_, 0xFF, sizeof lastKeys_);
  }

  bool ReadTop() {
    skip();
    return p_ != end_ && *p_ == '{' && readObject(out_.root);
  }

 private:
  // On failure p_ is back where the value began, as in Reader::readValue.
  bool readValue(Node& out) {
    skip();
    if (p_ == end_) return false;
    const char* const start = p_;
    switch (*p_) {
      case '"':
      case '\'': {
        const char* text;
        size_t length;
        if (plainString(text, length)) {
          out.setRun(Value::STRING_, out_.keep(text, length), static_cast<uint32_t>(length));
          return true;
        }
        scratch_.clear();
        if (readEscapedString(scratch_)) {
          out.setRun(Value::STRING_, out_.keep(scratch_.data(), scratch_.size()),
                     static_cast<uint32_t>(scratch_.size()));
          return true;
        }
        break;
      }
      case 't':
        if (!word("true", 4)) break;
        out.bytes[0] = 1;
        out.setKind(Value::BOOL_);
        return true;
      case 'f':
        if (!word("false", 5)) break;
        out.setKind(Value::BOOL_);
        return true;
      case 'n':
        if (!word("null", 4)) break;
        out.setKind(Value::NULL_);
        return true;
      case '[':
        if (readArray(out)) return true;
        break;
      case '{':
        if (readObject(out)) return true;
        break;
      case ',':
        // An empty element reads as null; the comma stays for the caller.
        out.setKind(Value::NULL_);
        return true;
      default: {
        const char c = *p_;
        Number n;
        if (StartsNumber(c) && readNumber(n)) {
          out.setNumber(n);
          return true;
        }
        break;
      }
    }
    out = Node();
    p_ = start;
    return false;
  }

  // At '{' or '['.
  bool readObject(Node& out) { return readContainer(out, Value::OBJECT_); }
  bool readArray(Node& out) { return readContainer(out, Value::ARRAY_); }
  bool readContainer(Node& out, Value::Kind kind) {
    if (++depth_ > kMaxDepth) {
      --depth_;
      return false;
    }
    ++p_;
    const size_t base = run_.size();
    const bool ok = kind == Value::OBJECT_ ? readMembers() : readElements();
    if (kind == Value::OBJECT_) orderMembers(base);
    const size_t count = run_.size() - base;
    out.setRun(kind, out_.keep(run_.data() + base, count), static_cast<uint32_t>(count));
    run_.resize(base);
    --depth_;
    return ok;
  }

  bool readMembers() {
    if (closesHere('}')) return true;
    for (size_t position = 0;; ++position) {
      skip();
      if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
      uint32_t key;
      const char* text;
      size_t length;
      bool read;
      if (plainString(text, length)) {
        read = keyOf(text, length, position, key);
      } else {
        scratch_.clear();
        read = readEscapedString(scratch_) && keyOf(scratch_.data(), scratch_.size(), position, key);
      }
      if (read) {
        skip();
        read = p_ != end_ && *p_ == ':';
      }
      if (!read) return false;
      ++p_;
      Node value;
      // The member is dropped and the object must end here.
      if (!readValue(value)) return closesHere('}');
      value.setKey(key);
      run_.push_back(value);
      const Next next = afterMember();
      if (next != Next::kMore) return next == Next::kDone;
    }
  }

  bool readElements() {
    if (closesHere(']')) return true;
    for (;;) {
      Node value;
      if (!readValue(value)) return closesHere(']');
      run_.push_back(value);
      const Next next = afterElement();
      if (next != Next::kMore) return next == Next::kDone;
    }
  }

  // The number of the key of `length` bytes at `text`, kept once for the document. A member
  // mostly has the key that the member at its place in the object read before at the same
  // depth had: that one is compared first. False when the document has too many keys.
  bool keyOf(const char* text, size_t length, size_t position, uint32_t& key) {
    const std::string_view wanted(text, length);
    const size_t depth = static_cast<size_t>(depth_);
    uint32_t* const last = depth < kHints && position < kHintKeys ? &lastKeys_[depth][position] : nullptr;
    if (last && *last < out_.keys.size() && out_.keys[*last] == wanted) {
      key = *last;
      return true;
    }
    auto found = ids_.find(wanted);
    if (found != ids_.end()) {
      key = found->second;
    } else {
      if (out_.keys.size() >= Node::kMaxKeys) return false;
      key = static_cast<uint32_t>(out_.keys.size());
      const std::string_view kept(out_.keep(text, length), length);
      out_.keys.push_back(kept);
      ids_.emplace(kept, key);
    }
    if (last) *last = key;
    return true;
  }

  // Puts the members from `base` on in key order, by the rule Object::parse keeps.
  void orderMembers(size_t base) {
    const std::vector<std::string_view>& keys = out_.keys;
    auto before = [&keys](const Node& a, const Node& b) { return keys[a.key()] < keys[b.key()]; };
    const auto first = run_.begin() + static_cast<std::ptrdiff_t>(base);
    if (InKeyOrder(first, run_.end(), before)) return;
    run_.erase(OrderMembers(
                   first, run_.end(), before, [](const Node& a, const Node& b) { return a.key() == b.key(); },
                   [](Node& kept, const Node& later) { kept = later; }),
               run_.end());
  }

  DocumentData& out_;
  // Members and elements of the containers being read, innermost last.
  std::vector<Node> run_;
  std::string scratch_;
  std::unordered_map<std::string_view, uint32_t> ids_;
  // Per depth below kHints, the key numbers of the last object's first kHintKeys members.
  static constexpr size_t kHintKeys = 32;
  uint32_t lastKeys_[kHints][kHintKeys];
};

bool ReadCompact(const char* text, size_t length, DocumentData& out) {
  CompactReader reader(text, text + length, out);
  return reader.ReadTop();
}

template <typename T>
T* DocumentData::Blocks<T>::take(size_t count) {
  // A run longer than an eighth of a block gets a block of its own, so a block's tail left
  // unused stays small; the blocks being filled are not changed by it.
  constexpr size_t kLargest = (64 << 10) / sizeof(T);
  if (count > kLargest / 8) {
    blocks.emplace_back(new T[count]);
    return blocks.back().get();
  }
  if (count > left) {
    // While the blocks are still small, a run may be longer than the next one would be.
    const size_t size = std::max(grow, count);
    blocks.emplace_back(new T[size]);
    next = blocks.back().get();
    left = size;
    grow = std::min(grow * 2, kLargest);
  }
  T* const taken = next;
  next += count;
  left -= count;
  return taken;
}

const Node* DocumentData::keep(const Node* run, size_t count) {
  if (count == 0) return nullptr;
  Node* const kept = nodes_.take(count);
  std::copy(run, run + count, kept);
  return kept;
}

const char* DocumentData::keep(const char* text, size_t length) {
  if (length == 0) return nullptr;
  char* const kept = text_.take(length);
  std::memcpy(kept, text, length);
  return kept;
}

}  // namespace detail

// ---- Document ----------------------------------------------------------------------------

Document::Document() noexcept = default;
Document::~Document() = default;
Document::Document(Document&& other) noexcept = default;
Document& Document::operator=(Document&& other) noexcept = default;

bool Document::parse(const std::string& text) { return parse(text.data(), text.size()); }

bool Document::parse(const char* text, size_t length) {
  clear();
  // Lengths and counts are kept in 32 bits.
  if (!text || length > UINT32_MAX) return false;
  auto data = std::make_unique<detail::DocumentData>();
  if (!detail::ReadCompact(text, length, *data)) return false;
  data->keys.shrink_to_fit();
  data_ = std::move(data);
  return true;
}

View Document::root() const { return data_ ? View(&data_->root, data_.get()) : View(); }
bool Document::empty() const { return !data_; }
void Document::clear() noexcept { data_.reset(); }

// ---- View --------------------------------------------------------------------------------

Value::Kind View::type() const { return node_ ? node_->kind() : Value::INVALID_; }

Number View::number() const { return type() == Value::NUMBER_ ? node_->number() : 0; }

Boolean View::boolean() const { return type() == Value::BOOL_ && node_->bytes[0] != 0; }

std::string_view View::string() const { return type() == Value::STRING_ ? node_->string() : std::string_view(); }

size_t View::size() const {
  const Value::Kind kind = type();
  return kind == Value::ARRAY_ || kind == Value::OBJECT_ ? node_->count() : 0;
}

View View::operator[](size_t i) const { return i < size() ? View(node_->first() + i, data_) : View(); }

std::string_view View::key(size_t i) const {
  return type() == Value::OBJECT_ && i < node_->count() ? data_->keys[node_->first()[i].key()] : std::string_view();
}

View View::find(std::string_view key) const {
  if (type() != Value::OBJECT_) return View();
  const detail::Node* const first = node_->first();
  const detail::Node* const last = first + node_->count();
  const std::vector<std::string_view>& keys = data_->keys;
  const detail::Node* it = std::lower_bound(
      first, last, key, [&keys](const detail::Node& m, std::string_view k) { return keys[m.key()] < k; });
  return it != last && keys[it->key()] == key ? View(it, data_) : View();
}

Value View::value() const {
  switch (type()) {
    case Value::NUMBER_: return Value(number());
    case Value::STRING_: return Value(std::string(string()));
    case Value::BOOL_: return Value(boolean());
    case Value::NULL_: return Value(Null());
    case Value::ARRAY_: {
      Array array;
      for (size_t i = 0; i < size(); ++i) array.import((*this)[i].value());
      return Value(std::move(array));
    }
    case Value::OBJECT_: {
      Object object;
      for (size_t i = 0; i < size(); ++i) object.import(std::string(key(i)), (*this)[i].value());
      return Value(std::move(object));
    }
    default: return Value();
  }
}

}  // namespace jsonxx
