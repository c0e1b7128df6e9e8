#pragma once
// Compact JSON rewritten in the cluster's own layout, for the benchmarks that compare the
// two: an object is "{\n" + members joined ",\n" + "\n}", a member `"key" : value` with a
// line break after " : " when the value is an object or array, and an array "[\n" + each
// element after a line break, joined ",\n", + "\n]" (as in `[\n\n{...},\n\n{...}\n]`).
// Empty containers stay "{}" and "[]". The input must be compact (no white space outside
// strings), as the simulator's compact replies are.
#include <cstddef>
#include <string>

namespace spaced {

namespace detail {

// Copies the string at `at` (an opening quote) to `out`; returns the position after it.
inline size_t CopyString(const std::string& in, size_t at, std::string& out) {
  size_t end = at + 1;
  while (end < in.size() && in[end] != '"') end += in[end] == '\\' ? 2 : 1;
  out.append(in, at, end + 1 - at);
  return end + 1;
}

inline size_t Value(const std::string& in, size_t at, std::string& out) {
  if (at >= in.size()) return at;
  const char open = in[at];
  if (open == '"') return CopyString(in, at, out);
  if (open != '{' && open != '[') {
    size_t end = at;
    while (end < in.size() && in[end] != ',' && in[end] != '}' && in[end] != ']') ++end;
    out.append(in, at, end - at);
    return end;
  }
  const char close = open == '{' ? '}' : ']';
  if (at + 1 < in.size() && in[at + 1] == close) {
    out += open;
    out += close;
    return at + 2;
  }
  out += open;
  out += '\n';
  size_t p = at + 1;
  for (bool first = true; p < in.size() && in[p] != close; first = false) {
    if (!first) {
      ++p;  // the ','
      out += ",\n";
    }
    if (open == '{') {
      p = CopyString(in, p, out);
      ++p;  // the ':'
      out += " : ";
      if (p < in.size() && (in[p] == '{' || in[p] == '[')) out += '\n';
    } else {
      out += '\n';
    }
    p = Value(in, p, out);
  }
  out += '\n';
  out += close;
  return p + 1;
}

}  // namespace detail

inline std::string Spaced(const std::string& compact) {
  std::string out;
  out.reserve(compact.size() * 5 / 4);
  detail::Value(compact, 0, out);
  return out;
}

}  // namespace spaced
