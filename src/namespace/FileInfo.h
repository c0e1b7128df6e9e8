#pragma once
#include "isilon/requests/Namespace.h"

namespace isilon {
// Writes one entry to the debug log at level 3 under `function`.
void DebugFileInfo(const char* function, const _IsilonFileInfo& info);
}  // namespace isilon
