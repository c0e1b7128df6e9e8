// A simulated day of a backup agent's work: one ManageIsilon, kept for the whole run, against
// an in-process 3-node cluster whose clock moves forward between work items. Sessions expire
// (15 minutes idle, 4 hours at most), one node restarts every simulated hour, and 1% of the
// requests get a transient fault (503 or a cut connection, fixed seed). The library's sleeps
// move the simulator's clock instead of waiting, so a day passes in a few minutes.
//
//   endurance [--hours=24] [--address=127.0.0.140] [--change-list-entries=1000000]
//             [--directory-entries=100000] [--fault-rate=0.01] [--fault-seed=16]
//
// Prints one result line per figure and exits 1 when an operation failed or a walk read other
// entries than the simulator holds (count and an order-independent checksum of the ids).
//
// A POST or DELETE whose connection is cut before the reply is not repeated by the library (the
// cluster may have acted on it); the agent settles it as a backup agent must: it looks whether
// the change happened and makes it again when not, or repeats the delete (which finds nothing
// to delete when the first one went through). Those are counted apart ("cut off, settled").
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/ProcessStats.h"
#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Server.h"
#include "sim/namespace/NamespaceModule.h"
#include "sim/snapshot/SnapshotModule.h"
#include "sim/synciq/SyncIQ.h"

namespace {

struct Options {
  double hours = 24;
  std::string address = "127.0.0.140";  // the first node; the others follow it
  size_t changeListEntries = 1000000;
  size_t directoryEntries = 100000;
  double faultRate = 0.01;
  uint64_t faultSeed = 16;
};

const size_t kNodes = 3;
const unsigned long long kSyntheticOlder = 9000, kSyntheticNewer = 9001;
const char kBigDirectory[] = "/ifs/endurance/big";
const char kPolicy[] = "endurance-dr";
const int kFilesPerHour = 40;
// Growth tolerated from hour 2 to the end: the simulator's own data grows a little every hour.
const long kRssAllowanceKiB = 8192, kFdAllowance = 4;

isim::Server* g_server = nullptr;

// The library's back-off and polling waits pass on the simulated clock.
void AdvanceInsteadOfSleeping(unsigned int milliseconds, const char*, int) {
  if (g_server != nullptr) g_server->clock().advance(milliseconds / 1000.0);
}

using bench::OpenDescriptors;
using bench::ResidentKiB;

// FNV-1a: the checksums add these up, so the order of reading does not matter while an entry
// lost or read twice does.
uint64_t Hash(const std::string& text) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

struct Tally {
  size_t count = 0;
  uint64_t checksum = 0;
  void Add(const std::string& id) {
    ++count;
    checksum += Hash(id);
  }
  bool operator==(const Tally& o) const { return count == o.count && checksum == o.checksum; }
};

// Other programs (test suites run side by side) take the same per-address lock files before
// serving on an address.
bool LockAddress(const std::string& address, std::vector<int>& fds) {
  const std::string path = "/tmp/isilon-sim-" + address + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  for (int i = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; ++i) {
    if (i > 6000) {
      close(fd);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fds.push_back(fd);
  return true;
}

class Agent {
 public:
  Agent(isim::Server& server, const Options& options) : server_(server), options_(options) {
    session_.SetFileServer(server.nodeAddress(0));
    session_.SetUser("admin");
    session_.SetPasswd("secret");
  }

  // One simulated hour of work; `hour` counts from 0.
  void Hour(int hour) {
    // Every 8 hours one hour has a pause longer than the idle time-out; in between, sessions
    // live until their 4 hours are up or their node restarts.
    const bool idleHour = hour % 8 == 6;
    const double gap = idleHour ? 300 : 400;
    const double longGap = idleHour ? 1200 : 400;
    // The node to restart: the session's own now and then, another one otherwise.
    const size_t sessionNode = SessionNode();
    const size_t restart = hour % 8 == 1 ? sessionNode : (sessionNode + 1 + hour % 2) % kNodes;
    server_.stopNode(restart);
    ++restarts_;

    Snapshots(hour);
    Wait(gap);
    Shares(hour);
    server_.startNode(restart);
    Wait(gap);
    Exports(hour);
    Wait(longGap);
    SyncIQ(hour);
    Wait(gap);
    DirectoryWalk();
    Wait(gap);
    ClusterInfo();
    Wait(gap);
    if (hour == 1) {
      FullChangeListWalk();
      FullDirectoryWalk();
    }
    Wait(3600 - 5 * gap - longGap);
  }

  void Close() { session_.CloseConnection(); }

  unsigned long long done() const { return done_; }
  unsigned long long failed() const { return failed_; }
  unsigned long long settled() const { return settled_; }
  unsigned long long restarts() const { return restarts_; }
  ManageIsilon::RequestCounters counters() const { return session_.GetRequestCounters(); }
  const Tally& changeList() const { return changeList_; }
  const Tally& directory() const { return directory_; }
  bool changeListWalked() const { return changeListWalked_; }
  bool directoryWalked() const { return directoryWalked_; }

 private:
  void Wait(double seconds) { server_.clock().advance(seconds); }

  // The node that served the last request (the session's node).
  size_t SessionNode() {
    const auto entries = server_.requestLog().entries();
    return entries.empty() ? 0 : entries.back().node;
  }

  // No reply came: the cluster may or may not have acted on the request.
  bool CutOff() const {
    const std::string cause = session_.GetLastTransportError();
    return cause.find("Empty reply") != std::string::npos || cause.find("reset") != std::string::npos ||
           cause.find("Recv failure") != std::string::npos;
  }

  // A change whose reply was cut off: `settle` looks whether it happened and makes it again when
  // not (once); it fails the operation when that does not settle it.
  bool Change(bool ok, const char* what, const std::function<bool()>& settle) {
    if (ok || !CutOff()) return Check(ok, what);
    ++settled_;
    return Check(settle(), what);
  }

  bool Check(bool ok, const char* what) {
    ++done_;
    if (ok) return true;
    ++failed_;
    std::string code, message;
    session_.GetLastError(code, message);
    if (failed_ <= 20) {
      std::cerr << "endurance: " << what << " failed: [" << code << "] " << message
                << " (transport: " << session_.GetLastTransportError() << ")\n";
    }
    return false;
  }

  void Snapshots(int hour) {
    const std::string tag = "endurance-" + std::to_string(hour);
    int older = 0, newer = 0;
    if (!CreateSnapshot(tag + "-a", older)) return;
    // The agent's data changes between two backups.
    isim::ns::Tree& tree = server_.module<isim::NamespaceModule>()->tree();
    for (int i = 0; i < kFilesPerHour; ++i)
      tree.AddFile("/ifs/data/endurance/h" + std::to_string(hour) + "/f" + std::to_string(i), isim::ns::NewEntry(),
                   /*parents=*/true);
    Wait(60);
    if (!CreateSnapshot(tag + "-b", newer)) return;
    std::vector<_IsilonSnapInfo> snaps;
    Check(session_.GetSnapshotList(snaps, "/ifs/data", ""), "GetSnapshotList");
    size_t ours = 0;
    for (const auto& s : snaps) ours += s.nId == older || s.nId == newer;
    Check(ours == 2, "GetSnapshotList (both snapshots listed)");

    unsigned long long olderId = older, newerId = newer;
    const auto createChangeList = [&] {
      return !session_.CreateSnapshotChangeList(olderId, newerId, /*wait=*/true).IsError();
    };
    if (Change(createChangeList(), "CreateSnapshotChangeList", createChangeList)) {
      std::set<std::string> ids;
      size_t read = 0;
      _IsilonChangeListInfo info;
      do {
        if (!Check(!session_.GetSnapshotChangeList(olderId, newerId, info).IsError(), "GetSnapshotChangeList")) break;
        for (const auto& item : info.lstItems) ids.insert(item.strId);
        read += info.lstItems.size();
      } while (!info.strResume.empty());
      // The files added and their new directory, each once.
      Check(read == ids.size() && read >= static_cast<size_t>(kFilesPerHour) + 1, "change list entries");
    }
    DeleteSnapshot(tag + "-a", older);
    DeleteSnapshot(tag + "-b", newer);
  }

  bool CreateSnapshot(const std::string& name, int& id) {
    return Change(session_.CreateSnapshot("/ifs/data", name, id), "CreateSnapshot", [&] {
      std::vector<_IsilonSnapInfo> snaps;
      if (!session_.GetSnapshotList(snaps, "/ifs/data", name)) snaps.clear();
      for (const auto& s : snaps) {
        if (s.strName == name) return (id = s.nId) != 0;
      }
      return session_.CreateSnapshot("/ifs/data", name, id);
    });
  }

  bool DeleteSnapshot(const std::string& name, int id) {
    const auto remove = [&] { return session_.DeleteSnapshot("/ifs/data", name, id); };
    return Change(remove(), "DeleteSnapshot", remove);
  }

  void Shares(int hour) {
    const std::string name = "endurance-" + std::to_string(hour);
    const auto listed = [&] {
      std::vector<_IsilonShareInfo> shares;
      return session_.GetCIFSSharesList(shares, name, "", "") && shares.size() == 1;
    };
    const auto create = [&] { return session_.CreateCIFSShare(name, "/ifs/data", "", ""); };
    if (!Change(create(), "CreateCIFSShare", [&] { return listed() || create(); })) return;
    Check(listed(), "GetCIFSSharesList");
    const auto remove = [&] { return session_.DeleteCIFSShare(name, "/ifs/data", ""); };
    Change(remove(), "DeleteCIFSShare", remove);
  }

  void Exports(int hour) {
    _IsilonNFSPermissions permissions;
    permissions.setClients.insert("192.0.2." + std::to_string(1 + hour % 250));
    unsigned int id = 0;
    const std::string path = "/ifs/data/endurance/export-" + std::to_string(hour);
    const auto create = [&] {
      return session_.CreateNFSExport(id, {path}, permissions, "", "", /*readOnly=*/false, /*allDirs=*/true) && id != 0;
    };
    const auto found = [&] {
      std::vector<_IsilonNFSExportInfo> exports;
      if (session_.GetNFSExportList(exports, 0, path, "") && exports.size() == 1) id = exports.front().nId;
      return id != 0;
    };
    if (!Change(create(), "CreateNFSExport", [&] { return found() || create(); })) return;
    std::vector<_IsilonNFSExportInfo> exports;
    Check(session_.GetNFSExportList(exports, id, "", "") && exports.size() == 1, "GetNFSExportList");
    const auto remove = [&] { return session_.DeleteNFSExport(id, ""); };
    Change(remove(), "DeleteNFSExport", remove);
  }

  void SyncIQ(int hour) {
    unsigned int jobId = 0;
    _IsilonSyncIQJobInfo job;
    const auto start = [&] {
      return session_.StartSyncIQJob(kPolicy, "endurance-" + std::to_string(hour), jobId) && jobId != 0;
    };
    const auto running = [&] {
      return session_.GetSyncIQJobInfo(job, kPolicy, SYNCIQ_JOB_STATE_NONE) && (jobId = job.nJobId) != 0;
    };
    if (!Change(start(), "StartSyncIQJob", [&] { return running() || start(); })) return;
    Check(session_.GetSyncIQJobInfo(job, kPolicy, SYNCIQ_JOB_STATE_NONE) && job.nJobId == jobId, "GetSyncIQJobInfo");
    Wait(120);  // the job runs a minute
    _IsilonSyncIQJobReportInfo report;
    Check(session_.GetSyncIQJobReport(report, jobId, kPolicy, SYNCIQ_JOB_STATE_NONE) &&
              report.eState == SYNCIQ_JOB_STATE_FINISHED,
          "GetSyncIQJobReport");
  }

  // The agent browses /ifs/data in small pages.
  void DirectoryWalk() {
    std::string token;
    const isilon::PageWalk walk = isilon::FollowPages(
        token,
        [&](const std::string& from, std::string& next) {
          std::vector<_IsilonFileInfo> page;
          next = from;
          if (!Check(session_.GetFileList(page, "/ifs/data", next, 5), "GetFileList")) return isilon::PageStep::kFailed;
          return isilon::PageStep::kNext;
        },
        isilon::RepeatedTokens::kStop);
    Check(walk == isilon::PageWalk::kComplete, "directory walk");
  }

  void ClusterInfo() {
    std::vector<_IsilonVersionInfo> nodes;
    Check(!session_.GetVersionInfo(nodes).IsError(), "GetVersionInfo");
    std::vector<std::string> ips;
    Check(session_.GetExternalIPs(ips), "GetExternalIPs");
    std::vector<_IsilonAccessZoneInfo> zones;
    Check(!session_.GetAccessZonesList(zones).IsError(), "GetAccessZonesList");
    _ChangeListCreateJobInfo jobType;
    Check(!session_.GetChangeListJobInfo(jobType).IsError(), "GetChangeListJobInfo");
  }

  // Events in the middle of a long walk: at a third the session sits idle past its time-out,
  // at two thirds its node goes down for a few pages.
  void MidWalk(size_t page, size_t pages, size_t& downNode, bool& down) {
    if (page == pages / 3) Wait(1000);
    if (page == 2 * pages / 3) {
      downNode = SessionNode();
      down = server_.stopNode(downNode);
    }
    if (down && page == 2 * pages / 3 + 3) {
      server_.startNode(downNode);
      down = false;
    }
  }

  void FullChangeListWalk() {
    unsigned long long older = kSyntheticOlder, newer = kSyntheticNewer;
    _IsilonChangeListInfo info;
    size_t page = 0, downNode = 0;
    bool down = false;
    const size_t pages = options_.changeListEntries / 1000 + 1;  // the cluster's pages are at most 1000
    do {
      MidWalk(page++, pages, downNode, down);
      if (!Check(!session_.GetSnapshotChangeList(older, newer, info).IsError(), "GetSnapshotChangeList (full)")) break;
      for (const auto& item : info.lstItems) changeList_.Add(item.strId);
    } while (!info.strResume.empty());
    if (down) server_.startNode(downNode);
    changeListWalked_ = true;
  }

  void FullDirectoryWalk() {
    std::string token;
    size_t page = 0, downNode = 0;
    bool down = false;
    const int limit = 1000;
    const size_t pages = options_.directoryEntries / limit + 1;
    const isilon::PageWalk walk = isilon::FollowPages(
        token,
        [&](const std::string& from, std::string& next) {
          MidWalk(page++, pages, downNode, down);
          std::vector<_IsilonFileInfo> files;
          next = from;
          if (!Check(session_.GetFileList(files, kBigDirectory, next, limit), "GetFileList (full)"))
            return isilon::PageStep::kFailed;
          for (const auto& f : files) directory_.Add(f.strName);
          return isilon::PageStep::kNext;
        },
        isilon::RepeatedTokens::kStop);
    if (down) server_.startNode(downNode);
    Check(walk == isilon::PageWalk::kComplete, "full directory walk");
    directoryWalked_ = true;
  }

  isim::Server& server_;
  const Options& options_;
  ManageIsilon session_;
  unsigned long long done_ = 0, failed_ = 0, settled_ = 0, restarts_ = 0;
  Tally changeList_, directory_;
  bool changeListWalked_ = false, directoryWalked_ = false;
};

bool Take(const char* arg, const char* name, std::string& value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  value = arg + n + 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string v;
    if (Take(argv[i], "--hours", v)) {
      options.hours = std::strtod(v.c_str(), nullptr);
    } else if (Take(argv[i], "--address", v)) {
      options.address = v;
    } else if (Take(argv[i], "--change-list-entries", v)) {
      options.changeListEntries = std::strtoull(v.c_str(), nullptr, 10);
    } else if (Take(argv[i], "--directory-entries", v)) {
      options.directoryEntries = std::strtoull(v.c_str(), nullptr, 10);
    } else if (Take(argv[i], "--fault-rate", v)) {
      options.faultRate = std::strtod(v.c_str(), nullptr);
    } else if (Take(argv[i], "--fault-seed", v)) {
      options.faultSeed = std::strtoull(v.c_str(), nullptr, 10);
    } else {
      std::cerr << "endurance: unknown argument " << argv[i] << "\n"
                << "usage: endurance [--hours=24] [--address=127.0.0.140] [--change-list-entries=N]"
                   " [--directory-entries=N] [--fault-rate=P] [--fault-seed=S]\n";
      return 2;
    }
  }
  const int hours = static_cast<int>(options.hours);
  if (hours < 2 || options.changeListEntries == 0 || options.directoryEntries == 0) {
    std::cerr << "endurance: --hours must be at least 2, the entry counts above 0\n";
    return 2;
  }

  isim::Config config;
  std::string error;
  if (!isim::consecutiveAddresses(options.address, kNodes, config.nodeAddresses, error)) {
    std::cerr << "endurance: " << error << "\n";
    return 2;
  }
  config.address = config.nodeAddresses.front();
  config.demo = true;
  config.idleTimeout = 900;
  config.absoluteTimeout = 14400;
  config.faultRate = options.faultRate;
  config.faultSeed = options.faultSeed;
  config.requestLogCapacity = 64;
  std::vector<int> locks;
  for (const auto& a : config.nodeAddresses) {
    if (!LockAddress(a, locks)) {
      std::cerr << "endurance: " << a << " stays busy\n";
      return 1;
    }
  }

  isim::Server server(config);
  server.module<isim::SnapshotModule>()->addSyntheticChangeList(kSyntheticOlder, kSyntheticNewer,
                                                                options.changeListEntries);
  server.module<isim::NamespaceModule>()->tree().Generate(kBigDirectory, options.directoryEntries, /*dirs=*/0);
  auto* siq = server.module<isim::synciq::SyncIQModule>();
  isim::synciq::Policy policy;
  policy.name = kPolicy;
  policy.sourceRootPath = "/ifs/data";
  policy.targetPath = "/ifs/dr/data";
  siq->addPolicy(policy);
  isim::synciq::Settings settings = siq->settings();
  settings.timing.appearAfter = 0;
  settings.timing.runFor = 60;
  siq->setSettings(settings);

  char certFile[] = "/tmp/endurance-cert-XXXXXX";
  char registry[] = "/tmp/endurance-registry-XXXXXX";
  const int certFd = mkstemp(certFile), registryFd = mkstemp(registry);
  if (certFd < 0 || registryFd < 0) return 1;
  close(certFd);
  close(registryFd);
  if (!server.start(&error) || !server.writeCertificate(certFile)) {
    std::cerr << "endurance: cannot start the simulator: " << error << "\n";
    return 1;
  }
  {
    std::ofstream out(registry);
    out << "[NAS]\nsIsilonCAFile=" << certFile << "\nsIsilonNodeAddresses=";
    for (size_t i = 0; i < kNodes; ++i) out << (i ? "," : "") << server.nodeAddress(i);
    out << "\nnIsilonConnectTimeout=10\nnIsilonRequestTimeout=60\n";
  }
  setenv("ISILON_REGISTRY", registry, 1);
  g_server = &server;
  SetZemSleepHook(&AdvanceInsteadOfSleeping);

  const auto began = std::chrono::steady_clock::now();
  const long rssStart = ResidentKiB(), fdsStart = OpenDescriptors();
  bool ok = true;
  // After the first two hours (the long walks among them) the process has its working size;
  // from there on nothing should grow. Descriptors go up and down with the connections the
  // transport keeps (to whichever nodes it used), so their highest count after each hour is
  // compared.
  long rssWarm = rssStart, fdsWarm = fdsStart, fdsLater = 0, rssEnd = 0, fdsEnd = 0, fdsClosed = 0;
  {
    Agent agent(server, options);
    for (int hour = 0; hour < hours; ++hour) {
      agent.Hour(hour);
      const long fds = OpenDescriptors();
      if (hour <= 1) fdsWarm = std::max(fdsWarm, fds);
      if (hour == 1) rssWarm = ResidentKiB();
      if (hour > 1) fdsLater = std::max(fdsLater, fds);
    }
    rssEnd = ResidentKiB();
    fdsEnd = OpenDescriptors();
    agent.Close();
    fdsClosed = OpenDescriptors();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    Tally expectedChanges, expectedDirectory;
    // The simulator's synthetic change list: entry i has the LIN 0x100000000 + i as its id.
    for (size_t i = 0; i < options.changeListEntries; ++i) expectedChanges.Add(std::to_string(0x100000000ULL + i));
    isim::ns::Page listing;
    server.module<isim::NamespaceModule>()->tree().List(kBigDirectory, "", 0, listing);
    for (const auto& e : listing.entries) expectedDirectory.Add(e.name);

    const ManageIsilon::RequestCounters c = agent.counters();
    const isim::RandomFaults::Stats faults = server.randomFaults().stats();
    std::printf("simulated hours: %d (%.1f s real)\n", hours, seconds);
    std::printf("node restarts: %llu\n", agent.restarts());
    std::printf("requests drawn for faults: %llu, answered 503: %llu, cut: %llu\n",
                static_cast<unsigned long long>(faults.asked), static_cast<unsigned long long>(faults.unavailable),
                static_cast<unsigned long long>(faults.resets));
    std::printf("operations done: %llu\n", agent.done());
    std::printf("operations failed: %llu\n", agent.failed());
    std::printf("changes cut off without reply (not repeated by the library), settled by the agent: %llu\n",
                agent.settled());
    std::printf("change-list entries read: %zu of %zu, checksum %016llx of %016llx\n", agent.changeList().count,
                expectedChanges.count, static_cast<unsigned long long>(agent.changeList().checksum),
                static_cast<unsigned long long>(expectedChanges.checksum));
    std::printf("directory entries read: %zu of %zu, checksum %016llx of %016llx\n", agent.directory().count,
                expectedDirectory.count, static_cast<unsigned long long>(agent.directory().checksum),
                static_cast<unsigned long long>(expectedDirectory.checksum));
    std::printf("re-opened sessions: %llu\n", c.reopenedSessions);
    std::printf("retries: %llu\n", c.retries);
    std::printf("node switches: %llu\n", c.nodeSwitches);
    std::printf("resident memory: %.1f MiB at start, %.1f MiB after hour 2, %.1f MiB at end\n", rssStart / 1024.0,
                rssWarm / 1024.0, rssEnd / 1024.0);
    std::printf(
        "open descriptors: %ld at start, at most %ld in hours 1-2, at most %ld later, %ld at end, %ld once the session "
        "closed\n",
        fdsStart, fdsWarm, fdsLater, fdsEnd, fdsClosed);

    ok = agent.failed() == 0 && agent.changeListWalked() && agent.directoryWalked() &&
         agent.changeList() == expectedChanges && agent.directory() == expectedDirectory &&
         rssEnd - rssWarm <= kRssAllowanceKiB && fdsLater <= fdsWarm + kFdAllowance;
  }
  SetZemSleepHook(nullptr);
  g_server = nullptr;
  server.stop();
  std::remove(registry);
  std::remove(certFile);
  for (int fd : locks) close(fd);
  std::printf("%s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
