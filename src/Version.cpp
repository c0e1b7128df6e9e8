#include "isilon/Version.h"

// The loaded library's own version, from the same project version as the installed header.
extern "C" ISILON_API const char* IsilonClientVersion() { return ISILONCLIENT_VERSION; }
