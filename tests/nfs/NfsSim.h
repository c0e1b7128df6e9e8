#pragma once
// The session fixture with the simulator's NFS module at hand, and one-line forms of exports.
#include <boost/algorithm/string/join.hpp>
#include <string>
#include <vector>

#include "sim/nfs/NfsModule.h"
#include "tests/support/ModuleSession.h"

// "id paths clients ro:... rw:... root:... sec:..." and the flags that are set.
inline std::string Text(unsigned int id, const std::vector<std::vector<std::string>>& lists, bool readOnly,
                        bool allDirs) {
  std::string out = std::to_string(id);
  const char* labels[] = {" ", " ", " ro:", " rw:", " root:", " sec:"};
  for (size_t i = 0; i < lists.size(); ++i) out += labels[i] + boost::algorithm::join(lists[i], ",");
  return out + (readOnly ? " read_only" : "") + (allDirs ? " all_dirs" : "");
}
inline std::string Text(const _IsilonNFSExportInfo& e) {
  return Text(e.nId,
              {e.vPaths, e.vClients, e.vReadOnlyClients, e.vReadWriteClients, e.vRootClients, e.vSecurityFlavors},
              e.bReadOnly, e.bAllDirs);
}
inline std::string Text(const isim::nfs::Export& e) {
  return Text(e.id, {e.paths, e.clients, e.readOnlyClients, e.readWriteClients, e.rootClients, e.securityFlavors},
              e.readOnly, e.allDirs);
}

class NfsSimTest : public ModuleSession {
 protected:
  using ModuleSession::ModuleSession;

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
