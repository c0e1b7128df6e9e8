#pragma once
// SMB shares per access zone, and the access zones themselves.
//
//   GET    /platform/3/zones                                the zones, with ids (System is 1)
//   POST   /platform/1/protocols/smb/shares[?zone=Z]        create; 409 AEC_CONFLICT when the name is taken
//   GET    /platform/1/protocols/smb/shares[?zone=Z&limit=N] list, paged with "resume"
//   GET    /platform/1/protocols/smb/shares/NAME[?zone=Z]   one share, as a list of one
//   DELETE /platform/1/protocols/smb/shares/NAME[?zone=Z]   delete; 404 AEC_NOT_FOUND when missing
//   PUT    /platform/{1,3}/protocols/smb/shares/NAME[?zone=Z] replace permissions / run-as-root users
//
// Without ?zone= a request acts on the System zone. Share names compare without regard to
// case, as SMB clients see them. Persona names without an id ("Everyone", "root", ...) are
// resolved from a small built-in directory; unknown names are refused like the cluster does.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Module.h"

namespace isim {

class SmbModule : public Module {
 public:
  struct Zone {
    std::string name;
    std::string path;
    uint32_t id = 0;
    bool system = false;
  };
  struct Share {
    std::string name;
    std::string path;
    std::string description;
    nlohmann::json permissions = nlohmann::json::array();  // [{permission, permission_type, trustee}]
    nlohmann::json runAsRoot = nlohmann::json::array();    // [{id, name, type}]
  };

  SmbModule();

  const char* name() const override { return "smb"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;
  void onStart() override;
  void seedDemo() override;

  // For tests and seeding. addZone returns false when the name is taken; `id` 0 takes the next
  // free one. addShare returns false for an unknown zone or a taken name.
  bool addZone(const std::string& name, const std::string& path, uint32_t id = 0);
  bool addShare(const std::string& zone, const Share& share);
  // Copies of the current state; the zone's shares in creation order.
  std::vector<Zone> zones() const;
  std::vector<Share> shares(const std::string& zone) const;
  bool findShare(const std::string& zone, const std::string& name, Share& out) const;

 private:
  struct ZoneState {
    Zone zone;
    std::vector<Share> shares;
  };
  ZoneState* findZoneLocked(const std::string& name);
  const ZoneState* findZoneLocked(const std::string& name) const;

  mutable std::mutex mutex_;
  std::vector<ZoneState> zones_;          // in creation order
  std::vector<std::string> zoneOptions_;  // --smb-zone NAME:PATH
};

}  // namespace isim
