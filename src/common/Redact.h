#pragma once
// Keeps session secrets out of logs and traces.
#include <string>

namespace isilon {
// Replaces the values of the isisessid and isicsrf cookies, of an X-CSRF-Token header and of a
// JSON "password" member with "<redacted>". Text without secrets is returned unchanged.
std::string RedactSecrets(const std::string& text);
}  // namespace isilon
