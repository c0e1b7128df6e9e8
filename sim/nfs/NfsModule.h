#pragma once
// NFS exports of the simulated cluster: numeric ids, one zone each, listing with resume
// paging (optionally per zone), create with conflict checks, delete by id.
//
//   GET    /platform/1/protocols/nfs/exports[?zone=Z][&limit=N] | ?resume=T   ->
//   {"exports":[...],"resume":...,"total":N} GET    /platform/1/protocols/nfs/exports/ID[?zone=Z] -> {"exports":[one]}
//   POST   /platform/1/protocols/nfs/exports[?force=true][&zone=Z]  body       -> 201 {"id":N}
//   DELETE /platform/1/protocols/nfs/exports/ID[?zone=Z]                       -> 204
//
// A create whose paths are exactly those of an export of the same zone is refused with
// AEC_CONFLICT; one that shares only some paths with another export needs ?force=true.
// A missing id gives AEC_NOT_FOUND. Zone "System" is the default of listings and creates; an id
// names its export in any zone unless ?zone= says which.
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Module.h"

namespace isim {
namespace nfs {

struct Export {
  uint32_t id = 0;
  std::vector<std::string> paths;
  std::vector<std::string> clients;
  std::vector<std::string> readOnlyClients;
  std::vector<std::string> readWriteClients;
  std::vector<std::string> rootClients;
  std::vector<std::string> securityFlavors;
  bool readOnly = false;
  bool allDirs = false;
  std::string description;
  std::string zone = "System";

  nlohmann::json toJson() const;
};

class NfsModule : public Module {
 public:
  static const char* const kDefaultZone;  // "System"

  const char* name() const override { return "nfs"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;
  void seedDemo() override;

  // For tests and the demo; every member is thread-safe.
  // Stores `item` as it is (no checks) under a new id, which is returned.
  uint32_t add(Export item);
  bool find(uint32_t id, Export& out) const;
  // Every export of every zone, by id.
  std::vector<Export> exports() const;
  void clear();
  // Exports per page when a listing names no limit.
  void setPageSize(size_t size);

 private:
  mutable std::mutex mutex_;
  std::map<uint32_t, Export> exports_;
  uint32_t nextId_ = 1;
  size_t pageSize_ = 1000;
};

}  // namespace nfs
}  // namespace isim
