#include "host/Export.h"

// Lets a host check which library it loaded.
extern "C" ISILON_API const char* IsilonClientVersion() { return "1.0.0"; }
