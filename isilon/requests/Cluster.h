#pragma once
// Cluster information.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Records and request classes are defined here as this subsystem is built.
struct _IsilonVersionInfo;
