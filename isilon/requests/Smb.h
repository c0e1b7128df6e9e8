#pragma once
// SMB shares, access zones and share ACLs.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Records and request classes are defined here as this subsystem is built.
struct _IsilonShareInfo;
struct _IsilonSMBACLs;
struct _IsilonSMBPermissions;
struct _IsilonSMBUser;
struct _IsilonAccessZoneInfo;
