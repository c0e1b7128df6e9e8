#include "sim/smb/SmbModule.h"

#include <strings.h>

#include <algorithm>
#include <utility>

#include <CLI/CLI.hpp>

#include "sim/core/Paging.h"
#include "sim/core/Router.h"

namespace isim {

namespace {

using nlohmann::json;

const char kSharesPath[] = "/platform/1/protocols/smb/shares";

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }
bool NameBefore(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

// Accounts the cluster knows by name: what a persona given by name alone resolves to.
struct Persona {
  const char* name;
  const char* id;
  const char* type;
};
const Persona kDirectory[] = {
    {"Everyone", "SID:S-1-1-0", "wellknown"},
    {"root", "UID:0", "user"},
    {"admin", "UID:10", "user"},
    {"nobody", "UID:65534", "user"},
    {"Administrators", "SID:S-1-5-32-544", "group"},
    {"Users", "SID:S-1-5-32-545", "group"},
};

Response BadRequest(const std::string& message) { return errorReply(400, "AEC_BAD_REQUEST", message); }

// Reads an optional string member; false (with `error`) when present with another kind.
bool OptionalString(const json& object, const char* key, std::string& out, std::string& error) {
  out.clear();
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if (!it->is_string()) {
    error = std::string("Field: ") + key + " must be a string";
    return false;
  }
  out = it->get<std::string>();
  return true;
}

// A persona as sent ({id}, {name} or both; empty texts count as absent), resolved to the form
// the cluster reports: id always, name and type when known.
bool ResolvePersona(const json& in, json& out, std::string& error) {
  if (!in.is_object()) {
    error = "A persona must be an object";
    return false;
  }
  std::string id, name, type;
  if (!OptionalString(in, "id", id, error) || !OptionalString(in, "name", name, error) ||
      !OptionalString(in, "type", type, error)) {
    return false;
  }
  if (id.empty() && name.empty()) {
    error = "A persona needs an id or a name";
    return false;
  }
  if (id.empty()) {
    for (const Persona& p : kDirectory) {
      if (SameName(name, p.name)) {
        id = p.id;
        name = p.name;
        if (type.empty()) type = p.type;
      }
    }
    if (id.empty()) {
      error = "Unable to resolve persona name '" + name + "'";
      return false;
    }
  } else {
    if (id.compare(0, 4, "SID:") != 0 && id.compare(0, 4, "UID:") != 0 && id.compare(0, 4, "GID:") != 0) {
      error = "Invalid persona id '" + id + "'";
      return false;
    }
    for (const Persona& p : kDirectory) {
      if (id == p.id) {
        if (name.empty()) name = p.name;
        if (type.empty()) type = p.type;
      }
    }
  }
  out = json::object();
  out["id"] = id;
  if (!name.empty()) out["name"] = name;
  if (!type.empty()) out["type"] = type;
  return true;
}

bool ReadRunAsRoot(const json& in, json& out, std::string& error) {
  if (!in.is_array()) {
    error = "Field: run_as_root must be an array";
    return false;
  }
  out = json::array();
  for (const json& entry : in) {
    json persona;
    if (!ResolvePersona(entry, persona, error)) return false;
    out.push_back(std::move(persona));
  }
  return true;
}

bool ReadPermissions(const json& in, json& out, std::string& error) {
  if (!in.is_array()) {
    error = "Field: permissions must be an array";
    return false;
  }
  out = json::array();
  for (const json& entry : in) {
    if (!entry.is_object()) {
      error = "A permission entry must be an object";
      return false;
    }
    std::string permission, type;
    if (!OptionalString(entry, "permission", permission, error) ||
        !OptionalString(entry, "permission_type", type, error)) {
      return false;
    }
    if (permission != "full" && permission != "change" && permission != "read") {
      error = "Field: permission must be one of full, change, read; got '" + permission + "'";
      return false;
    }
    if (type != "allow" && type != "deny") {
      error = "Field: permission_type must be allow or deny; got '" + type + "'";
      return false;
    }
    auto trustee = entry.find("trustee");
    json persona;
    if (trustee == entry.end()) {
      error = "Field: trustee is required";
      return false;
    }
    if (!ResolvePersona(*trustee, persona, error)) return false;
    out.push_back({{"permission", permission}, {"permission_type", type}, {"trustee", std::move(persona)}});
  }
  return true;
}

// Share names follow the rules of SMB clients: no control characters and none of "/\[]:|<>+=;,*?.
bool ValidShareName(const std::string& name, std::string& error) {
  if (name.empty() || name.size() > 80) {
    error = "Share name must be 1 to 80 characters";
    return false;
  }
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || std::string("\"/\\[]:|<>+=;,*?").find(static_cast<char>(c)) != std::string::npos) {
      error = "Share name '" + name + "' contains invalid characters";
      return false;
    }
  }
  return true;
}

bool WithinZone(const std::string& path, const std::string& zonePath) {
  if (path == zonePath) return true;
  if (zonePath == "/") return !path.empty() && path[0] == '/';
  return path.size() > zonePath.size() && path.compare(0, zonePath.size(), zonePath) == 0 &&
         path[zonePath.size()] == '/';
}

json ShareJson(const SmbModule::Share& share, uint32_t zid) {
  return {{"id", share.name},
          {"name", share.name},
          {"path", share.path},
          {"description", share.description},
          {"zid", zid},
          {"permissions", share.permissions},
          {"run_as_root", share.runAsRoot}};
}

Response ZoneNotFound(const std::string& zone) {
  return errorReply(404, "AEC_NOT_FOUND", "Zone '" + zone + "' not found");
}
Response ShareNotFound(const std::string& name) {
  return errorReply(404, "AEC_NOT_FOUND", "SMB share '" + name + "' not found");
}

}  // namespace

SmbModule::SmbModule() { addZone("System", "/ifs", 1); }

SmbModule::ZoneState* SmbModule::findZoneLocked(const std::string& name) {
  for (ZoneState& z : zones_)
    if (SameName(z.zone.name, name)) return &z;
  return nullptr;
}

const SmbModule::ZoneState* SmbModule::findZoneLocked(const std::string& name) const {
  for (const ZoneState& z : zones_)
    if (SameName(z.zone.name, name)) return &z;
  return nullptr;
}

bool SmbModule::addZone(const std::string& name, const std::string& path, uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (name.empty() || findZoneLocked(name) != nullptr) return false;
  if (id == 0) {
    for (const ZoneState& z : zones_) id = std::max(id, z.zone.id);
    ++id;
  }
  ZoneState state;
  state.zone.name = name;
  state.zone.path = path;
  state.zone.id = id;
  state.zone.system = zones_.empty();
  zones_.push_back(std::move(state));
  return true;
}

bool SmbModule::addShare(const std::string& zone, const Share& share) {
  std::lock_guard<std::mutex> lock(mutex_);
  ZoneState* z = findZoneLocked(zone);
  if (z == nullptr) return false;
  for (const Share& s : z->shares)
    if (SameName(s.name, share.name)) return false;
  auto at = std::upper_bound(z->shares.begin(), z->shares.end(), share,
                             [](const Share& a, const Share& b) { return NameBefore(a.name, b.name); });
  z->shares.insert(at, share);
  return true;
}

std::vector<SmbModule::Zone> SmbModule::zones() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Zone> out;
  for (const ZoneState& z : zones_) out.push_back(z.zone);
  return out;
}

std::vector<SmbModule::Share> SmbModule::shares(const std::string& zone) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const ZoneState* z = findZoneLocked(zone);
  return z == nullptr ? std::vector<Share>() : z->shares;
}

bool SmbModule::findShare(const std::string& zone, const std::string& name, Share& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const ZoneState* z = findZoneLocked(zone);
  if (z == nullptr) return false;
  for (const Share& s : z->shares) {
    if (SameName(s.name, name)) {
      out = s;
      return true;
    }
  }
  return false;
}

void SmbModule::addOptions(CLI::App& app) {
  app.add_option("--smb-zone", zoneOptions_, "Extra access zone NAME:PATH, repeatable");
}

void SmbModule::onStart() {
  for (const std::string& option : zoneOptions_) {
    const size_t colon = option.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    addZone(option.substr(0, colon), option.substr(colon + 1));
  }
}

void SmbModule::seedDemo() {
  // Ids out of creation order, as a cluster whose zones were removed and re-created has them.
  addZone("eng", "/ifs/eng", 3);
  addZone("finance", "/ifs/finance", 2);
  const json everyoneRead =
      json::array({{{"permission", "read"},
                    {"permission_type", "allow"},
                    {"trustee", {{"id", "SID:S-1-1-0"}, {"name", "Everyone"}, {"type", "wellknown"}}}}});
  const json everyone = json::array({{{"id", "SID:S-1-1-0"}, {"name", "Everyone"}, {"type", "wellknown"}}});
  addShare("System", {"data", "/ifs/data", "Department data", everyoneRead, everyone});
  addShare("System", {"projects", "/ifs/data/projects", "Project files", everyoneRead, json::array()});
  addShare("eng", {"builds", "/ifs/eng/builds", "Nightly builds", everyoneRead, json::array()});
  addShare("finance", {"ledger", "/ifs/finance/ledger", "", json::array(), json::array()});
}

void SmbModule::registerRoutes(Router& router) {
  router.get("/platform/3/zones", [this](const Request&) {
    json list = json::array();
    for (const Zone& z : zones()) {
      list.push_back({{"id", z.name}, {"name", z.name}, {"path", z.path}, {"zone_id", z.id}, {"system", z.system}});
    }
    return Response::json({{"zones", list}});
  });

  router.get(kSharesPath, [this](const Request& request) {
    static const Pager pager("smb/shares", 1000);
    PageCursor cursor;
    Response error;
    if (!pager.begin(request, cursor, error)) return error;
    const std::string zoneName = cursor.param("zone", "System");
    std::vector<Share> all;
    uint32_t zid = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const ZoneState* z = findZoneLocked(zoneName);
      if (z == nullptr) return ZoneNotFound(zoneName);
      all = z->shares;
      zid = z->zone.id;
    }
    const Page page = pager.page(all.size(), cursor, request);
    json list = json::array();
    for (const Share& s : page.slice(all)) list.push_back(ShareJson(s, zid));
    return Response::json({{"shares", list}, {"resume", page.resumeJson()}, {"total", page.total}});
  });

  router.get(std::string(kSharesPath) + "/([^/]+)", [this](const Request& request) {
    const std::string zoneName = request.param("zone", "System");
    std::lock_guard<std::mutex> lock(mutex_);
    const ZoneState* z = findZoneLocked(zoneName);
    if (z == nullptr) return ZoneNotFound(zoneName);
    for (const Share& s : z->shares) {
      if (SameName(s.name, request.captures[0]))
        return Response::json({{"shares", json::array({ShareJson(s, z->zone.id)})}});
    }
    return ShareNotFound(request.captures[0]);
  });

  router.post(kSharesPath, [this](const Request& request) {
    json body;
    if (!request.jsonBody(body) || !body.is_object()) return BadRequest("Request body is not a valid JSON object");
    std::string error, zoneName, path;
    Share share;
    if (!OptionalString(body, "name", share.name, error) || !OptionalString(body, "path", path, error) ||
        !OptionalString(body, "description", share.description, error) ||
        !OptionalString(body, "zone", zoneName, error)) {
      return BadRequest(error);
    }
    if (!ValidShareName(share.name, error)) return BadRequest(error);
    if (path.empty() || path[0] != '/') return BadRequest("Field: path must be an absolute path");
    share.path = path;
    if (body.contains("permissions") && !ReadPermissions(body["permissions"], share.permissions, error)) {
      return BadRequest(error);
    }
    if (body.contains("run_as_root") && !ReadRunAsRoot(body["run_as_root"], share.runAsRoot, error)) {
      return BadRequest(error);
    }
    zoneName = request.param("zone", zoneName.empty() ? "System" : zoneName);

    std::lock_guard<std::mutex> lock(mutex_);
    ZoneState* z = findZoneLocked(zoneName);
    if (z == nullptr) return ZoneNotFound(zoneName);
    if (!WithinZone(share.path, z->zone.path)) {
      return BadRequest("Path '" + share.path + "' is not within zone '" + z->zone.name + "' base path '" +
                        z->zone.path + "'");
    }
    for (const Share& s : z->shares) {
      if (SameName(s.name, share.name)) {
        return errorReply(409, "AEC_CONFLICT",
                          "Share name '" + share.name + "' already exists in zone '" + z->zone.name + "'");
      }
    }
    auto at = std::upper_bound(z->shares.begin(), z->shares.end(), share,
                               [](const Share& a, const Share& b) { return NameBefore(a.name, b.name); });
    z->shares.insert(at, share);
    return Response::json({{"id", share.name}}, 201);
  });

  router.del(std::string(kSharesPath) + "/([^/]+)", [this](const Request& request) {
    const std::string zoneName = request.param("zone", "System");
    std::lock_guard<std::mutex> lock(mutex_);
    ZoneState* z = findZoneLocked(zoneName);
    if (z == nullptr) return ZoneNotFound(zoneName);
    for (auto it = z->shares.begin(); it != z->shares.end(); ++it) {
      if (SameName(it->name, request.captures[0])) {
        z->shares.erase(it);
        return Response::empty(204);
      }
    }
    return ShareNotFound(request.captures[0]);
  });

  router.put("/platform/[13]/protocols/smb/shares/([^/]+)", [this](const Request& request) {
    json body;
    if (!request.jsonBody(body) || !body.is_object()) return BadRequest("Request body is not a valid JSON object");
    std::string error, description, path;
    json permissions, runAsRoot;
    const bool setPermissions = body.contains("permissions");
    const bool setRunAsRoot = body.contains("run_as_root");
    const bool setDescription = body.contains("description");
    if ((setPermissions && !ReadPermissions(body["permissions"], permissions, error)) ||
        (setRunAsRoot && !ReadRunAsRoot(body["run_as_root"], runAsRoot, error)) ||
        !OptionalString(body, "description", description, error) || !OptionalString(body, "path", path, error)) {
      return BadRequest(error);
    }
    const std::string zoneName = request.param("zone", "System");
    std::lock_guard<std::mutex> lock(mutex_);
    ZoneState* z = findZoneLocked(zoneName);
    if (z == nullptr) return ZoneNotFound(zoneName);
    for (Share& s : z->shares) {
      if (!SameName(s.name, request.captures[0])) continue;
      if (!path.empty() && !WithinZone(path, z->zone.path)) {
        return BadRequest("Path '" + path + "' is not within zone '" + z->zone.name + "' base path '" + z->zone.path +
                          "'");
      }
      if (setPermissions) s.permissions = std::move(permissions);
      if (setRunAsRoot) s.runAsRoot = std::move(runAsRoot);
      if (setDescription) s.description = description;
      if (!path.empty()) s.path = path;
      return Response::empty(204);
    }
    return ShareNotFound(request.captures[0]);
  });
}

}  // namespace isim

ISIM_REGISTER_MODULE(isim::SmbModule)
