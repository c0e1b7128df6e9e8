#include "sim/nfs/NfsModule.h"

#include <algorithm>
#include <set>
#include <utility>

#include <CLI/CLI.hpp>

#include "sim/core/Http.h"
#include "sim/core/Paging.h"
#include "sim/core/Router.h"
#include "sim/namespace/Tree.h"

namespace isim {
namespace nfs {

const char* const NfsModule::kDefaultZone = "System";

namespace {

const char kExports[] = "/platform/1/protocols/nfs/exports";
const char kOneExport[] = "/platform/1/protocols/nfs/exports/([^/]+)";

Response badRequest(const std::string& message) { return errorReply(400, "AEC_BAD_REQUEST", message); }

Response notFound(const std::string& rawId) {
  return errorReply(404, "AEC_NOT_FOUND", "Export " + rawId + " not found");
}

// Ids are decimal numbers from 1 to 2^32-1; anything else names no export.
bool parseId(const std::string& text, uint32_t& id) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value == 0 || value > UINT32_MAX) return false;
  id = static_cast<uint32_t>(value);
  return true;
}

// The zone a request names: ?zone=, else the default. False for an empty or unusable name.
bool requestZone(const std::string& value, bool given, std::string& zone, Response& error) {
  if (!given) {
    zone = NfsModule::kDefaultZone;
    return true;
  }
  if (value.empty() || value.size() > 255 || value.find('/') != std::string::npos) {
    error = badRequest("Field: zone must be the name of an access zone");
    return false;
  }
  zone = value;
  return true;
}

bool readTexts(const nlohmann::json& body, const char* key, std::vector<std::string>& out, std::string& error) {
  auto it = body.find(key);
  if (it == body.end()) return true;
  if (!it->is_array()) {
    error = std::string("Field: ") + key + " must be an array of strings";
    return false;
  }
  for (const auto& item : *it) {
    if (!item.is_string() || item.get<std::string>().empty()) {
      error = std::string("Field: ") + key + " must hold non-empty strings";
      return false;
    }
    out.push_back(item.get<std::string>());
  }
  return true;
}

bool readFlag(const nlohmann::json& body, const char* key, bool& out, std::string& error) {
  auto it = body.find(key);
  if (it == body.end()) return true;
  if (!it->is_boolean()) {
    error = std::string("Field: ") + key + " must be a boolean";
    return false;
  }
  out = it->get<bool>();
  return true;
}

// The new export from a create body, checked the way the cluster checks it.
bool exportFromBody(const nlohmann::json& body, Export& out, std::string& error) {
  static const std::set<std::string> kFields = {
      "paths",     "clients",  "read_only_clients", "read_write_clients", "root_clients", "security_flavors",
      "read_only", "all_dirs", "description"};
  static const std::set<std::string> kFlavors = {"unix", "krb5", "krb5i", "krb5p"};
  if (!body.is_object()) {
    error = "The request body must be a JSON object";
    return false;
  }
  for (auto it = body.begin(); it != body.end(); ++it) {
    if (kFields.count(it.key()) == 0) {
      error = "Field: " + it.key() + " is not a valid field";
      return false;
    }
  }
  if (!body.contains("paths")) {
    error = "Field: paths is required";
    return false;
  }
  if (!readTexts(body, "paths", out.paths, error) || !readTexts(body, "clients", out.clients, error) ||
      !readTexts(body, "read_only_clients", out.readOnlyClients, error) ||
      !readTexts(body, "read_write_clients", out.readWriteClients, error) ||
      !readTexts(body, "root_clients", out.rootClients, error) ||
      !readTexts(body, "security_flavors", out.securityFlavors, error) ||
      !readFlag(body, "read_only", out.readOnly, error) || !readFlag(body, "all_dirs", out.allDirs, error)) {
    return false;
  }
  if (out.paths.empty()) {
    error = "Field: paths must name at least one path";
    return false;
  }
  for (const std::string& path : out.paths) {
    std::string normal;
    if (!ns::Tree::Normalise(path, normal)) {
      error = "Field: paths: '" + path + "' is not an absolute path under /ifs";
      return false;
    }
  }
  for (const std::string& flavor : out.securityFlavors) {
    if (kFlavors.count(flavor) == 0) {
      error = "Field: security_flavors: '" + flavor + "' is not a security flavor";
      return false;
    }
  }
  auto description = body.find("description");
  if (description != body.end()) {
    if (!description->is_string()) {
      error = "Field: description must be a string";
      return false;
    }
    out.description = description->get<std::string>();
  }
  return true;
}

std::set<std::string> normalisedPaths(const Export& item) {
  std::set<std::string> out;
  for (const std::string& path : item.paths) {
    std::string normal;
    out.insert(ns::Tree::Normalise(path, normal) ? normal : path);
  }
  return out;
}

}  // namespace

nlohmann::json Export::toJson() const {
  return {{"id", id},
          {"paths", paths},
          {"clients", clients},
          {"read_only_clients", readOnlyClients},
          {"read_write_clients", readWriteClients},
          {"root_clients", rootClients},
          {"security_flavors", securityFlavors},
          {"read_only", readOnly},
          {"all_dirs", allDirs},
          {"description", description},
          {"zone", zone}};
}

void NfsModule::addOptions(CLI::App& app) {
  app.add_option("--nfs-page-size", pageSize_, "NFS exports per listing page when a request names no limit")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
}

void NfsModule::setPageSize(size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  pageSize_ = size == 0 ? 1 : size;
}

uint32_t NfsModule::add(Export item) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Ids are not reused while the counter lasts; after a wrap the free ones are taken.
  while (nextId_ == 0 || exports_.count(nextId_) != 0) ++nextId_;
  item.id = nextId_++;
  const uint32_t id = item.id;
  exports_[id] = std::move(item);
  return id;
}

bool NfsModule::find(uint32_t id, Export& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = exports_.find(id);
  if (it == exports_.end()) return false;
  out = it->second;
  return true;
}

std::vector<Export> NfsModule::exports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Export> out;
  out.reserve(exports_.size());
  for (const auto& entry : exports_) out.push_back(entry.second);
  return out;
}

void NfsModule::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  exports_.clear();
}

void NfsModule::seedDemo() {
  Export projects;
  projects.paths = {"/ifs/data/projects"};
  projects.clients = {"10.20.0.0/16"};
  projects.readWriteClients = {"backup01.example.com"};
  projects.rootClients = {"backup01.example.com"};
  projects.securityFlavors = {"unix"};
  projects.allDirs = true;
  projects.description = "Project shares";
  add(projects);

  Export home;
  home.paths = {"/ifs/home"};
  home.readOnlyClients = {"10.20.0.0/16"};
  home.securityFlavors = {"krb5", "unix"};
  home.readOnly = true;
  home.description = "Home directories, read only";
  add(home);
}

void NfsModule::registerRoutes(Router& router) {
  router.get(kExports, [this](const Request& request) {
    size_t pageSize;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pageSize = pageSize_;
    }
    const Pager pager("nfs/exports", pageSize);
    PageCursor cursor;
    Response error;
    if (!pager.begin(request, cursor, error)) return error;
    std::string zone;
    if (!requestZone(cursor.param("zone"), cursor.hasParam("zone"), zone, error)) return error;

    std::vector<Export> inZone;
    for (const Export& item : exports())
      if (item.zone == zone) inZone.push_back(item);
    const Page page = pager.page(inZone.size(), cursor, request);
    nlohmann::json list = nlohmann::json::array();
    for (const Export& item : page.slice(inZone)) list.push_back(item.toJson());
    return Response::json({{"exports", list}, {"resume", page.resumeJson()}, {"total", inZone.size()}});
  });

  router.get(kOneExport, [this](const Request& request) {
    std::string zone;
    Response error;
    if (!requestZone(request.param("zone"), request.hasParam("zone"), zone, error)) return error;
    uint32_t id = 0;
    Export item;
    if (!parseId(request.captures[0], id) || !find(id, item) || (request.hasParam("zone") && item.zone != zone)) {
      return notFound(request.captures[0]);
    }
    return Response::json({{"exports", nlohmann::json::array({item.toJson()})}});
  });

  router.post(kExports, [this](const Request& request) {
    std::string zone;
    Response error;
    if (!requestZone(request.param("zone"), request.hasParam("zone"), zone, error)) return error;
    const std::string forceText = request.param("force", "false");
    if (forceText != "true" && forceText != "false") return badRequest("Field: force must be true or false");
    const bool force = forceText == "true";

    nlohmann::json body;
    if (!request.jsonBody(body)) return badRequest("The request body is not valid JSON");
    Export item;
    std::string message;
    if (!exportFromBody(body, item, message)) return badRequest(message);
    item.zone = zone;

    // The check and the insertion are one step, so two racing creates cannot both pass.
    std::lock_guard<std::mutex> lock(mutex_);
    const std::set<std::string> wanted = normalisedPaths(item);
    for (const auto& entry : exports_) {
      const Export& other = entry.second;
      if (other.zone != zone) continue;
      const std::set<std::string> taken = normalisedPaths(other);
      if (taken == wanted) {
        return errorReply(409, "AEC_CONFLICT",
                          "Export " + std::to_string(other.id) + " in zone " + zone + " already serves these paths");
      }
      if (force) continue;
      for (const std::string& path : wanted) {
        if (taken.count(path) != 0) {
          return errorReply(409, "AEC_CONFLICT",
                            "Export " + std::to_string(other.id) + " in zone " + zone + " already serves path '" +
                                path + "' (use force to export it again)");
        }
      }
    }
    while (nextId_ == 0 || exports_.count(nextId_) != 0) ++nextId_;
    item.id = nextId_++;
    const uint32_t id = item.id;
    exports_[id] = std::move(item);
    return Response::json({{"id", id}}, 201);
  });

  router.del(kOneExport, [this](const Request& request) {
    std::string zone;
    Response error;
    if (!requestZone(request.param("zone"), request.hasParam("zone"), zone, error)) return error;
    uint32_t id = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = parseId(request.captures[0], id) ? exports_.find(id) : exports_.end();
    if (it == exports_.end() || (request.hasParam("zone") && it->second.zone != zone)) {
      return notFound(request.captures[0]);
    }
    exports_.erase(it);
    return Response::empty();
  });
}

}  // namespace nfs
}  // namespace isim

ISIM_REGISTER_MODULE(isim::nfs::NfsModule)
