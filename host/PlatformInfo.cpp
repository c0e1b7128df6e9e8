#include "host/PlatformInfo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <boost/optional.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "host/DebugLog.h"

namespace {

namespace pt = boost::property_tree;

// Section names hold "~" and "/" and keys may hold ".", so lookups use a separator that
// cannot occur in either.
const char kNoSeparator = '\x1f';

// The registry is read afresh on every lookup, so a host's change takes effect at once.
bool Lookup(const std::string& section, const std::string& key, std::string& value) {
  const char* path = std::getenv("ISILON_REGISTRY");
  if (path == nullptr || *path == '\0') return false;
  pt::ptree tree;
  try {
    pt::read_ini(path, tree);
  } catch (const pt::ini_parser_error& error) {
    // A missing file means an empty registry; anything else is worth a warning.
    if (error.message() != "cannot open file") {
      EvDebug debug(nullptr);
      debug.DebugLvl("QuorPlatformInfo", -1, "Configuration registry [%s] cannot be read: %s", path, error.what());
    }
    return false;
  }
  boost::optional<pt::ptree&> node = tree.get_child_optional(pt::ptree::path_type(section, kNoSeparator));
  if (!node) return false;
  boost::optional<std::string> found = node->get_optional<std::string>(pt::ptree::path_type(key, kNoSeparator));
  if (!found) return false;
  value = *found;
  return true;
}

}  // namespace

int QuorPlatformInfo::getString(const std::string& section, const std::string& key, std::string* value) {
  std::string found;
  if (value == nullptr || !Lookup(section, key, found)) return 0;
  *value = found;
  return 1;
}

int QuorPlatformInfo::getString(const std::string& section, const std::string& key, char* buffer, int* size) {
  std::string found;
  if (buffer == nullptr || size == nullptr || *size <= 0 || !Lookup(section, key, found)) return 0;
  if (found.size() + 1 > static_cast<size_t>(*size)) {
    *size = static_cast<int>(found.size() < INT_MAX ? found.size() : INT_MAX);
    return 0;
  }
  std::memcpy(buffer, found.c_str(), found.size() + 1);
  *size = static_cast<int>(found.size());
  return 1;
}

bool QuorPlatformInfo::getRegInt(const std::string& section, const std::string& key, int* value) {
  std::string found;
  if (value == nullptr || !Lookup(section, key, found) || found.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long number = std::strtoll(found.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || end == found.c_str() || number < INT_MIN || number > INT_MAX) return false;
  *value = static_cast<int>(number);
  return true;
}

std::string QuorPlatformInfo::getSectionName(const std::string& base, const char* instance) {
  std::string section = "~" + base;
  if (instance != nullptr && *instance != '\0') {
    section += "/";
    section += instance;
  }
  return section;
}
