#pragma once
// NFS exports.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Records and request classes are defined here as this subsystem is built.
struct _IsilonNFSPermissions;
struct _IsilonNFSExportInfo;
