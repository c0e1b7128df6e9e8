#pragma once
// The session fixture with the simulator's snapshot module and its /ifs tree at hand.
#include <sstream>
#include <string>
#include <vector>

#include "sim/namespace/Tree.h"
#include "sim/snapshot/SnapshotModule.h"
#include "tests/support/SimSessionFixture.h"

class SnapshotSim : public SimSessionFixture {
 protected:
  using SimSessionFixture::SimSessionFixture;

  isim::SnapshotModule& snaps() { return module<isim::SnapshotModule>(); }
  isim::ns::Tree& ifs() { return snaps().tree(); }
};

// Every field of a record on one line, to compare whole records.
inline std::string Fields(const _IsilonSnapInfo& s) {
  std::ostringstream out;
  out << s.strName << '|' << s.nId << '|' << s.strPath << '|' << s.strState << '|' << s.nSize << '|' << s.nCreated
      << '|' << s.bHasLocks << '|' << s.nExpires << '|' << s.nAliasTargetId << '|' << s.strAliasTargetName;
  return out.str();
}
inline std::string Fields(const _IsilonChangeListItem& i) {
  std::ostringstream out;
  out << i.strId << '|' << i.strPath << '|' << i.strType << '|' << i.nSize << '|' << i.nAtime << '|' << i.nCtime << '|'
      << i.nMtime;
  return out.str();
}
