// isilonctl synciq: replication policies, their check for snapshot replication, jobs and reports.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "cli/Confirm.h"
#include "cli/Interrupt.h"
#include "cli/Runtime.h"
#include "host/Sleep.h"
#include "isilon/Paging.h"

namespace {

using nlohmann::json;

// Polling a started job sleeps through the host sleep service, in slices: after a signal the
// poll stops at once (its next request is not sent).
void ProgressSleep(unsigned int milliseconds, const char*, int) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (ctl::Interrupted() == 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - std::chrono::steady_clock::now(),
                                                                              std::chrono::milliseconds(50)));
  }
}

const char* StateName(eIsilonSyncIQJobState state) {
  switch (state) {
    case SYNCIQ_JOB_STATE_RUNNING: return "running";
    case SYNCIQ_JOB_STATE_FINISHED: return "finished";
    case SYNCIQ_JOB_STATE_FAILED: return "failed";
    case SYNCIQ_JOB_STATE_CANCELED: return "canceled";
    case SYNCIQ_JOB_STATE_SCHEDULED: return "scheduled";
    case SYNCIQ_JOB_STATE_PAUSED: return "paused";
    default: return "none";
  }
}

bool ParseState(const std::string& text, eIsilonSyncIQJobState& state) {
  for (int value = SYNCIQ_JOB_STATE_NONE; value <= SYNCIQ_JOB_STATE_PAUSED; ++value) {
    if (text == StateName(static_cast<eIsilonSyncIQJobState>(value))) {
      state = static_cast<eIsilonSyncIQJobState>(value);
      return true;
    }
  }
  return false;
}

json PolicyJson(const _IsilonSyncIQPolicyInfo& p) {
  return {{"name", p.strName},
          {"id", p.strId},
          {"description", p.strDescription},
          {"enabled", p.bEnabled},
          {"action", p.strAction},
          {"schedule", p.strSchedule},
          {"source_root_path", p.strSourceRootPath},
          {"target_host", p.strTargetHost},
          {"target_path", p.strTargetPath},
          {"check_integrity", p.bCheckIntegrity},
          {"conflicted", p.bConflicted},
          {"expected_dataloss", p.bExpectedDataloss},
          {"has_sync_state", p.bHasSyncState},
          {"target_snapshot_archive", p.bTargetSnapshotArchive},
          {"target_snapshot_expiration", p.nTargetSnapshotExpiration},
          {"target_snapshot_pattern", p.strTargetSnapshotPattern}};
}

// Every policy of the cluster, all pages.
bool ListAllPolicies(ManageIsilon& session, const std::string&, std::vector<_IsilonSyncIQPolicyInfo>& all) {
  return session.GetAllSyncIQPolicies(all);
}

// The library's lookup by path or name finds nothing with this message.
bool NoPolicyFound(ManageIsilon& session) {
  std::string code, message;
  session.GetLastError(code, message);
  return message.rfind("No policies found", 0) == 0;
}

// A job lookup that read the job list and found no match (rather than failing to read it).
bool NoJobFound(ManageIsilon& session) {
  std::string code, message;
  session.GetLastError(code, message);
  return session.GetLastTransportError().empty() && message.rfind("No response received from file server", 0) == 0;
}

// Whether a policy of that name exists; false with `failed` set when that cannot be told.
bool PolicyExists(ManageIsilon& session, const std::string& name, bool& failed) {
  std::vector<_IsilonSyncIQPolicyInfo> found;
  failed = false;
  if (session.GetSyncIQPolicy(found, "", name)) return true;
  failed = !NoPolicyFound(session);
  return false;
}

void PrintPolicies(ctl::Runtime& rt, const std::vector<_IsilonSyncIQPolicyInfo>& policies) {
  if (rt.options.json) {
    json list = json::array();
    for (const auto& p : policies) list.push_back(PolicyJson(p));
    rt.PrintJson({{"ok", true}, {"policies", list}, {"count", policies.size()}});
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& p : policies) {
    rows.push_back({p.strName, p.strId, p.bEnabled ? "yes" : "no", p.strAction,
                    p.strSchedule.empty() ? "manual" : p.strSchedule, p.strSourceRootPath,
                    p.strTargetHost + ":" + p.strTargetPath, p.bTargetSnapshotArchive ? "yes" : "no",
                    std::to_string(p.nTargetSnapshotExpiration), p.strTargetSnapshotPattern});
  }
  // The settings of snapshot replication are for -o wide.
  rt.PrintTable({"NAME",
                 {"ID", ctl::kWideOnly},
                 "ENABLED",
                 "ACTION",
                 "SCHEDULE",
                 "SOURCE",
                 "TARGET",
                 {"ARCHIVE", ctl::kWideOnly},
                 {"EXPIRY", ctl::kWideOnly},
                 {"PATTERN", ctl::kWideOnly}},
                rows, ctl::Count(policies.size(), "policy", "policies"));
}

// The account of problems is a list of lines, each led by a newline.
std::vector<std::string> SplitAccount(const std::string& message) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= message.size()) {
    const size_t end = message.find('\n', start);
    const std::string line = message.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void InstallPolicies(CLI::App& synciq, ctl::Runtime& rt) {
  CLI::App* cmd = synciq.add_subcommand("policies", "List policies, or those of a source path or a name");
  static std::string path, name;
  cmd->add_option("--path", path, "Source root path the policies replicate")->transform(ctl::PathArgument());
  cmd->add_option("--name", name, "Policy name (when no path is given)");
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonSyncIQPolicyInfo> policies;
    const bool ok = path.empty() && name.empty() ? ListAllPolicies(*session, rt.options.server, policies)
                                                 : session->GetSyncIQPolicy(policies, path, name);
    // A lookup that finds none is an empty list.
    if (!ok && ((path.empty() && name.empty()) || !NoPolicyFound(*session))) {
      rt.Failed("synciq policies");
      return;
    }
    if (!ok) policies.clear();
    PrintPolicies(rt, policies);
  });
}

void InstallValidate(CLI::App& synciq, ctl::Runtime& rt) {
  CLI::App* cmd = synciq.add_subcommand("validate", "Check a policy for snapshot replication (and fix it)");
  static std::string name;
  static bool fix = false;
  cmd->add_option("NAME", name, "Policy name")->required();
  cmd->add_flag("--fix", fix, "Change what is wrong on the cluster");
  ctl::AddChangeOptions(cmd, rt);
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonSyncIQPolicyInfo> found;
    if (!session->GetSyncIQPolicy(found, "", name)) {
      if (NoPolicyFound(*session)) {
        rt.NotFound("policy", name);
      } else {
        rt.Failed("synciq validate");
      }
      return;
    }
    std::vector<_IsilonSyncIQProperty> invalid;
    session->GetInvalidSyncIQProperties(found.front(), invalid);
    std::string code, account;
    session->GetLastError(code, account);
    const std::vector<std::string> problems = SplitAccount(account);

    bool good = false;
    bool listed = false;
    if (fix && !problems.empty()) {
      // The problems are shown before the question that would correct them.
      if (!rt.options.json && (rt.options.dryRun || (!rt.options.yes && ctl::CanAsk()))) {
        std::cout << "Policy " << name << " has " << ctl::Count(problems.size(), "problem", "problems") << ":\n";
        for (const auto& line : problems) std::cout << "  - " << line << "\n";
        std::cout.flush();
        listed = true;
      }
      const std::string question = "Change policy '" + name + "' on the cluster to correct " +
                                   ctl::Count(problems.size(), "problem", "problems") + "?";
      const ctl::Runtime::ChangeOutcome outcome =
          rt.Change(question, [&]() { return good = session->ValidateSyncIQPolicy(name, &found.front(), true); });
      if (outcome == ctl::Runtime::ChangeOutcome::kNotMade) return;
    } else {
      good = session->ValidateSyncIQPolicy(name, &found.front(), fix);
    }
    std::string message;
    session->GetLastError(code, message);
    if (!good && message != account) {
      // Refused before the rules (no target) or the change failed: the session's error says why.
      rt.Failed("synciq validate");
      return;
    }
    const std::string unfit = "policy " + name + " is not fit for snapshot replication; run with --fix to correct it";
    if (rt.options.json) {
      json out = {{"ok", good}, {"policy", name}, {"problems", problems}, {"fixed", good && fix && !problems.empty()}};
      if (!good) out.update({{"code", code}, {"message", unfit}, {"cause", ""}});
      if (!good) rt.exitCode = ctl::kExitFailed;
      rt.PrintJson(out);
    } else {
      if (problems.empty()) {
        std::cout << "Policy " << name << " has no problems.\n";
      } else if (!listed) {
        std::cout << "Policy " << name << " has " << ctl::Count(problems.size(), "problem", "problems") << ":\n";
        for (const auto& line : problems) std::cout << "  - " << line << "\n";
      }
      if (good && fix && !problems.empty()) std::cout << "Fixed them on the cluster.\n";
      if (good) std::cout << "Policy " << name << " is good for snapshot replication.\n";
      std::cout.flush();
      if (!good) rt.Failed("synciq validate", code, unfit);
    }
    if (!good) rt.exitCode = ctl::kExitFailed;
  });
}

void InstallStart(CLI::App& synciq, ctl::Runtime& rt) {
  CLI::App* cmd = synciq.add_subcommand("start", "Start a replication job of a policy from a snapshot");
  static std::string policy, snapshot;
  cmd->add_option("POLICY", policy, "Policy name")->required();
  cmd->add_option("SNAPSHOT", snapshot, "Source snapshot name")->required();
  cmd->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    unsigned int jobId = 0;
    SetZemSleepHook(&ProgressSleep);
    // The wait observer tells how long the library has waited for the cluster to list the job.
    session->SetWaitObserver([&rt](const ManageIsilon::WaitProgress& poll) {
      rt.Progress("Waiting for the cluster to start the job... " + std::to_string(poll.secondsWaited) + " s" +
                  (poll.state.empty() ? std::string() : " (" + poll.state + ")"));
      return true;
    });
    // The library looks for the job only once the cluster has accepted the start; its lines
    // about that search tell an accepted start from a refused one.
    bool accepted = false;
    bool ok = false;
    {
      ctl::LogTap tap(-1, [&accepted](int, const std::string& text) {
        if (text.find("Failed to get synciq job id for policy[") != std::string::npos ||
            text.find("] has job in [") != std::string::npos) {
          accepted = true;
        }
      });
      ok = session->StartSyncIQJob(policy, snapshot, jobId);
    }
    session->SetWaitObserver(nullptr);
    ctl::InstallInterruptibleSleep();
    rt.EndProgress();
    if ((!ok && accepted) || (ok && jobId == 0)) {
      rt.PrintResult({{"ok", true}, {"policy", policy}, {"snapshot", snapshot}, {"job_id", nullptr}, {"listed", false}},
                     "Started a job of policy " + policy +
                         "; its id was not listed yet.\nLook it up with: isilonctl "
                         "synciq job " +
                         policy + " (and its report with: isilonctl synciq report " + policy + " --state running)");
      return;
    }
    if (!ok) {
      rt.Failed("synciq start");
      return;
    }
    rt.PrintResult({{"ok", true}, {"policy", policy}, {"snapshot", snapshot}, {"job_id", jobId}, {"listed", true}},
                   "Started job " + std::to_string(jobId) + " of policy " + policy);
  });
}

void InstallJob(CLI::App& synciq, ctl::Runtime& rt) {
  CLI::App* cmd = synciq.add_subcommand("job", "Show a policy's current (running, scheduled or paused) job");
  static std::string policy, stateText;
  cmd->add_option("POLICY", policy, "Policy name")->required();
  cmd->add_option("--state", stateText, "Only jobs in this state (running, finished, scheduled, ...)");
  cmd->callback([&rt]() {
    eIsilonSyncIQJobState state = SYNCIQ_JOB_STATE_NONE;
    if (!stateText.empty() && !ParseState(stateText, state)) {
      rt.Usage("unknown state '" + stateText + "'");
      return;
    }
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _IsilonSyncIQJobInfo job;
    if (!session->GetSyncIQJobInfo(job, policy, state)) {
      if (!NoJobFound(*session)) {
        rt.Failed("synciq job");
        return;
      }
      bool failed = false;
      if (!PolicyExists(*session, policy, failed)) {
        if (failed) {
          rt.Failed("synciq job");
        } else {
          rt.NotFound("policy", policy);
        }
        return;
      }
      job = _IsilonSyncIQJobInfo();  // the policy is there, with no such job
    }
    if (rt.options.json) {
      rt.PrintJson({{"ok", true},
                    {"found", job.nJobId != 0 || !job.strState.empty()},
                    {"job_id", job.nJobId},
                    {"state", job.strState},
                    {"policy_name", job.strPolicyName},
                    {"error", job.strError}});
    } else if (job.nJobId == 0 && job.strState.empty()) {
      std::cout << "Policy " << policy << " has no current job.\n";
    } else {
      rt.PrintTable({"JOB ID", "STATE", "POLICY", "ERROR"},
                    {{std::to_string(job.nJobId), job.strState, job.strPolicyName, job.strError}});
    }
  });
}

void InstallReport(CLI::App& synciq, ctl::Runtime& rt) {
  CLI::App* cmd = synciq.add_subcommand("report", "Show a job report of a policy, by job id or by state");
  static std::string policy, stateText;
  static unsigned int jobId = 0;
  cmd->add_option("POLICY", policy, "Policy name")->required();
  cmd->add_option("--job", jobId, "Job id")->check(ctl::WholeNumber(1, 4294967295LL));
  cmd->add_option("--state", stateText, "Take the first report in this state (running or finished)");
  cmd->callback([&rt]() {
    eIsilonSyncIQJobState state = SYNCIQ_JOB_STATE_NONE;
    if (!stateText.empty() && !ParseState(stateText, state)) {
      rt.Usage("unknown state '" + stateText + "'");
      return;
    }
    if (jobId == 0 && state == SYNCIQ_JOB_STATE_NONE) {
      rt.Usage("give --job ID or --state S");
      return;
    }
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _IsilonSyncIQJobReportInfo r;
    if (!session->GetSyncIQJobReport(r, jobId, policy, state)) {
      bool failed = !NoJobFound(*session);
      if (!failed && !PolicyExists(*session, policy, failed) && !failed) {
        rt.NotFound("policy", policy);
      } else if (!failed) {
        rt.NotFound("report", (jobId != 0 ? "job " + std::to_string(jobId) : std::string(StateName(state)) + " job") +
                                  " of policy " + policy);
      } else {
        rt.Failed("synciq report");
      }
      return;
    }
    if (rt.options.json) {
      rt.PrintJson({{"ok", true},
                    {"job_id", r.nJobId},
                    {"state", r.strState},
                    {"error", r.strError},
                    {"bytes_transferred", r.nBytesTransferred},
                    {"files_transferred", r.nFilesTransferred},
                    {"new_files_replicated", r.nNewFilesReplicated},
                    {"directories_replicated", r.nDirectoriesReplicated},
                    {"dirs_deleted", r.nDirsDeleted},
                    {"duration", r.nDuration},
                    {"target_snapshot", r.strTargetSnapshot}});
      return;
    }
    rt.PrintTable({"FIELD", "VALUE"}, {{"Job id", std::to_string(r.nJobId)},
                                       {"State", r.strState},
                                       {"Bytes transferred", std::to_string(r.nBytesTransferred)},
                                       {"Files transferred", std::to_string(r.nFilesTransferred)},
                                       {"New files replicated", std::to_string(r.nNewFilesReplicated)},
                                       {"Directories replicated", std::to_string(r.nDirectoriesReplicated)},
                                       {"Directories deleted", std::to_string(r.nDirsDeleted)},
                                       {"Duration", std::to_string(r.nDuration)},
                                       {"Error", r.strError},
                                       {"Target snapshot", r.strTargetSnapshot}});
  });
}

}  // namespace

ISILONCTL_COMMAND(synciq) {
  CLI::App* synciq = app.add_subcommand("synciq", "SyncIQ replication policies, jobs and reports");
  synciq->require_subcommand(1);
  InstallPolicies(*synciq, rt);
  InstallValidate(*synciq, rt);
  InstallStart(*synciq, rt);
  InstallJob(*synciq, rt);
  InstallReport(*synciq, rt);
}
