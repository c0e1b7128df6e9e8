#pragma once
// Snapshots, change lists and the change-list job type.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Records and request classes are defined here as this subsystem is built.
struct _IsilonSnapInfo;
struct _IsilonChangeListCreateJobInfo;
struct _IsilonChangeListItem;
struct _IsilonChangeListInfo;
struct _ChangeListCreateJobInfo;
