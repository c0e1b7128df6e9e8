#include "sim/synciq/SyncIQ.h"

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "sim/core/Paging.h"
#include "sim/core/Router.h"
#include "sim/core/Server.h"

namespace isim {
namespace synciq {

const char kCurrentPattern[] = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S";
const char kOlderPattern[] = "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M";

namespace {

const char* const kJobStates[] = {"scheduled", "running",  "paused",          "finished",
                                  "failed",    "canceled", "needs_attention", "unknown"};

bool knownJobState(const std::string& state) {
  for (const char* s : kJobStates)
    if (state == s) return true;
  return false;
}

// A setting read from a test or the command line: negative or NaN means no wait, and no wait
// is longer than some thirty thousand years (so every count made from one stays in range).
double seconds(double value) { return value > 0 ? (value < 1e12 ? value : 1e12) : 0; }

uint64_t fnv1a(const std::string& text, uint64_t seed) {
  uint64_t h = seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string dateText(int64_t when) {
  const time_t t = static_cast<time_t>(when);
  struct tm tm {};
  gmtime_r(&t, &tm);
  return std::to_string(tm.tm_year + 1900) + "-" + twoDigits(tm.tm_mon + 1) + "-" + twoDigits(tm.tm_mday) + "_" +
         twoDigits(tm.tm_hour) + "-" + twoDigits(tm.tm_min) + "-" + twoDigits(tm.tm_sec);
}

Response badField(const std::string& field, const std::string& why) {
  return errorReply(400, "AEC_BAD_REQUEST", "Field: " + field + " " + why);
}

// Checks one field of a policy change and applies it to `p`; an empty result is success.
std::string applyField(Policy& p, const std::string& key, const nlohmann::json& value) {
  struct Text {
    const char* key;
    std::string Policy::*field;
  };
  static const Text texts[] = {{"name", &Policy::name},
                               {"description", &Policy::description},
                               {"schedule", &Policy::schedule},
                               {"source_root_path", &Policy::sourceRootPath},
                               {"target_host", &Policy::targetHost},
                               {"target_path", &Policy::targetPath},
                               {"action", &Policy::action},
                               {"target_snapshot_pattern", &Policy::targetSnapshotPattern}};
  struct Flag {
    const char* key;
    bool Policy::*field;
  };
  static const Flag flags[] = {{"enabled", &Policy::enabled},
                               {"check_integrity", &Policy::checkIntegrity},
                               {"target_snapshot_archive", &Policy::targetSnapshotArchive}};
  for (const Text& t : texts) {
    if (key != t.key) continue;
    if (!value.is_string()) return "must be a string";
    p.*t.field = value.get<std::string>();
    return std::string();
  }
  for (const Flag& f : flags) {
    if (key != f.key) continue;
    if (!value.is_boolean()) return "must be a boolean";
    p.*f.field = value.get<bool>();
    return std::string();
  }
  if (key == "target_snapshot_expiration") {
    if (value.is_null()) {
      p.targetSnapshotExpiration = 0;
    } else if (value.is_number_unsigned()) {
      if (value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return "is out of range";
      p.targetSnapshotExpiration = static_cast<int64_t>(value.get<uint64_t>());
    } else if (value.is_number_integer()) {
      p.targetSnapshotExpiration = value.get<int64_t>();
    } else {
      return "must be an integer or null";
    }
    return std::string();
  }
  if (key == "id" || key == "conflicted" || key == "expected_dataloss" || key == "has_sync_state")
    return "is read-only";
  return "is not a valid field";
}

// The integer counters every job and report carries, in the cluster's names; the simulated
// transfer fills in only a few of them (see fillRecord), the rest stay 0.
const char* const kCounters[] = {"ads_streams_replicated",
                                 "block_specs_replicated",
                                 "bytes_recoverable",
                                 "char_specs_replicated",
                                 "corrected_lins",
                                 "dirs_changed",
                                 "dirs_moved",
                                 "dirs_new",
                                 "error_checksum_files_skipped",
                                 "error_io_files_skipped",
                                 "error_net_files_skipped",
                                 "failed_chunks",
                                 "fifos_replicated",
                                 "file_data_bytes",
                                 "files_changed",
                                 "files_linked",
                                 "files_new",
                                 "files_selected",
                                 "files_unlinked",
                                 "files_with_ads_replicated",
                                 "flipped_lins",
                                 "hard_links_replicated",
                                 "hash_exceptions_fixed",
                                 "hash_exceptions_found",
                                 "lins_total",
                                 "network_bytes_to_source",
                                 "network_bytes_to_target",
                                 "num_retransmitted_files",
                                 "regular_files_replicated",
                                 "resynced_lins",
                                 "retry",
                                 "running_chunks",
                                 "sockets_replicated",
                                 "source_bytes_recovered",
                                 "source_directories_created",
                                 "source_directories_deleted",
                                 "source_directories_linked",
                                 "source_directories_unlinked",
                                 "source_directories_visited",
                                 "source_files_deleted",
                                 "source_files_linked",
                                 "source_files_unlinked",
                                 "sparse_data_bytes",
                                 "succeeded_chunks",
                                 "symlinks_replicated",
                                 "target_bytes_recovered",
                                 "target_directories_created",
                                 "target_directories_deleted",
                                 "target_directories_linked",
                                 "target_directories_unlinked",
                                 "target_files_deleted",
                                 "target_files_linked",
                                 "target_files_unlinked",
                                 "total_chunks",
                                 "total_data_bytes",
                                 "total_files",
                                 "total_network_bytes",
                                 "total_phases",
                                 "unchanged_data_bytes",
                                 "up_to_date_files_skipped",
                                 "updated_files_replicated",
                                 "user_conflict_files_skipped"};

// What a job and its report share: the counters, the lists and the policy's summary.
void fillRecord(nlohmann::json& j, const Report& r, const Policy* policy) {
  for (const char* counter : kCounters) j[counter] = 0;
  j["bytes_transferred"] = r.bytesTransferred;
  j["directories_replicated"] = r.directoriesReplicated;
  j["dirs_deleted"] = r.dirsDeleted;
  j["files_transferred"] = r.filesTransferred;
  j["new_files_replicated"] = r.newFilesReplicated;
  j["regular_files_replicated"] = r.filesTransferred;
  j["total_files"] = r.filesTransferred;
  j["file_data_bytes"] = r.bytesTransferred;
  j["total_data_bytes"] = r.bytesTransferred;
  j["total_network_bytes"] = r.bytesTransferred;
  j["network_bytes_to_target"] = r.bytesTransferred;
  j["dead_node"] = false;
  j["errors"] = r.error.empty() ? nlohmann::json::array() : nlohmann::json::array({r.error});
  j["warnings"] = nlohmann::json::array();
  j["phases"] = nlohmann::json::array();
  j["retransmitted_files"] = nlohmann::json::array();
  j["target_snapshots"] = r.targetSnapshots;
  j["sync_type"] = r.initial ? "initial" : "incremental";
  const std::string action = policy != nullptr ? policy->action : std::string("sync");
  j["policy_action"] = action;
  if (policy == nullptr) {
    j["policy"] = {{"action", action}, {"name", r.policyName}};
  } else {
    j["policy"] = {{"action", policy->action},
                   {"name", policy->name},
                   {"source_root_path", policy->sourceRootPath},
                   {"target_host", policy->targetHost},
                   {"target_path", policy->targetPath}};
  }
}

}  // namespace

std::string expandPattern(const std::string& pattern, const std::string& cluster, const std::string& policy,
                          int64_t when) {
  const time_t t = static_cast<time_t>(when);
  struct tm tm {};
  gmtime_r(&t, &tm);
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out += pattern[i];
      continue;
    }
    if (pattern.compare(i, 13, "%{SrcCluster}") == 0) {
      out += cluster;
      i += 12;
      continue;
    }
    if (pattern.compare(i, 13, "%{PolicyName}") == 0) {
      out += policy;
      i += 12;
      continue;
    }
    switch (pattern[i + 1]) {
      case 'Y': out += std::to_string(tm.tm_year + 1900); break;
      case 'm': out += twoDigits(tm.tm_mon + 1); break;
      case 'd': out += twoDigits(tm.tm_mday); break;
      case 'H': out += twoDigits(tm.tm_hour); break;
      case 'M': out += twoDigits(tm.tm_min); break;
      case 'S': out += twoDigits(tm.tm_sec); break;
      case '%': out += '%'; break;
      default: out += pattern[i]; continue;
    }
    ++i;
  }
  return out;
}

// ---- state -------------------------------------------------------------------------------

Settings SyncIQModule::settings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

void SyncIQModule::setSettings(const Settings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = settings;
  if (settings_.pageSize == 0) settings_.pageSize = 1;
  if (settings_.timing.pendingState != "paused") settings_.timing.pendingState = "scheduled";
}

std::string SyncIQModule::freshPolicyIdLocked(const std::string& name) {
  for (;;) {
    const std::string seed = name + "#" + std::to_string(++idCounter_);
    char id[40];
    std::snprintf(id, sizeof id, "%016llx%016llx",
                  static_cast<unsigned long long>(fnv1a(seed, 14695981039346656037ULL)),
                  static_cast<unsigned long long>(fnv1a(seed, 1099511628211ULL)));
    if (policyLocked(id) == nullptr) return id;
  }
}

bool SyncIQModule::addPolicy(const Policy& policy, std::string* id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (policy.name.empty() || policyLocked(policy.name) != nullptr) return false;
  if (!policy.id.empty() && policyLocked(policy.id) != nullptr) return false;
  Policy p = policy;
  if (p.id.empty()) p.id = freshPolicyIdLocked(p.name);
  if (id != nullptr) *id = p.id;
  policies_.push_back(std::move(p));
  return true;
}

Policy* SyncIQModule::policyLocked(const std::string& idOrName) {
  for (Policy& p : policies_)
    if (p.id == idOrName) return &p;
  for (Policy& p : policies_)
    if (p.name == idOrName) return &p;
  return nullptr;
}

const Policy* SyncIQModule::policyLocked(const std::string& idOrName) const {
  return const_cast<SyncIQModule*>(this)->policyLocked(idOrName);
}

bool SyncIQModule::findPolicy(const std::string& idOrName, Policy& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Policy* p = policyLocked(idOrName);
  if (p == nullptr) return false;
  out = *p;
  return true;
}

std::vector<Policy> SyncIQModule::policies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return policies_;
}

uint64_t SyncIQModule::addReport(const Report& report) {
  std::lock_guard<std::mutex> lock(mutex_);
  Report r = report;
  if (r.jobId == 0) r.jobId = nextJobId_;
  if (r.jobId >= nextJobId_) nextJobId_ = r.jobId + 1;
  reports_.push_back(r);
  return r.jobId;
}

size_t SyncIQModule::jobsStarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

int64_t SyncIQModule::wallNow() const {
  // The wall clock moves with the server's clock, so names and times follow a test's advance.
  const auto offset = server().clock().now() - std::chrono::steady_clock::now();
  return static_cast<int64_t>(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()) +
                              std::chrono::duration_cast<std::chrono::seconds>(offset).count());
}

double SyncIQModule::secondsSince(const Clock::TimePoint& start) const {
  return std::chrono::duration<double>(server().clock().now() - start).count();
}

SyncIQModule::Phase SyncIQModule::phaseOf(const Job& job, double elapsed) const {
  const JobTiming& t = job.timing;
  if (elapsed < t.appearAfter) return Phase::kHidden;
  if (elapsed < t.appearAfter + t.pendingFor) return Phase::kPending;
  if (elapsed < t.appearAfter + t.pendingFor + t.runFor) return Phase::kRunning;
  return Phase::kEnded;
}

void SyncIQModule::finishLocked(Job& job, Report& report, bool failed) {
  job.ended = true;
  const JobTiming& t = job.timing;
  const uint64_t id = job.id;
  report.state = failed ? "failed" : "finished";
  report.error = failed ? t.failWith : std::string();
  report.duration = static_cast<uint64_t>(std::ceil(t.runFor));
  report.endTime = report.startTime + static_cast<int64_t>(report.duration);
  if (failed) return;
  // Counts that differ from job to job but are the same on every run of a test.
  report.filesTransferred = 3 + (id * 5) % 17;
  report.newFilesReplicated = job.firstOfPolicy ? report.filesTransferred : report.filesTransferred / 2;
  report.bytesTransferred = report.filesTransferred * 1048576 + id * 4096;
  report.directoriesReplicated = 1 + id % 5;
  report.dirsDeleted = job.firstOfPolicy ? 0 : id % 2;
  Policy* policy = policyLocked(job.policyId);
  if (policy == nullptr) return;
  policy->hasSyncState = true;
  if (policy->targetSnapshotArchive) {
    // The target keeps a failover snapshot next to the archived one.
    report.targetSnapshots.push_back("SIQ-Failover-" + policy->name + "-" + dateText(report.endTime));
    report.targetSnapshots.push_back(
        expandPattern(policy->targetSnapshotPattern, settings_.clusterName, policy->name, report.endTime));
  }
}

void SyncIQModule::advanceLocked() {
  for (Job& job : jobs_) {
    if (job.ended) continue;
    const double elapsed = secondsSince(job.started);
    const Phase phase = phaseOf(job, elapsed);
    if (phase == Phase::kHidden || phase == Phase::kPending) continue;
    const double runStart = job.timing.appearAfter + job.timing.pendingFor;
    if (job.report == SIZE_MAX) {
      Report r;
      r.jobId = job.id;
      r.policyName = job.policyName;
      r.policyId = job.policyId;
      r.state = "running";
      r.initial = job.firstOfPolicy;
      r.startTime = job.startWall + static_cast<int64_t>(runStart);
      job.report = reports_.size();
      reports_.push_back(r);
    }
    Report& report = reports_[job.report];
    if (phase == Phase::kRunning) {
      report.duration = static_cast<uint64_t>(elapsed - runStart);
    } else {
      finishLocked(job, report, !job.timing.failWith.empty());
    }
  }
}

nlohmann::json SyncIQModule::maybeNull(bool known, const nlohmann::json& value) const {
  return known || !server().config().nulls ? value : nlohmann::json(nullptr);
}

nlohmann::json SyncIQModule::policyJsonLocked(const Policy& p) const {
  // The newest job of the policy that ran, and the newest that finished; reports_ are oldest first.
  const Report* last = nullptr;
  const Report* success = nullptr;
  for (const Report& r : reports_) {
    if (r.policyId != p.id) continue;
    last = &r;
    if (r.state == "finished") success = &r;
  }
  const nlohmann::json noNetwork = {{"pool", ""}, {"subnet", ""}};
  return {{"id", p.id},
          {"name", p.name},
          {"description", p.description},
          {"check_integrity", p.checkIntegrity},
          {"conflicted", p.conflicted},
          {"enabled", p.enabled},
          {"expected_dataloss", p.expectedDataloss},
          {"has_sync_state", p.hasSyncState},
          {"schedule", p.schedule},
          {"source_root_path", p.sourceRootPath},
          {"target_host", p.targetHost},
          {"target_path", p.targetPath},
          {"action", p.action},
          {"target_snapshot_archive", p.targetSnapshotArchive},
          {"target_snapshot_expiration", p.targetSnapshotExpiration},
          {"target_snapshot_pattern", p.targetSnapshotPattern},
          {"last_job_state", last != nullptr ? last->state : std::string()},
          {"last_started", maybeNull(last != nullptr, last != nullptr ? last->startTime : 0)},
          {"last_success", maybeNull(success != nullptr, success != nullptr ? success->endTime : 0)},
          // Settings the simulator does not model, at the cluster's defaults.
          {"accelerated_failback", false},
          {"burst_mode", false},
          {"changelist", false},
          {"cloud_deep_copy", "deny"},
          {"disable_file_split", false},
          {"disable_fofb", false},
          {"disable_stf", false},
          {"file_matching_pattern", nlohmann::json::object()},
          {"force_interface", false},
          {"job_delay", maybeNull(false, 0)},
          {"log_level", "notice"},
          {"log_removed_files", false},
          {"next_run", maybeNull(false, 0)},
          {"password_set", false},
          {"priority", 0},
          {"report_max_age", 31536000},
          {"report_max_count", 2000},
          {"restrict_target_network", false},
          {"rpo_alert", maybeNull(false, 0)},
          {"skip_lookup", false},
          {"skip_when_source_unmodified", false},
          {"snapshot_sync_existing", false},
          {"snapshot_sync_pattern", "*"},
          {"source_exclude_directories", nlohmann::json::array()},
          {"source_include_directories", nlohmann::json::array()},
          {"source_network", maybeNull(false, noNetwork)},
          {"source_snapshot_archive", false},
          {"source_snapshot_expiration", 0},
          {"source_snapshot_pattern", ""},
          {"target_compare_initial_sync", false},
          {"target_detect_modifications", true},
          {"target_snapshot_alias", "SIQ-%{SrcCluster}-%{PolicyName}-latest"},
          {"workers_per_node", 3}};
}

nlohmann::json SyncIQModule::reportJsonLocked(const Report& r) const {
  nlohmann::json j;
  fillRecord(j, r, policyLocked(r.policyId));
  const bool ended = r.state != "running";
  j["id"] = r.policyId + "-" + std::to_string(r.jobId);
  j["job_id"] = r.jobId;
  j["policy_name"] = r.policyName;
  j["policy_id"] = r.policyId;
  j["action"] = "run";
  j["state"] = r.state;
  j["error"] = r.error;
  j["duration"] = maybeNull(ended, r.duration);
  j["start_time"] = r.startTime;
  j["end_time"] = maybeNull(ended, ended ? r.endTime : 0);
  j["subreport_count"] = 0;
  j["worm_committed_file_conflicts"] = 0;
  return j;
}

nlohmann::json SyncIQModule::jobJsonLocked(const Job& job, double elapsed) const {
  const bool running = phaseOf(job, elapsed) == Phase::kRunning;
  const double ran = elapsed - (job.timing.appearAfter + job.timing.pendingFor);
  Report pending;
  pending.policyName = job.policyName;
  pending.initial = job.firstOfPolicy;
  const Report& r = job.report != SIZE_MAX ? reports_[job.report] : pending;
  nlohmann::json j;
  fillRecord(j, r, policyLocked(job.policyId));
  const bool idShown = running && ran >= job.timing.jobIdAfter;
  j["id"] = job.policyId;
  j["policy_id"] = job.policyId;
  j["policy_name"] = job.policyName;
  j["action"] = "run";
  j["state"] = running ? std::string("running") : job.timing.pendingState;
  j["error"] = "";
  j["job_id"] = maybeNull(idShown, idShown ? job.id : 0);
  j["start_time"] = job.startWall;
  j["duration"] = maybeNull(running, running ? static_cast<uint64_t>(ran) : 0);
  j["end_time"] = maybeNull(false, 0);
  j["workers"] = nlohmann::json::array();
  return j;
}

// ---- endpoints -----------------------------------------------------------------------------

Response SyncIQModule::listPolicies(const Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceLocked();  // a job that ended since gave its policy a sync state
  const Pager pager("sync/policies", settings_.pageSize);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  const Page page = pager.page(policies_.size(), cursor, request);
  nlohmann::json list = nlohmann::json::array();
  for (const Policy& p : page.slice(policies_)) list.push_back(policyJsonLocked(p));
  return Response::json({{"policies", list}, {"resume", page.resumeJson()}, {"total", page.total}});
}

Response SyncIQModule::getPolicy(const Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceLocked();
  const Policy* p = policyLocked(request.captures.at(0));
  if (p == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Policy " + request.captures.at(0) + " not found");
  return Response::json({{"policies", nlohmann::json::array({policyJsonLocked(*p)})}});
}

Response SyncIQModule::modifyPolicy(const Request& request) {
  nlohmann::json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  std::lock_guard<std::mutex> lock(mutex_);
  Policy* target = policyLocked(request.captures.at(0));
  if (target == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Policy " + request.captures.at(0) + " not found");
  // Every field is checked on a copy first: a refused change leaves the policy as it was.
  Policy changed = *target;
  for (auto it = body.begin(); it != body.end(); ++it) {
    const std::string why = applyField(changed, it.key(), it.value());
    if (!why.empty()) return badField(it.key(), why);
  }
  if (changed.name.empty()) return badField("name", "must not be empty");
  if (changed.name != target->name && policyLocked(changed.name) != nullptr)
    return errorReply(409, "AEC_CONFLICT", "Policy " + changed.name + " already exists");
  if (changed.action != "sync" && changed.action != "copy") return badField("action", "must be sync or copy");
  if (changed.sourceRootPath.compare(0, 4, "/ifs") != 0) return badField("source_root_path", "must be under /ifs");
  *target = changed;
  return Response::empty(204);
}

Response SyncIQModule::startJob(const Request& request) {
  nlohmann::json body;
  if (!request.jsonBody(body) || !body.is_object())
    return errorReply(400, "AEC_BAD_REQUEST", "Unable to parse the request body as a JSON object");
  for (auto it = body.begin(); it != body.end(); ++it) {
    const std::string& key = it.key();
    if (key != "id" && key != "source_snapshot" && key != "action" && key != "log_level")
      return badField(key, "is not a valid field");
  }
  auto id = body.find("id");
  if (id == body.end() || !id->is_string() || id->get<std::string>().empty())
    return badField("id", "is required and must be a policy id or name");
  auto snapshot = body.find("source_snapshot");
  if (snapshot != body.end() && !snapshot->is_string()) return badField("source_snapshot", "must be a string");

  std::lock_guard<std::mutex> lock(mutex_);
  advanceLocked();
  const Policy* policy = policyLocked(id->get<std::string>());
  if (policy == nullptr) return errorReply(404, "AEC_NOT_FOUND", "Policy " + id->get<std::string>() + " not found");
  if (!policy->enabled)
    return errorReply(409, "AEC_CONFLICT", "Unable to start a job of disabled policy " + policy->name);
  bool first = true;
  for (const Job& j : jobs_) {
    if (j.policyId != policy->id) continue;
    if (!j.ended) return errorReply(409, "AEC_CONFLICT", "Policy " + policy->name + " already has a job");
    first = false;
  }
  Job job;
  job.id = nextJobId_++;
  job.policyId = policy->id;
  job.policyName = policy->name;
  job.sourceSnapshot = snapshot == body.end() ? std::string() : snapshot->get<std::string>();
  job.started = server().clock().now();
  job.startWall = wallNow();
  job.timing = settings_.timing;
  job.timing.appearAfter = seconds(job.timing.appearAfter);
  job.timing.pendingFor = seconds(job.timing.pendingFor);
  job.timing.jobIdAfter = seconds(job.timing.jobIdAfter);
  job.timing.runFor = seconds(job.timing.runFor);
  job.firstOfPolicy = first && !policy->hasSyncState;
  jobs_.push_back(job);
  advanceLocked();  // a job with no waits at all is there at once
  return Response::json({{"id", policy->id}}, 201);
}

Response SyncIQModule::listJobs(const Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Pager pager("sync/jobs", settings_.pageSize);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  const std::string state = cursor.param("state");
  if (cursor.hasParam("state") && !knownJobState(state)) return badField("state", "has an unknown value: " + state);
  const bool byPolicy = cursor.hasParam("policy_name");
  const std::string policyName = cursor.param("policy_name");

  advanceLocked();
  std::vector<nlohmann::json> listed;
  for (const Job& job : jobs_) {
    if (job.ended || (byPolicy && job.policyName != policyName)) continue;
    const double elapsed = secondsSince(job.started);
    if (phaseOf(job, elapsed) == Phase::kHidden) continue;
    nlohmann::json j = jobJsonLocked(job, elapsed);
    if (!state.empty() && j["state"] != state) continue;
    listed.push_back(std::move(j));
  }
  const Page page = pager.page(listed.size(), cursor, request);
  nlohmann::json list = nlohmann::json::array();
  for (const auto& j : page.slice(listed)) list.push_back(j);
  return Response::json({{"jobs", list}, {"resume", page.resumeJson()}, {"total", page.total}});
}

Response SyncIQModule::listReports(const Request& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Pager pager("sync/reports", settings_.pageSize);
  PageCursor cursor;
  Response error;
  if (!pager.begin(request, cursor, error)) return error;
  const std::string state = cursor.param("state");
  if (cursor.hasParam("state") && !knownJobState(state)) return badField("state", "has an unknown value: " + state);
  const bool byPolicy = cursor.hasParam("policy_name");
  const std::string policyName = cursor.param("policy_name");
  uint64_t jobId = 0;
  if (cursor.hasParam("job_id")) {
    const std::string text = cursor.param("job_id");
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
      return badField("job_id", "must be a whole number");
    jobId = std::stoull(text);
  }

  advanceLocked();
  std::vector<nlohmann::json> listed;
  for (auto it = reports_.rbegin(); it != reports_.rend(); ++it) {
    if (byPolicy && it->policyName != policyName) continue;
    if (!state.empty() && it->state != state) continue;
    if (jobId != 0 && it->jobId != jobId) continue;
    listed.push_back(reportJsonLocked(*it));
  }
  const Page page = pager.page(listed.size(), cursor, request);
  nlohmann::json list = nlohmann::json::array();
  for (const auto& j : page.slice(listed)) list.push_back(j);
  return Response::json({{"reports", list}, {"resume", page.resumeJson()}, {"total", page.total}});
}

void SyncIQModule::registerRoutes(Router& router) {
  router.get("/platform/1/sync/policies/?", [this](const Request& r) { return listPolicies(r); });
  router.get("/platform/1/sync/policies/([^/]+)", [this](const Request& r) { return getPolicy(r); });
  router.put("/platform/1/sync/policies/([^/]+)", [this](const Request& r) { return modifyPolicy(r); });
  router.post("/platform/1/sync/jobs/?", [this](const Request& r) { return startJob(r); });
  router.get("/platform/1/sync/jobs/?", [this](const Request& r) { return listJobs(r); });
  router.get("/platform/1/sync/reports/?", [this](const Request& r) { return listReports(r); });
}

void SyncIQModule::addOptions(CLI::App& app) {
  // Bound before the server starts, when nothing else reads the settings.
  app.add_option("--synciq-page-size", settings_.pageSize, "SyncIQ policies, jobs and reports per page")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  app.add_option("--synciq-job-appear", settings_.timing.appearAfter, "Seconds before a started SyncIQ job is listed")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--synciq-job-pending-state", settings_.timing.pendingState, "State a SyncIQ job shows before it runs")
      ->capture_default_str()
      ->check(CLI::IsMember(std::vector<std::string>{"scheduled", "paused"}));
  app.add_option("--synciq-job-pending", settings_.timing.pendingFor, "Seconds a SyncIQ job is scheduled or paused")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--synciq-job-run", settings_.timing.runFor, "Seconds a SyncIQ job runs")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
}

void SyncIQModule::seedDemo() {
  Policy projects;
  projects.name = "projects-dr";
  projects.description = "Project data to the DR cluster";
  projects.sourceRootPath = "/ifs/data/projects";
  projects.targetPath = "/ifs/dr/projects";
  projects.schedule = "every day at 22:00";
  projects.targetSnapshotArchive = false;
  projects.targetSnapshotExpiration = 604800;
  projects.targetSnapshotPattern = kOlderPattern;
  addPolicy(projects);

  Policy home;
  home.name = "home-dr";
  home.description = "Home directories, snapshot replication";
  home.sourceRootPath = "/ifs/home";
  home.targetPath = "/ifs/dr/home";
  home.hasSyncState = true;
  std::string homeId;
  addPolicy(home, &homeId);

  Policy media;
  media.name = "media-copy";
  media.description = "Media archive copy";
  media.sourceRootPath = "/ifs/data/media";
  media.targetPath = "/ifs/archive/media";
  media.action = "copy";
  media.enabled = false;
  media.schedule = "every sunday at 03:00";
  addPolicy(media);

  const int64_t now = wallNow();
  Report first;
  first.policyName = "home-dr";
  first.policyId = homeId;
  first.bytesTransferred = 7516192768ULL;  // more than 32 bits can hold
  first.filesTransferred = 5120;
  first.newFilesReplicated = 5120;
  first.directoriesReplicated = 311;
  first.duration = 1260;
  first.startTime = now - 2 * 86400;
  first.endTime = first.startTime + 1260;
  first.initial = true;
  first.targetSnapshots = {"SIQ-" + homeId + "-initial",
                           expandPattern(kCurrentPattern, settings_.clusterName, "home-dr", first.endTime)};
  addReport(first);
  Report second = first;
  second.jobId = 0;
  second.bytesTransferred = 52428800;
  second.filesTransferred = 42;
  second.newFilesReplicated = 7;
  second.directoriesReplicated = 3;
  second.dirsDeleted = 1;
  second.duration = 95;
  second.startTime = now - 86400;
  second.endTime = second.startTime + 95;
  second.initial = false;
  second.targetSnapshots = {"SIQ-Failover-home-dr-" + dateText(second.endTime),
                            expandPattern(kCurrentPattern, settings_.clusterName, "home-dr", second.endTime)};
  addReport(second);
}

}  // namespace synciq
}  // namespace isim

ISIM_REGISTER_MODULE(isim::synciq::SyncIQModule)
