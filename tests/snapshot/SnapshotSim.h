#pragma once
// The session fixture with the simulator's snapshot module and its /ifs tree at hand.
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
  std::vector<isim::LoggedRequest> Requests(const std::string& method, const std::string& prefix) {
    return Sent(method, prefix);
  }
};
