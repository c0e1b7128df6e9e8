#pragma once
// The session fixture with the simulator's snapshot module and its /ifs tree at hand.
#include <string>

#include "sim/namespace/Tree.h"
#include "sim/snapshot/SnapshotModule.h"
#include "tests/support/ModuleSession.h"

class SnapshotSim : public ModuleSession {
 protected:
  using ModuleSession::ModuleSession;

  isim::SnapshotModule& snaps() { return module<isim::SnapshotModule>(); }
  isim::ns::Tree& ifs() { return snaps().tree(); }
};

// Every field of a record on one line, to compare whole records.
inline std::string Fields(const _IsilonSnapInfo& s) {
  return Pipe(s.strName, s.nId, s.strPath, s.strState, s.nSize, s.nCreated, s.bHasLocks, s.nExpires, s.nAliasTargetId,
              s.strAliasTargetName);
}
inline std::string Fields(const _IsilonChangeListItem& i) {
  return Pipe(i.strId, i.strPath, i.strType, i.nSize, i.nAtime, i.nCtime, i.nMtime);
}
