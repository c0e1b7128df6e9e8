#include "sim/snapshot/SnapshotModule.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <unordered_map>

#include <CLI/CLI.hpp>

#include "sim/core/Paging.h"
#include "sim/core/Router.h"
#include "sim/core/Server.h"
#include "sim/namespace/NamespaceModule.h"

namespace isim {

using nlohmann::json;

namespace {

const char kJobType[] = "ChangelistCreate";

// One changed entry of a change list.
struct Change {
  uint64_t lin = 0;
  std::string path;
  bool directory = false;
  uint64_t size = 0;
  uint64_t mtime = 0;
  uint64_t snapId = 0;  // the snapshot the attributes come from
  std::vector<const char*> changes;
};

json Seconds(uint64_t sec) { return {{"sec", sec}, {"nsec", 0}}; }

json ChangeJson(const Change& c) {
  // The LIN, the snapshot and the kinds of change stay with the simulator: a cluster's entry
  // names only the object.
  return {{"id", std::to_string(c.lin)},
          {"path", c.path},
          {"type", c.directory ? "directory" : "regular"},
          {"size", c.size},
          {"atime", Seconds(c.mtime)},
          {"ctime", Seconds(c.mtime)},
          {"mtime", Seconds(c.mtime)}};
}

// Whole positive number that fits an int64, from a JSON value.
bool PositiveId(const json& value, uint64_t& out) {
  if (value.is_number_unsigned()) {
    out = value.get<uint64_t>();
  } else if (value.is_number_integer()) {
    const int64_t v = value.get<int64_t>();
    if (v < 0) return false;
    out = static_cast<uint64_t>(v);
  } else {
    return false;
  }
  return out > 0 && out <= static_cast<uint64_t>(INT64_MAX);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> SplitStates(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string piece;
  while (std::getline(in, piece, ',')) {
    if (!piece.empty()) out.push_back(piece);
  }
  return out;
}

}  // namespace

// Either computed entries or a generated list of a given length.
struct SnapshotModule::ChangeList {
  std::vector<Change> entries;
  size_t synthetic = 0;  // > 0: generated entries, none stored
  uint64_t newer = 0;

  size_t size() const { return synthetic > 0 ? synthetic : entries.size(); }
  json at(size_t i) const {
    if (synthetic == 0) return ChangeJson(entries[i]);
    Change c;
    c.lin = 0x100000000ULL + i;
    c.path = "/ifs/synthetic/d" + std::to_string(i / 1000) + "/f" + std::to_string(i);
    c.size = 4096 + i % 65536;
    c.mtime = 1704067200 + i;
    c.snapId = newer;
    c.changes = {"ENTRY_ADDED"};
    return ChangeJson(c);
  }
};

struct SnapshotModule::Snap {
  int64_t id = 0;
  std::string name;
  std::string path;
  uint64_t created = 0;
  uint64_t size = 0;
  bool locked = false;
  std::shared_ptr<const ns::Tree> frozen;

  // Unset members are null under Config::nulls, as a cluster may give them; empty otherwise.
  json toJson(bool nulls) const {
    const json none = nulls ? json(nullptr) : json("");
    const json noNumber = nulls ? json(nullptr) : json(0);
    return {{"id", id},
            {"name", name},
            {"path", path},
            {"created", created},
            {"expires", noNumber},
            {"has_locks", locked},
            {"size", size},
            {"state", "active"},
            {"alias", none},
            {"target_id", noNumber},
            {"target_name", none},
            {"schedule", none},
            {"shadow_bytes", 0},
            {"pct_filesystem", 0},
            {"pct_reserve", 0}};
  }
};

struct SnapshotModule::Job {
  uint64_t id = 0;
  uint64_t older = 0;
  uint64_t newer = 0;
  std::string state = "running";
  bool finished = false;
  size_t polls = 0;
  JobPlan plan;
  Clock::TimePoint started;
  uint64_t createTime = 0;
  uint64_t endTime = 0;
  std::shared_ptr<const ChangeList> result;

  std::string impactPolicy = "LOW";

  json toJson() const {
    // A job's impact follows its impact policy (LOW, MEDIUM, HIGH, OFF_HOURS, ...).
    std::string upper = impactPolicy;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string impact = "Medium";
    if (upper == "LOW") impact = "Low";
    if (upper == "HIGH") impact = "High";
    json j = {{"id", id},
              {"type", kJobType},
              {"state", state},
              {"policy", impactPolicy},
              {"impact", impact},
              {"priority", 1},
              {"control_state", finished ? state : "running"},
              {"create_time", createTime},
              {"start_time", createTime},
              {"current_phase", 1},
              {"total_phases", 1},
              {"retries_remaining", 0},
              {"description", "Create a list of changes between two snapshots"}};
    // A running job has no end time yet: the member is left out, as it cannot be null.
    if (finished) j["end_time"] = endTime;
    return j;
  }
};

SnapshotModule::SnapshotModule() = default;
SnapshotModule::~SnapshotModule() = default;

ns::Tree& SnapshotModule::tree() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tree_ == nullptr) {
    if (NamespaceModule* names = server().module<NamespaceModule>()) {
      tree_ = &names->tree();
    } else {
      ownTree_.reset(new ns::Tree());
      tree_ = ownTree_.get();
    }
  }
  return *tree_;
}

void SnapshotModule::onStart() { tree(); }

uint64_t SnapshotModule::nowSeconds() const {
  // The wall clock moved by however far a test advanced the server's clock.
  const auto offset = server().clock().now() - std::chrono::steady_clock::now();
  const long long ahead = std::chrono::duration_cast<std::chrono::seconds>(offset).count();
  return static_cast<uint64_t>(std::time(nullptr) + (ahead > 0 ? ahead : 0));
}

void SnapshotModule::setJobPlan(const JobPlan& plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  plan_ = plan;
}

SnapshotModule::JobPlan SnapshotModule::jobPlan() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plan_;
}

SnapshotModule::JobTypeSettings SnapshotModule::jobType() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobType_;
}

void SnapshotModule::setJobType(const JobTypeSettings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobType_ = settings;
}

bool SnapshotModule::setLocked(const std::string& idOrName, bool locked) {
  std::lock_guard<std::mutex> lock(mutex_);
  Snap* snap = const_cast<Snap*>(findLocked(idOrName));
  if (snap == nullptr) return false;
  snap->locked = locked;
  return true;
}

size_t SnapshotModule::snapshotCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return snaps_.size();
}

int64_t SnapshotModule::snapshotId(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : snaps_)
    if (s->name == name) return s->id;
  return 0;
}

void SnapshotModule::addSyntheticChangeList(uint64_t older, uint64_t newer, size_t count) {
  auto list = std::make_shared<ChangeList>();
  list->synthetic = count;
  list->newer = newer;
  std::lock_guard<std::mutex> lock(mutex_);
  changeLists_[std::to_string(older) + "_" + std::to_string(newer)] = std::move(list);
}

void SnapshotModule::addOptions(CLI::App& app) {
  app.add_option_function<std::string>(
         "--cl-job-states", [this](const std::string& text) { plan_.states = SplitStates(text); },
         "States a ChangelistCreate job reports, one per status request, before it ends (comma-separated, "
         "default: running,paused_priority)")
      ->group("Snapshots");
  app.add_option_function<std::string>(
         "--cl-job-outcome", [this](const std::string& text) { plan_.outcome = text; },
         "How a ChangelistCreate job ends: succeeded (default), failed, or never")
      ->group("Snapshots");
  app.add_option_function<double>(
         "--cl-job-seconds", [this](double seconds) { plan_.seconds = seconds < 0 ? 0 : seconds; },
         "Seconds a ChangelistCreate job runs at least")
      ->group("Snapshots");
  app.add_option_function<std::vector<std::string>>(
         "--cl-synthetic",
         [this](const std::vector<std::string>& specs) {
           for (const std::string& spec : specs) {
             unsigned long long older = 0, newer = 0, count = 0;
             char tail = 0;
             if (std::sscanf(spec.c_str(), "%llu_%llu:%llu%c", &older, &newer, &count, &tail) != 3) {
               throw CLI::ValidationError("--cl-synthetic", "expected OLDER_NEWER:COUNT, got " + spec);
             }
             addSyntheticChangeList(older, newer, static_cast<size_t>(count));
           }
         },
         "A ready change list OLDER_NEWER:COUNT of generated entries (for benchmarks)")
      ->group("Snapshots");
}

void SnapshotModule::registerRoutes(Router& router) {
  router.post("/platform/1/snapshot/snapshots/?", [this](const Request& r) { return createSnapshot(r); });
  router.get("/platform/1/snapshot/snapshots/?", [this](const Request& r) { return listSnapshots(r); });
  router.get("/platform/1/snapshot/snapshots/([^/]+)", [this](const Request& r) { return getSnapshot(r); });
  router.del("/platform/1/snapshot/snapshots/([^/]+)", [this](const Request& r) { return deleteSnapshot(r); });
  router.post("/platform/3/job/jobs/?", [this](const Request& r) { return createJob(r); });
  router.get("/platform/3/job/jobs/?", [this](const Request& r) { return listJobs(r); });
  router.get("/platform/3/job/jobs/([^/]+)", [this](const Request& r) { return getJob(r); });
  router.get("/platform/3/snapshot/changelists/([^/]+)/lins/?", [this](const Request& r) { return getChangeList(r); });
  router.get("/platform/3/job/types/ChangelistCreate/?", [this](const Request& r) { return getJobType(r); });
  router.put("/platform/3/job/types/ChangelistCreate/?", [this](const Request& r) { return putJobType(r); });
}

// ---- Snapshots -----------------------------------------------------------------------------

const SnapshotModule::Snap* SnapshotModule::findLocked(const std::string& idOrName) const {
  // Names made only of digits are refused, so a number always means an id.
  if (AllDigits(idOrName)) {
    for (const auto& s : snaps_)
      if (std::to_string(s->id) == idOrName) return s.get();
    return nullptr;
  }
  for (const auto& s : snaps_)
    if (s->name == idOrName) return s.get();
  return nullptr;
}

Response SnapshotModule::createSnapshot(const Request& request) {
  json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  for (auto it = body.begin(); it != body.end(); ++it) {
    if (it.key() != "path" && it.key() != "name" && it.key() != "expires")
      return errorReply(400, "AEC_BAD_REQUEST", "Field: " + it.key() + " is not a valid field");
  }
  auto path = body.find("path"), name = body.find("name");
  if (path == body.end() || !path->is_string())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: path is required and must be a string");
  if (name != body.end() && !name->is_string())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: name must be a string");
  std::string normalised;
  if (!ns::Tree::Normalise(path->get<std::string>(), normalised))
    return errorReply(400, "AEC_BAD_REQUEST", "Invalid path: " + path->get<std::string>());
  std::string snapName = name == body.end() ? std::string() : name->get<std::string>();
  if (!snapName.empty() && (AllDigits(snapName) || snapName.find('/') != std::string::npos || snapName.size() > 255))
    return errorReply(400, "AEC_BAD_REQUEST", "Invalid snapshot name: " + snapName);

  ns::Tree& ifs = tree();
  ns::Entry root;
  if (!ifs.Lookup(normalised, root)) return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + normalised);
  std::shared_ptr<const ns::Tree> frozen(ifs.Freeze(normalised));
  if (!frozen) return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + normalised);
  uint64_t size = 0;
  frozen->Walk(normalised, [&size](const ns::Entry& e) { size += e.size; });

  std::lock_guard<std::mutex> lock(mutex_);
  if (snapName.empty()) snapName = "s" + std::to_string(nextSnapId_);
  if (findLocked(snapName) != nullptr)
    return errorReply(409, "AEC_CONFLICT", "Snapshot name " + snapName + " is already in use");
  auto snap = std::make_shared<Snap>();
  snap->id = nextSnapId_++;
  snap->name = snapName;
  snap->path = normalised;
  snap->created = nowSeconds();
  snap->size = size;
  snap->frozen = std::move(frozen);
  snaps_.push_back(snap);
  return Response::json(snap->toJson(server().config().nulls), 201);
}

Response SnapshotModule::listSnapshots(const Request& request) const {
  static const Pager pager("snapshots", 1000);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  const std::string sort = cursor.param("sort", "id");
  const std::string dir = cursor.param("dir", "ASC");
  if (sort != "id" && sort != "created" && sort != "name")
    return errorReply(400, "AEC_BAD_REQUEST", "Invalid sort field: " + sort);
  if (dir != "ASC" && dir != "DESC") return errorReply(400, "AEC_BAD_REQUEST", "Invalid sort direction: " + dir);

  std::vector<std::shared_ptr<Snap>> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all = snaps_;
  }
  // Creation order is id order: created times may repeat within one second.
  if (sort == "name") {
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->name < b->name; });
  }
  if (dir == "DESC") std::reverse(all.begin(), all.end());
  const Page page = pager.page(all.size(), cursor, request);
  json list = json::array();
  for (const auto& s : page.slice(all)) list.push_back(s->toJson(server().config().nulls));
  return Response::json({{"snapshots", list}, {"resume", page.resumeJson()}, {"total", all.size()}});
}

Response SnapshotModule::getSnapshot(const Request& request) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Snap* snap = findLocked(request.captures.at(0));
  if (snap == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Snapshot " + request.captures.at(0) + " not found");
  return Response::json({{"snapshots", json::array({snap->toJson(server().config().nulls)})}});
}

Response SnapshotModule::deleteSnapshot(const Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Snap* snap = findLocked(request.captures.at(0));
  if (snap == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Snapshot " + request.captures.at(0) + " not found");
  if (snap->locked) return errorReply(409, "AEC_CONFLICT", "Snapshot " + snap->name + " has locks");
  snaps_.erase(std::remove_if(snaps_.begin(), snaps_.end(), [snap](const auto& s) { return s.get() == snap; }),
               snaps_.end());
  return Response::empty(204);
}

// ---- Jobs ----------------------------------------------------------------------------------

namespace {

// Everything below `root` in one frozen tree, by LIN.
std::unordered_map<uint64_t, ns::Entry> EntriesByLin(const ns::Tree& tree, const std::string& root) {
  std::unordered_map<uint64_t, ns::Entry> out;
  tree.Walk(root, [&out, &root](const ns::Entry& e) {
    if (e.path != root) out.emplace(e.lin, e);
  });
  return out;
}

std::vector<Change> Compare(const ns::Tree& older, const ns::Tree& newer, const std::string& root, uint64_t olderId,
                            uint64_t newerId) {
  std::unordered_map<uint64_t, ns::Entry> before = EntriesByLin(older, root);
  std::vector<Change> out;
  newer.Walk(root, [&](const ns::Entry& e) {
    if (e.path == root) return;
    Change c;
    c.lin = e.lin;
    c.path = e.path;
    c.directory = e.isDirectory();
    c.size = e.size;
    c.mtime = e.mtime;
    c.snapId = newerId;
    auto was = before.find(e.lin);
    if (was == before.end()) {
      c.changes = {"ENTRY_ADDED"};
    } else {
      const ns::Entry& o = was->second;
      if (o.path != e.path) c.changes.push_back("ENTRY_PATH_CHANGED");
      if (!e.isDirectory() && (o.size != e.size || o.mtime != e.mtime)) c.changes.push_back("ENTRY_CONTENT_CHANGED");
      if (o.mode != e.mode || o.owner != e.owner || o.group != e.group) c.changes.push_back("ENTRY_ATTRIBUTE_CHANGED");
      before.erase(was);
    }
    if (!c.changes.empty()) out.push_back(std::move(c));
  });
  for (const auto& left : before) {
    Change c;
    c.lin = left.first;
    c.path = left.second.path;
    c.directory = left.second.isDirectory();
    c.size = left.second.size;
    c.mtime = left.second.mtime;
    c.snapId = olderId;
    c.changes = {"ENTRY_REMOVED"};
    out.push_back(std::move(c));
  }
  // The cluster lists changes by LIN.
  std::sort(out.begin(), out.end(),
            [](const Change& a, const Change& b) { return a.lin != b.lin ? a.lin < b.lin : a.snapId < b.snapId; });
  return out;
}

}  // namespace

Response SnapshotModule::createJob(const Request& request) {
  json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  auto type = body.find("type");
  if (type == body.end() || !type->is_string())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: type is required and must be a string");
  if (*type != kJobType) return errorReply(400, "AEC_BAD_REQUEST", "Unsupported job type: " + type->get<std::string>());
  auto params = body.find("changelistcreate_params");
  if (params == body.end() || !params->is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Field: changelistcreate_params is required and must be an object");
  uint64_t older = 0, newer = 0;
  auto o = params->find("older_snapid"), n = params->find("newer_snapid");
  if (o == params->end() || !PositiveId(*o, older))
    return errorReply(400, "AEC_BAD_REQUEST", "Field: older_snapid must be a positive integer");
  if (n == params->end() || !PositiveId(*n, newer))
    return errorReply(400, "AEC_BAD_REQUEST", "Field: newer_snapid must be a positive integer");
  bool allowDup = false;
  auto dup = body.find("allow_dup");
  if (dup != body.end()) {
    if (!dup->is_boolean()) return errorReply(400, "AEC_BAD_REQUEST", "Field: allow_dup must be a boolean");
    allowDup = dup->get<bool>();
  }

  std::shared_ptr<const ns::Tree> olderTree, newerTree;
  std::string root;
  auto job = std::make_shared<Job>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!jobType_.enabled)
      return errorReply(400, "AEC_BAD_REQUEST", "Job type ChangelistCreate is disabled; no new job can start");
    const Snap* a = findLocked(std::to_string(older));
    const Snap* b = findLocked(std::to_string(newer));
    if (a == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Snapshot " + std::to_string(older) + " not found");
    if (b == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Snapshot " + std::to_string(newer) + " not found");
    if (a->id >= b->id)
      return errorReply(400, "AEC_BAD_REQUEST", "The older snapshot must have been taken before the newer one");
    if (a->path != b->path) return errorReply(400, "AEC_BAD_REQUEST", "The two snapshots must have the same root path");
    for (const auto& j : jobs_) {
      if (j.second->finished) continue;
      if (!allowDup && j.second->older == older && j.second->newer == newer)
        return errorReply(409, "AEC_CONFLICT", "A ChangelistCreate job for these snapshots is already running");
      if (!jobType_.allowMultipleInstances && !allowDup)
        return errorReply(409, "AEC_CONFLICT", "A ChangelistCreate job is already running");
    }
    olderTree = a->frozen;
    newerTree = b->frozen;
    root = a->path;
    job->id = nextJobId_++;
    job->older = older;
    job->newer = newer;
    job->plan = plan_;
    auto policy = body.find("policy");
    job->impactPolicy = policy != body.end() && policy->is_string() ? policy->get<std::string>() : jobType_.policy;
    job->started = server().clock().now();
    job->createTime = nowSeconds();
    jobs_[job->id] = job;
  }
  // Computed at once (the frozen trees never change); published when the job succeeds.
  auto list = std::make_shared<ChangeList>();
  list->entries = Compare(*olderTree, *newerTree, root, older, newer);
  list->newer = newer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job->result = std::move(list);
  }
  return Response::json({{"id", job->id}}, 201);
}

void SnapshotModule::advanceLocked(Job& job) {
  if (job.finished) return;
  if (job.polls < job.plan.states.size()) {
    job.state = job.plan.states[job.polls++];
    return;
  }
  ++job.polls;
  const auto ran = std::chrono::duration<double>(server().clock().now() - job.started).count();
  if (ran < job.plan.seconds || job.plan.outcome == "never") {
    job.state = "running";
    return;
  }
  job.state = job.plan.outcome;
  job.finished = true;
  job.endTime = nowSeconds();
  if (job.state == "succeeded" && job.result) {
    changeLists_[std::to_string(job.older) + "_" + std::to_string(job.newer)] = job.result;
  }
}

Response SnapshotModule::getJob(const Request& request) {
  const std::string& idText = request.captures.at(0);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = AllDigits(idText) && idText.size() < 20 ? jobs_.find(std::stoull(idText)) : jobs_.end();
  if (it == jobs_.end()) return errorReply(404, "AEC_NOT_FOUND", "Job " + idText + " not found");
  advanceLocked(*it->second);
  return Response::json({{"jobs", json::array({it->second->toJson()})}});
}

Response SnapshotModule::listJobs(const Request& request) const {
  static const Pager pager("jobs", 1000);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  std::vector<json> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& j : jobs_) all.push_back(j.second->toJson());
  }
  const Page page = pager.page(all.size(), cursor, request);
  return Response::json({{"jobs", page.slice(all)}, {"resume", page.resumeJson()}, {"total", all.size()}});
}

// ---- Change lists --------------------------------------------------------------------------

Response SnapshotModule::getChangeList(const Request& request) const {
  static const Pager pager("changelists", 1000);
  const std::string& id = request.captures.at(0);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  // A token names the change list it was given for.
  if (cursor.resumed && cursor.param("changelist") != id)
    return errorReply(400, "AEC_BAD_REQUEST", "Invalid resume token for change list " + id);
  if (!cursor.hasParam("changelist")) cursor.query.emplace_back("changelist", id);

  std::shared_ptr<const ChangeList> list;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = changeLists_.find(id);
    if (it != changeLists_.end()) list = it->second;
  }
  if (!list) return errorReply(404, "AEC_NOT_FOUND", "Changelist " + id + " not found");
  const Page page = pager.page(list->size(), cursor, request);
  // A value, written out once in the reply style: a path that is not UTF-8 comes out replaced,
  // as in every other reply.
  json lins = json::array();
  lins.get_ref<json::array_t&>().reserve(page.end - page.begin);
  for (size_t i = page.begin; i < page.end; ++i) lins.push_back(list->at(i));
  return Response::json({{"lins", std::move(lins)}, {"resume", page.resumeJson()}, {"total", list->size()}});
}

// ---- Job type ------------------------------------------------------------------------------

Response SnapshotModule::getJobType(const Request&) const {
  std::lock_guard<std::mutex> lock(mutex_);
  json type = {{"id", kJobType},
               {"allow_multiple_instances", jobType_.allowMultipleInstances},
               {"enabled", jobType_.enabled},
               {"policy", jobType_.policy},
               {"priority", jobType_.priority},
               {"exclusion_set", ""},
               {"schedule", server().config().nulls ? json(nullptr) : json("")},
               {"hidden", false},
               {"description", "Create a list of changes between two snapshots with matching root paths"}};
  return Response::json({{"types", json::array({type})}});
}

Response SnapshotModule::putJobType(const Request& request) {
  json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  std::lock_guard<std::mutex> lock(mutex_);
  JobTypeSettings next = jobType_;
  for (auto it = body.begin(); it != body.end(); ++it) {
    const std::string& key = it.key();
    if (key == "enabled" || key == "allow_multiple_instances") {
      if (!it->is_boolean()) return errorReply(400, "AEC_BAD_REQUEST", "Field: " + key + " must be a boolean");
      (key == "enabled" ? next.enabled : next.allowMultipleInstances) = it->get<bool>();
    } else if (key == "priority") {
      if (!it->is_number_integer() || it->get<long long>() < 1 || it->get<long long>() > 10)
        return errorReply(400, "AEC_BAD_REQUEST", "Field: priority must be an integer from 1 to 10");
      next.priority = it->get<int>();
    } else if (key == "policy") {
      if (!it->is_string() || it->get<std::string>().empty())
        return errorReply(400, "AEC_BAD_REQUEST", "Field: policy must be a non-empty string");
      next.policy = it->get<std::string>();
    } else {
      return errorReply(400, "AEC_BAD_REQUEST", "Field: " + key + " is not a valid field");
    }
  }
  jobType_ = next;
  return Response::empty(204);
}

}  // namespace isim

ISIM_REGISTER_MODULE(isim::SnapshotModule)
