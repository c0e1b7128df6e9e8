// isilonctl snapshots and changelist: snapshots of directories, the change list between two of
// them, and the settings of the ChangelistCreate job type.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <thread>

#include "cli/Interrupt.h"
#include "cli/Runtime.h"
#include "host/FXString.h"
#include "host/Sleep.h"
#include "isilon/Paging.h"

namespace {

using nlohmann::json;

using ctl::TimeText;

json SnapJson(const _IsilonSnapInfo& s) {
  return {{"id", s.nId},         {"name", s.strName},     {"path", s.strPath},       {"size", s.nSize},
          {"state", s.strState}, {"created", s.nCreated}, {"has_locks", s.bHasLocks}};
}

// ---- snapshots -----------------------------------------------------------------------------

// The snapshot given by id or name, looked up on the cluster.
bool FindSnapshot(ManageIsilon& session, int id, const std::string& name, _IsilonSnapInfo& out, bool& found) {
  found = false;
  std::vector<_IsilonSnapInfo> list;
  if (!session.GetSnapshotList(list, "", name)) {
    // A name the cluster does not know is answered with AEC_NOT_FOUND.
    std::string code, message;
    session.GetLastError(code, message);
    return !name.empty() && code == "AEC_NOT_FOUND";
  }
  for (const auto& s : list) {
    if ((id != 0 && s.nId == id) || (id == 0 && s.strName == name)) {
      out = s;
      found = true;
      break;
    }
  }
  return true;
}

void InstallSnapshots(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* snapshots = app.add_subcommand("snapshots", "Snapshots of directories");
  snapshots->require_subcommand(1);

  CLI::App* list = snapshots->add_subcommand("list", "List snapshots (of one directory, or one by name)");
  static std::string listPath, listName;
  list->add_option("--path", listPath, "Only snapshots of this directory")->transform(ctl::PathArgument());
  list->add_option("--name", listName, "Only the snapshot with this name");
  list->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    std::vector<_IsilonSnapInfo> snaps;
    // A name the cluster does not know is answered with AEC_NOT_FOUND: an empty list.
    if (!session->GetSnapshotList(snaps, listPath, listName) &&
        !(!listName.empty() && rt.LastErrorIs("AEC_NOT_FOUND"))) {
      rt.Failed("snapshots list");
      return;
    }
    if (rt.options.json) {
      json out = json::array();
      for (const auto& s : snaps) out.push_back(SnapJson(s));
      rt.PrintJson({{"ok", true}, {"snapshots", out}, {"count", snaps.size()}});
      return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& s : snaps) {
      rows.push_back({std::to_string(s.nId), s.strName, s.strPath, TimeText(s.nCreated), ctl::SizeText(s.nSize),
                      s.strState, s.bHasLocks ? "yes" : "no"});
    }
    rt.PrintTable({"ID", "NAME", "PATH", "CREATED", "SIZE", "STATE", "LOCKED"}, rows,
                  ctl::Count(snaps.size(), "snapshot", "snapshots"));
  });

  CLI::App* create = snapshots->add_subcommand("create", "Take a snapshot of a directory");
  static std::string createPath, createName;
  create->add_option("PATH", createPath, "Cluster directory, e.g. /ifs/data")
      ->required()
      ->transform(ctl::PathArgument());
  create->add_option("NAME", createName, "Name of the new snapshot")->required();
  create->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    int id = 0;
    if (!session->CreateSnapshot(createPath, createName, id)) {
      rt.Failed("snapshots create");
      return;
    }
    // A library that does not read the id from the create reply leaves 0: look it up by name.
    _IsilonSnapInfo snap;
    bool found = false;
    if (id == 0 && FindSnapshot(*session, 0, createName, snap, found) && found) id = snap.nId;
    rt.PrintResult(
        {{"ok", true}, {"id", id}, {"name", createName}, {"path", createPath}},
        "Created snapshot " + createName + (id != 0 ? " (id " + std::to_string(id) + ")" : "") + " of " + createPath);
  });

  CLI::App* remove = snapshots->add_subcommand("delete", "Delete a snapshot by id or by name");
  static int deleteId = 0;
  static std::string deleteName;
  CLI::Option* idOption = remove->add_option("--id", deleteId, "Snapshot id")->check(ctl::WholeNumber(1, INT_MAX));
  CLI::Option* nameOption = remove->add_option("--name", deleteName, "Snapshot name");
  idOption->excludes(nameOption);
  ctl::AddChangeOptions(remove, rt);
  remove->callback([&rt, idOption, nameOption]() {
    if (idOption->count() == 0 && nameOption->count() == 0) {
      rt.Usage("snapshots delete needs --id or --name");
      return;
    }
    if (nameOption->count() != 0 && deleteName.empty()) {
      rt.Usage("snapshots delete: --name must not be empty");
      return;
    }
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    // The library wants the snapshot's directory next to an id or a name alone.
    _IsilonSnapInfo snap;
    bool found = false;
    if (!FindSnapshot(*session, deleteId, deleteName, snap, found)) {
      rt.Failed("snapshots delete");
      return;
    }
    const std::string what = deleteId != 0 ? "id " + std::to_string(deleteId) : deleteName;
    if (!found) {
      rt.PrintResult({{"ok", true}, {"deleted", false}}, "No snapshot " + what + ": nothing to delete.");
      return;
    }
    const std::string question =
        "Delete snapshot '" + snap.strName + "' (id " + std::to_string(snap.nId) + ") of " + snap.strPath + "?";
    switch (rt.Change(
        question, [&]() { return session->DeleteSnapshot(snap.strPath, deleteId != 0 ? "" : deleteName, deleteId); })) {
      case ctl::Runtime::ChangeOutcome::kMade: break;
      case ctl::Runtime::ChangeOutcome::kNotMade: return;
      case ctl::Runtime::ChangeOutcome::kFailed: rt.Failed("snapshots delete"); return;
    }
    rt.PrintResult({{"ok", true}, {"deleted", true}, {"id", snap.nId}, {"name", snap.strName}},
                   "Deleted snapshot " + snap.strName + " (id " + std::to_string(snap.nId) + ")");
  });
}

// ---- changelist create: progress while the library waits ----------------------------------

// While the library waits for a job, its wait observer gives the job's state after each poll
// and its sleeps give time to redraw the line, both on the caller's thread.
class WaitProgress {
 public:
  WaitProgress(const ctl::Runtime& rt, ManageIsilon& session) : rt_(rt), session_(session), start_(Clock::now()) {
    current_ = this;
    SetZemSleepHook(&Sleep);
    // An interrupt ends the wait at the transport, which then sends nothing more.
    session_.SetWaitObserver([this](const ManageIsilon::WaitProgress& poll) {
      state_ = poll.state;
      Draw();
      return true;
    });
  }
  ~WaitProgress() {
    session_.SetWaitObserver(nullptr);
    ctl::InstallInterruptibleSleep();
    current_ = nullptr;
    rt_.EndProgress();
  }
  WaitProgress(const WaitProgress&) = delete;
  WaitProgress& operator=(const WaitProgress&) = delete;

 private:
  using Clock = std::chrono::steady_clock;

  void Draw() const {
    const long long waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_).count();
    rt_.Progress("Change list job: " + (state_.empty() ? std::string("started") : state_) + ", waited " +
                 std::to_string(waited) + " s");
  }
  // The library's 2-second sleeps, in slices, redrawing the line.
  static void Sleep(unsigned int milliseconds, const char*, int) {
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (ctl::Interrupted() == 0 && Clock::now() < until) {
      if (current_) current_->Draw();
      const auto left = until - Clock::now();
      std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(250)));
    }
  }

  static WaitProgress* current_;
  const ctl::Runtime& rt_;
  ManageIsilon& session_;
  Clock::time_point start_;
  std::string state_;
};

WaitProgress* WaitProgress::current_ = nullptr;

// ---- changelist ----------------------------------------------------------------------------

json ItemJson(const _IsilonChangeListItem& item) {
  return {{"id", item.strId},     {"path", item.strPath}, {"type", item.strType}, {"size", item.nSize},
          {"atime", item.nAtime}, {"ctime", item.nCtime}, {"mtime", item.nMtime}};
}

void PrintItem(const ctl::Runtime& rt, const _IsilonChangeListItem& item, bool first) {
  if (ctl::Out().format == ctl::OutputFormat::kNdjson) {
    std::cout << ItemJson(item).dump() << '\n';
  } else if (rt.options.json) {
    std::cout << (first ? "\n    " : ",\n    ") << ItemJson(item).dump();
  } else {
    std::cout << FXString::Format("%-12s %-10s %14s  %s  ", item.strId.c_str(), item.strType.c_str(),
                                  ctl::SizeText(item.nSize).c_str(),
                                  TimeText(static_cast<long long>(item.nMtime)).c_str())
              << item.strPath << "\n";
  }
}

void InstallChangeList(CLI::App& app, ctl::Runtime& rt) {
  CLI::App* changelist = app.add_subcommand("changelist", "Change lists between two snapshots");
  changelist->require_subcommand(1);

  CLI::App* create = changelist->add_subcommand("create", "Start the job that builds a change list");
  static unsigned long long createOlder = 0, createNewer = 0;
  static bool wait = false;
  create->add_option("OLDER", createOlder, "Id of the older snapshot")
      ->required()
      ->check(ctl::WholeNumber(1, LLONG_MAX));
  create->add_option("NEWER", createNewer, "Id of the newer snapshot")
      ->required()
      ->check(ctl::WholeNumber(1, LLONG_MAX));
  create->add_flag("--wait", wait,
                   "Wait until the job has finished (limit: IsilonChangeListGenerationWaitTime, default 900 s)");
  create->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    CZemError error;
    if (wait && isatty(STDERR_FILENO)) {
      WaitProgress progress(rt, *session);
      error = session->CreateSnapshotChangeList(createOlder, createNewer, /*wait=*/true);
    } else {
      error = session->CreateSnapshotChangeList(createOlder, createNewer, wait);
    }
    const std::string id = std::to_string(createOlder) + "_" + std::to_string(createNewer);
    if (error.IsError() && ctl::Interrupted() != 0 && wait) {
      // The job was started; only the wait for it stops.
      rt.EndProgress();
      if (!rt.options.json)
        std::cerr << "isilonctl: stopped waiting; the change list job for " << id
                  << " may still be running on the cluster\n";
      rt.Interrupt();
      return;
    }
    if (error.IsError()) {
      rt.Failed("changelist create", error);
      return;
    }
    rt.PrintResult({{"ok", true}, {"changelist", id}, {"finished", wait}},
                   wait ? "Change list " + id + " is ready." : "Change list job for " + id + " started.");
  });

  CLI::App* get = changelist->add_subcommand("get", "Print a change list (one page, or all of it with --all)");
  static unsigned long long getOlder = 0, getNewer = 0;
  static bool all = false;
  static std::string resume;
  get->add_option("OLDER", getOlder, "Id of the older snapshot")->required()->check(ctl::WholeNumber(1, LLONG_MAX));
  get->add_option("NEWER", getNewer, "Id of the newer snapshot")->required()->check(ctl::WholeNumber(1, LLONG_MAX));
  get->add_flag("--all", all, "Follow the resume tokens to the end");
  get->add_option("--resume", resume, "Token of the page to print (from an earlier get)");
  get->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _IsilonChangeListInfo info;
    info.strResume = resume;
    unsigned long long count = 0;
    bool begun = false;
    json failure;
    // Printed as it comes, one page at a time, so memory stays that of one page.
    std::string token = resume;
    const isilon::PageWalk walk = isilon::FollowPages(
        token,
        [&](const std::string& from, std::string& next) {
          info.strResume = from;
          const CZemError error = session->GetSnapshotChangeList(getOlder, getNewer, info);
          if (error.IsError()) {
            std::string code, message;
            session->GetLastError(code, message);
            if (code.empty() && message.empty()) {
              code = "error " + std::to_string(error.Number());
              message = error.Message();
            }
            failure = {{"code", code}, {"message", message}, {"cause", session->GetLastTransportError()}};
            return isilon::PageStep::kFailed;
          }
          next = info.strResume;
          if (!begun) {
            begun = true;
            if (ctl::Out().format == ctl::OutputFormat::kNdjson) {
              // One item a line, nothing around them.
            } else if (rt.options.json) {
              std::cout << "{\n  \"changelist\": \"" << getOlder << "_" << getNewer
                        << "\",\n  \"total\": " << info.nTotal << ",\n  \"items\": [";
            } else if (!ctl::Out().noHeaders) {
              std::cout << FXString::Format("%-12s %-10s %14s  %-19s  %s\n", "ID", "TYPE", "SIZE", "MODIFIED", "PATH");
            }
          }
          for (const auto& item : info.lstItems) PrintItem(rt, item, count++ == 0);
          std::cout.flush();
          if (rt.OutputBroken() || !all) return isilon::PageStep::kFound;  // one page, or nobody reads the rest
          rt.Progress("Read " + std::to_string(count) + " entries...");
          return isilon::PageStep::kNext;
        },
        isilon::RepeatedTokens::kStop);
    if (walk == isilon::PageWalk::kRepeatedToken) {
      failure = {
          {"code", isilon::RepeatedResumeCode()}, {"message", isilon::RepeatedResumeMessage(token)}, {"cause", ""}};
    }
    rt.EndProgress();
    if (begun && rt.options.json && ctl::Out().format != ctl::OutputFormat::kNdjson) {
      // A listing that stopped early says why in the same object.
      json tail = {{"count", count},
                   {"resume", all ? std::string() : info.strResume},
                   {"complete", failure.is_null()},
                   {"ok", failure.is_null()}};
      if (!failure.is_null()) tail.update(failure);
      const std::string members = tail.dump(2);
      std::cout << (count == 0 ? "" : "\n  ") << "]," << members.substr(1, members.size() - 2) << "}" << std::endl;
      if (!failure.is_null()) rt.exitCode = ctl::kExitFailed;
      return;
    }
    if (begun && failure.is_null() && !rt.options.json) {
      if (ctl::ShowFooter()) std::cout << ctl::Count(count, "entry", "entries") << std::endl;
      // A hint for a person; a script reads the token with -o json.
      if (!all && !info.strResume.empty() && ctl::ShowFooter()) {
        std::cout << "More entries: isilonctl changelist get " << getOlder << " " << getNewer << " --resume "
                  << info.strResume << std::endl;
      }
    }
    if (!failure.is_null()) rt.Failed("changelist get", failure["code"], failure["message"], failure["cause"]);
  });

  CLI::App* jobtype = changelist->add_subcommand("jobtype", "Settings of the ChangelistCreate job type");
  jobtype->require_subcommand(1);
  CLI::App* show = jobtype->add_subcommand("get", "Show the job type's settings");
  show->callback([&rt]() {
    ManageIsilon* session = rt.Session();
    if (session == nullptr) return;
    _ChangeListCreateJobInfo info;
    const CZemError error = session->GetChangeListJobInfo(info);
    if (error.IsError()) {
      rt.Failed("changelist jobtype get", error);
      return;
    }
    rt.PrintResult({{"ok", true},
                    {"enabled", info.bEnabled},
                    {"allow_multiple_instances", info.bAllowMultipleInstances},
                    {"priority", info.nPriority},
                    {"policy", info.strPolicy}},
                   std::string("Enabled:                  ") + (info.bEnabled ? "yes" : "no") +
                       "\nAllow multiple instances: " + (info.bAllowMultipleInstances ? "yes" : "no") +
                       "\nPriority:                 " + std::to_string(info.nPriority) +
                       "\nPolicy:                   " + info.strPolicy);
  });
  for (const bool enable : {true, false}) {
    CLI::App* cmd = jobtype->add_subcommand(enable ? "enable" : "disable",
                                            enable ? "Enable ChangelistCreate jobs" : "Disable ChangelistCreate jobs");
    if (!enable) ctl::AddChangeOptions(cmd, rt);
    cmd->callback([&rt, enable]() {
      ManageIsilon* session = rt.Session();
      if (session == nullptr) return;
      _ChangeListCreateJobInfo info;
      info.bEnabled = enable;
      CZemError error;
      auto change = [&]() {
        error = session->SetChangeListJobInfo(info);
        return !error.IsError();
      };
      // Disabling stops every change list the cluster would build from now on.
      const ctl::Runtime::ChangeOutcome outcome =
          enable ? (change() ? ctl::Runtime::ChangeOutcome::kMade : ctl::Runtime::ChangeOutcome::kFailed)
                 : rt.Change("Disable ChangelistCreate jobs on the cluster (no change list can be built)?", change);
      if (outcome == ctl::Runtime::ChangeOutcome::kNotMade) return;
      if (outcome == ctl::Runtime::ChangeOutcome::kFailed) {
        rt.Failed(enable ? "changelist jobtype enable" : "changelist jobtype disable", error);
        return;
      }
      rt.PrintResult({{"ok", true}, {"enabled", enable}},
                     enable ? "ChangelistCreate jobs enabled." : "ChangelistCreate jobs disabled.");
    });
  }
}

}  // namespace

ISILONCTL_COMMAND(snapshot_commands) {
  InstallSnapshots(app, rt);
  InstallChangeList(app, rt);
}
