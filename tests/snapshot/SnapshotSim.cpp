#include "tests/snapshot/SnapshotSim.h"

SnapshotSim* SnapshotSim::current_ = nullptr;
