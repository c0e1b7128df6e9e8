#pragma once
// The session fixture with the simulator's NFS module at hand.
#include <string>
#include <vector>

#include "sim/nfs/NfsModule.h"
#include "tests/support/SimSessionFixture.h"

class NfsSimTest : public SimSessionFixture {
 protected:
  using SimSessionFixture::SimSessionFixture;

  isim::nfs::NfsModule& nfs() { return module<isim::nfs::NfsModule>(); }
  // Requests to the exports resource so far, as sent.
  std::vector<isim::LoggedRequest> ExportRequests(const std::string& method) {
    return Sent(method, "/platform/1/protocols/nfs/exports");
  }
  // An export for the simulator to hold, made without the library.
  static isim::nfs::Export Item(std::vector<std::string> paths, const std::string& zone = "System") {
    isim::nfs::Export item;
    item.paths = std::move(paths);
    item.zone = zone;
    return item;
  }
};
