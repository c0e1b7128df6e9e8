#pragma once
// Snapshots of /ifs directories, ChangelistCreate jobs and the change lists they build:
//   POST   /platform/1/snapshot/snapshots             {"path","name"}: a frozen copy of the directory
//   GET    /platform/1/snapshot/snapshots[?sort=created|id|name&dir=ASC|DESC&limit=N|resume=T]
//   GET    /platform/1/snapshot/snapshots/ID_OR_NAME
//   DELETE /platform/1/snapshot/snapshots/ID_OR_NAME  (AEC_NOT_FOUND when missing)
//   POST   /platform/3/job/jobs                       a ChangelistCreate job for two snapshots
//   GET    /platform/3/job/jobs[/ID]                  every GET of one job moves it along its plan
//   GET    /platform/3/snapshot/changelists/OLDER_NEWER/lins[?limit=N|resume=T]
//   GET|PUT /platform/3/job/types/ChangelistCreate    the job type's settings ("enabled", ...)
// A job compares the two snapshots' frozen trees by LIN and lists what was added, removed or
// changed. How a job runs (the states it reports, for how long, and how it ends) is a plan that
// tests and the program's options set.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/core/Clock.h"
#include "sim/core/Http.h"
#include "sim/core/Module.h"
#include "sim/namespace/Tree.h"

namespace isim {

class SnapshotModule : public Module {
 public:
  // How new jobs run. Each status request of a job reports the next of `states`; once they
  // are used up (and `seconds` of the server's clock have passed since the start, reporting
  // "running" meanwhile) the job ends in `outcome`: "succeeded", "failed", any other state
  // text, or "never" to keep it "running" for ever.
  struct JobPlan {
    std::vector<std::string> states{"running", "paused_priority"};
    std::string outcome = "succeeded";
    double seconds = 0;
  };

  struct JobTypeSettings {
    bool allowMultipleInstances = false;
    bool enabled = true;
    int priority = 5;
    std::string policy = "LOW";
  };

  SnapshotModule();
  ~SnapshotModule() override;

  const char* name() const override { return "snapshot"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;
  void onStart() override;

  void setJobPlan(const JobPlan& plan);
  JobPlan jobPlan() const;
  JobTypeSettings jobType() const;
  void setJobType(const JobTypeSettings& settings);
  // Sets a snapshot's "has_locks" (a locked snapshot cannot be deleted). False when missing.
  bool setLocked(const std::string& idOrName, bool locked);
  size_t snapshotCount() const;
  // The id of the snapshot with this name, or 0.
  int64_t snapshotId(const std::string& name) const;
  // A ready change list OLDER_NEWER of `count` generated entries (not kept in memory), for
  // benchmarks of long walks.
  void addSyntheticChangeList(uint64_t older, uint64_t newer, size_t count);

  // The /ifs tree snapshots are taken of: the namespace module's, or a tree of its own.
  ns::Tree& tree();

  struct ChangeList;  // private to the module

 private:
  struct Snap;
  struct Job;

  Response createSnapshot(const Request& request);
  Response listSnapshots(const Request& request) const;
  Response getSnapshot(const Request& request) const;
  Response deleteSnapshot(const Request& request);
  Response createJob(const Request& request);
  Response getJob(const Request& request);
  Response listJobs(const Request& request) const;
  Response getChangeList(const Request& request) const;
  Response getJobType(const Request& request) const;
  Response putJobType(const Request& request);

  // Under mutex_.
  const Snap* findLocked(const std::string& idOrName) const;
  void advanceLocked(Job& job);
  uint64_t nowSeconds() const;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Snap>> snaps_;  // in creation order
  int64_t nextSnapId_ = 1;
  std::map<uint64_t, std::shared_ptr<Job>> jobs_;
  uint64_t nextJobId_ = 1;
  std::map<std::string, std::shared_ptr<const ChangeList>> changeLists_;
  JobPlan plan_;
  JobTypeSettings jobType_;
  ns::Tree* tree_ = nullptr;
  std::unique_ptr<ns::Tree> ownTree_;
};

}  // namespace isim
