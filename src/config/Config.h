#pragma once
// The registry lookups of section [NAS] by name; every key the library uses is read through
// isilon::Settings (src/config/Settings.h).
#include <string>

// True when `key` was found in section "NAS"; `value` holds it then.
bool GetRegStr(const char* key, std::string& value);
// True only when the value of `key` begins with "y" or "Y".
bool GetRegYes(const char* key);
