#pragma once
// The library's own registry lookups in the [NAS] section.
#include <string>

// True when `key` was found in section "NAS"; `value` holds it then.
bool GetRegStr(const char* key, std::string& value);
// True only when the value of `key` begins with "y" or "Y".
bool GetRegYes(const char* key);

namespace isilon {
// An integer from section "NAS", or `fallback` when absent or not above zero.
int GetNasInt(const char* key, int fallback);
// An integer from section "~Tarvex", or `fallback` when absent or not above zero.
int GetTarvexInt(const char* key, int fallback);
}  // namespace isilon
