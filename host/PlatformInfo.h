#pragma once
/// @file
/// The host's configuration registry.
#include <string>

#include "host/Export.h"

/// The host's configuration registry: an INI file named by ISILON_REGISTRY, read afresh on
/// every lookup. No file (or no variable) means every key is absent. Sections are written
/// [NAS], [~Tarvex], [~Tarvex/INSTANCE]; lines `key = value`. Safe from any thread.
class ISILON_API QuorPlatformInfo {
 public:
  /// Looks `key` up in `section`. Non-zero when found; `value` is set only then.
  static int getString(const std::string& section, const std::string& key, std::string* value);
  /// Non-zero when found and it fits: copies a zero-terminated text into `buffer` of `*size`
  /// bytes and sets `*size` to its length. A value that does not fit gives 0 and sets `*size`
  /// to the length needed (without the terminator).
  static int getString(const std::string& section, const std::string& key, char* buffer, int* size);
  /// True when found and the whole value is a decimal integer that fits an int; `*value` is
  /// set only then.
  static bool getRegInt(const std::string& section, const std::string& key, int* value);
  /// "~" + base, and "/" + instance when an instance is given (null or empty: none).
  static std::string getSectionName(const std::string& base, const char* instance);
};
