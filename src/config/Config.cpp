#include "src/config/Config.h"

#include <string>

#include "host/PlatformInfo.h"
#include "isilon/ManageIsilon.h"

bool GetRegStr(const char* key, std::string& value) { return QuorPlatformInfo::getString("NAS", key, &value) != 0; }

bool GetRegYes(const char* key) {
  std::string value;
  GetRegStr(key, value);
  return !value.empty() && (value[0] == 'y' || value[0] == 'Y');
}

bool MIGetRegInt(const char* instance, const char* key, int* value) {
  std::string section = "~Tarvex";
  if (instance != nullptr) {
    section += "/";
    section += instance;
  }
  return QuorPlatformInfo::getRegInt(section, key, value);
}

bool MIGetRegStr(const char* instance, const char* key, char* buffer, int size) {
  const std::string section = QuorPlatformInfo::getSectionName("Tarvex", instance);
  return QuorPlatformInfo::getString(section, key, buffer, &size) != 0;
}
