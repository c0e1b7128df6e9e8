#pragma once
// The layout of the simulator's replies a walk benchmark asks for: `--layout=spaced` (the
// cluster's own, multi-line) or `--layout=compact`. A simulator that knows both has
// Config::compact; one without it writes compact replies only, and asking it for spaced
// ones is refused, so that a figure always says which layout it was measured on.
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

namespace layout {

template <typename C, typename = void>
struct HasCompact : std::false_type {};
template <typename C>
struct HasCompact<C, decltype(void(std::declval<C&>().compact = true))> : std::true_type {};

template <typename C>
bool Select(C& config, bool compact, std::true_type) {
  config.compact = compact;
  return true;
}
template <typename C>
bool Select(C&, bool compact, std::false_type) {
  return compact;
}

// Sets `config` to write the layout named by `name` ("spaced" or "compact"); false when the
// name is neither or the simulator cannot write that layout.
template <typename C>
bool Select(C& config, const std::string& name) {
  if (name != "spaced" && name != "compact") return false;
  return Select(config, name == "compact", HasCompact<C>());
}

// True when `body` is laid out as `name` says: spaced replies break lines, compact ones never
// hold white space outside strings (a page's strings hold no line break).
inline bool Matches(const std::string& body, const std::string& name) {
  return (body.find('\n') != std::string::npos) == (name == "spaced");
}

}  // namespace layout
