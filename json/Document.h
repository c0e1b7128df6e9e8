#pragma once
/// @file
/// A read-only JSON document in a compact form, for a host that keeps a large reply while it
/// works on it: the same grammar and the same values as Object::parse, in about a quarter of
/// the memory. Every value takes 16 bytes, a member's key included (each distinct key is kept
/// once); strings sit in the document's own blocks.
///
///   jsonxx::Document doc;
///   if (!doc.parse(text)) return;
///   jsonxx::View lins = doc.root().find("lins");
///   for (size_t i = 0; i < lins.size(); ++i) use(lins[i].find("path").string());
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "host/Export.h"
#include "json/jsonxx.h"

namespace jsonxx {

/// @cond INTERNAL
namespace detail {
struct Node;
struct DocumentData;
}  // namespace detail
/// @endcond

/// One value of a Document. A handle of two pointers, cheap to copy; valid while its document
/// lives and is not parsed again or cleared. Asking a view for what its kind does not have is
/// no fault: it gives an empty answer (0, false, an empty string, size 0, an INVALID_ view).
/// Views may be used from several threads at once.
class ISILON_API View {
 public:
  /// No value (INVALID_).
  View() = default;

  /// The value's kind; INVALID_ for a default view or a member or element that is not there.
  Value::Kind type() const;
  /// True when the value is of kind T (Number, String, Boolean, Null, Array, Object).
  template <typename T>
  bool is() const {
    return type() == detail::KindOf<T>::code;
  }

  /// The number, exactly as Object::parse reads it; 0 for any other kind.
  Number number() const;
  /// The Boolean; false for any other kind.
  Boolean boolean() const;
  /// The string's bytes, escapes decoded; empty for any other kind.
  std::string_view string() const;

  /// The number of elements of an array or members of an object; 0 for any other kind.
  size_t size() const;
  /// Element `i` of an array, or the value of member `i` of an object (members in ascending
  /// key order); INVALID_ when there is none.
  View operator[](size_t i) const;
  /// The key of member `i` of an object; empty when there is none.
  std::string_view key(size_t i) const;
  /// The member whose key is exactly `key` (every byte of it), or an INVALID_ view.
  View find(std::string_view key) const;

  /// A deep copy as an owned value, equal to what Object::parse gives for it.
  Value value() const;

 private:
  friend class Document;
  View(const detail::Node* node, const detail::DocumentData* data) : node_(node), data_(data) {}
  const detail::Node* node_ = nullptr;
  const detail::DocumentData* data_ = nullptr;
};

/// A JSON object read into a compact, read-only form. Move-only.
class ISILON_API Document {
 public:
  Document() noexcept;                             ///< An empty document.
  ~Document();                                     ///< Releases the content; its views end.
  Document(Document&& other) noexcept;             ///< Takes the content over; `other` ends empty.
  Document& operator=(Document&& other) noexcept;  ///< Takes the content over.
  Document(const Document&) = delete;              ///< Not copyable: views point into it.
  Document& operator=(const Document&) = delete;   ///< Not copyable.

  /// Empties the document, then reads one JSON object from the start of `text`, as
  /// Object::parse does (the same lenient grammar, a key given twice keeps its last value,
  /// what follows the closing brace is ignored). Ends the views of the content before.
  /// @return false, with the document empty, when no whole object could be read (as
  ///         Object::parse), or when the text is 4 GiB or longer or has more than 16,777,215
  ///         distinct keys (limits of the compact form).
  bool parse(const std::string& text);
  /// Same as parse(const std::string&), on `length` bytes at `text` (which need no terminator).
  bool parse(const char* text, size_t length);

  /// The object read: an OBJECT_ view; INVALID_ while the document is empty.
  View root() const;
  /// True when nothing was read (or the last parse failed).
  bool empty() const;
  /// Releases the content; the document is empty and its views end.
  void clear() noexcept;

 private:
  std::unique_ptr<detail::DocumentData> data_;
};

}  // namespace jsonxx
