#pragma once
// SyncIQ replication on the simulated cluster: policies (listed in pages, changed with PUT),
// jobs started with POST that go through their states on the server's clock, and the reports
// of running and ended jobs.
//
//   GET  /platform/1/sync/policies[?limit=N][&resume=T]   every policy, in creation order
//   GET  /platform/1/sync/policies/ID_OR_NAME             one policy
//   PUT  /platform/1/sync/policies/ID_OR_NAME             change fields (all or nothing)
//   POST /platform/1/sync/jobs  {"id":POLICY,"source_snapshot":NAME}
//   GET  /platform/1/sync/jobs[?policy_name=P][&state=S]   current (not yet ended) jobs
//   GET  /platform/1/sync/reports[?policy_name=P][&state=S][&job_id=N]   newest first
//
// A started job is not listed at all for `appearAfter` seconds, then shows `pendingState`
// ("scheduled" or "paused", without a job id) for `pendingFor` seconds, then "running" (with
// its job id once `jobIdAfter` seconds of running passed) for `runFor` seconds, and then ends
// "finished" (or "failed" with `failWith` as its error). Its report exists from the moment it
// runs. Tests move the server's clock instead of waiting (Server::clock()).
//
//   auto* siq = server.module<isim::synciq::SyncIQModule>();
//   isim::synciq::Policy p; p.name = "nightly"; ... siq->addPolicy(p);
//   isim::synciq::Settings s = siq->settings(); s.timing.appearAfter = 0; siq->setSettings(s);
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Clock.h"
#include "sim/core/Http.h"
#include "sim/core/Module.h"

namespace isim {
namespace synciq {

extern const char kCurrentPattern[];  // "SIQ_%{SrcCluster}_%{PolicyName}_%Y-%m-%d_%H-%M-%S"
extern const char kOlderPattern[];    // the same without seconds

struct Policy {
  std::string id;  // empty: a fresh id is made when the policy is added
  std::string name;
  std::string description;
  bool checkIntegrity = true;
  bool conflicted = false;
  bool enabled = true;
  bool expectedDataloss = false;
  bool hasSyncState = false;  // set once a job of the policy finished
  std::string schedule;       // empty: on demand
  std::string sourceRootPath = "/ifs/data";
  std::string targetHost = "dr.example.com";
  std::string targetPath = "/ifs/dr";
  std::string action = "sync";
  std::string targetSnapshotPattern = kCurrentPattern;
  bool targetSnapshotArchive = true;
  int64_t targetSnapshotExpiration = 0;  // seconds; 0: never
};

// The course of the jobs started from now on (each job keeps the timing it started with).
struct JobTiming {
  double appearAfter = 1;                  // seconds before the job is listed
  std::string pendingState = "scheduled";  // "scheduled" or "paused"
  double pendingFor = 0;                   // seconds in the pending state
  double jobIdAfter = 0;                   // seconds of running before the job id is shown
  double runFor = 3;                       // seconds running
  std::string failWith;                    // not empty: the job ends "failed" with this error
};

struct Settings {
  size_t pageSize = 1000;                  // items per page when a request names no limit
  std::string clusterName = "isilon-sim";  // %{SrcCluster} in target snapshot names
  JobTiming timing;
};

// One job report; `jobId` 0 when added without one (a fresh id is given).
struct Report {
  uint64_t jobId = 0;
  std::string policyName;
  std::string policyId;
  std::string state = "finished";
  std::string error;
  uint64_t bytesTransferred = 0;
  uint64_t directoriesReplicated = 0;
  uint64_t dirsDeleted = 0;
  uint64_t filesTransferred = 0;
  uint64_t newFilesReplicated = 0;
  uint64_t duration = 0;  // seconds
  bool initial = false;   // the policy's first sync (a full copy)
  std::vector<std::string> targetSnapshots;
  int64_t startTime = 0;  // seconds since the epoch
  int64_t endTime = 0;
};

class SyncIQModule : public Module {
 public:
  const char* name() const override { return "synciq"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;
  void seedDemo() override;

  Settings settings() const;
  void setSettings(const Settings& settings);

  // Adds a policy and returns its id; false for a name or id already taken (or an empty name).
  bool addPolicy(const Policy& policy, std::string* id = nullptr);
  bool findPolicy(const std::string& idOrName, Policy& out) const;
  std::vector<Policy> policies() const;
  // Adds a report as if a job had ended; returns its job id.
  uint64_t addReport(const Report& report);
  // Jobs started through the interface so far.
  size_t jobsStarted() const;

 private:
  enum class Phase { kHidden, kPending, kRunning, kEnded };
  struct Job {
    uint64_t id = 0;
    std::string policyId;
    std::string policyName;
    std::string sourceSnapshot;
    Clock::TimePoint started;
    int64_t startWall = 0;
    JobTiming timing;
    bool firstOfPolicy = false;
    size_t report = SIZE_MAX;  // index in reports_ once running
    bool ended = false;
  };

  Response listPolicies(const Request& request);
  Response getPolicy(const Request& request);
  Response modifyPolicy(const Request& request);
  Response startJob(const Request& request);
  Response listJobs(const Request& request);
  Response listReports(const Request& request);

  // Moves every job along to the server's present time (reports, end of jobs). Lock held.
  void advanceLocked();
  Phase phaseOf(const Job& job, double elapsed) const;
  void finishLocked(Job& job, Report& report, bool failed);
  nlohmann::json jobJsonLocked(const Job& job, double elapsed) const;
  nlohmann::json policyJsonLocked(const Policy& policy) const;
  nlohmann::json reportJsonLocked(const Report& report) const;
  // A value the cluster may give as null: null under Config::nulls when it is not known yet.
  nlohmann::json maybeNull(bool known, const nlohmann::json& value) const;
  Policy* policyLocked(const std::string& idOrName);
  const Policy* policyLocked(const std::string& idOrName) const;
  std::string freshPolicyIdLocked(const std::string& name);
  int64_t wallNow() const;
  double secondsSince(const Clock::TimePoint& start) const;

  mutable std::mutex mutex_;
  Settings settings_;
  std::vector<Policy> policies_;
  std::vector<Job> jobs_;
  std::vector<Report> reports_;  // oldest first
  uint64_t nextJobId_ = 1;
  uint64_t idCounter_ = 0;
};

// A target snapshot name from a naming pattern: %{SrcCluster}, %{PolicyName}, %Y %m %d %H %M
// %S (UTC) and %% are replaced; anything else stays as it is.
std::string expandPattern(const std::string& pattern, const std::string& cluster, const std::string& policy,
                          int64_t when);

}  // namespace synciq
}  // namespace isim
