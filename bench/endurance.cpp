// A simulated stretch of a backup agent's work: one ManageIsilon, kept for the whole run,
// against a 3-node isilon-sim in its own process (so that each side's memory is measured
// apart), whose clock this program moves forward between work items through the admin
// endpoints. Sessions expire (15 minutes idle, 4 hours at most), one node restarts every
// simulated hour, and a share of the requests (1% by default) get a transient fault (503 or a
// cut connection, fixed seed). The library's sleeps move the simulator's clock instead of
// waiting, so a day passes in seconds.
//
//   endurance [--hours=24] [--address=127.0.0.140] [--change-list-entries=1000000]
//             [--directory-entries=100000] [--fault-rate=0.01] [--fault-seed=16] [--sim=PATH]
//
// Prints one result line per figure, then PASS, or FAILED with exit status 1 when an operation
// failed, a walk read other entries than the simulator holds (count and an order-independent
// checksum of the ids), or memory or descriptors grew past the allowance.
//
// A change whose connection is cut before the reply and that the library does not settle
// itself (a change-list job, a SyncIQ start) is settled here as a backup agent must: it looks
// whether the change happened and makes it again when not, or repeats it. Those are counted
// apart ("settled by the agent").
#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
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
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/ProcessStats.h"
#include "host/Sleep.h"
#include "isilon/ManageIsilon.h"

namespace {

struct Options {
  double hours = 24;
  std::string address = "127.0.0.140";  // the first node; the others follow it
  size_t changeListEntries = 1000000;
  size_t directoryEntries = 100000;
  double faultRate = 0.01;
  uint64_t faultSeed = 16;
  std::string sim;  // the isilon-sim program; default: beside this one in the build tree
};

const size_t kNodes = 3;
const unsigned long long kSyntheticOlder = 9000, kSyntheticNewer = 9001;
const char kBigDirectory[] = "/ifs/endurance/big";
const char kPolicy[] = "projects-dr";  // one of the simulator's sample policies
const int kFilesPerHour = 40;
// Growth tolerated from hour 2 to the end: nothing of the client's work is kept, so its resident
// size stays put. The simulator keeps what the agent made (files, change lists, reports) as a
// cluster does, so its heap in use grows; its resident size may grow by that and little more
// (pages the allocator keeps).
const long kClientRssAllowanceKiB = 8192, kSimKeptAllowanceKiB = 32768, kFdAllowance = 4;

using bench::OpenDescriptors;
using bench::ResidentKiB;

// A field of /proc/PID/status ("VmRSS", "Threads"), or -1.
long StatusField(pid_t pid, const char* name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string key = std::string(name) + ":";
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
  }
  return -1;
}

long Descriptors(pid_t pid) {
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  long count = 0;
  while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

// One side's figures at one moment.
struct Memory {
  long rssKiB = 0, heapKiB = 0, fds = 0, threads = 0;
};

Memory ClientMemory() {
  const struct mallinfo2 heap = mallinfo2();
  return Memory{ResidentKiB(), static_cast<long>((heap.uordblks + heap.hblkhd) / 1024), OpenDescriptors(),
                StatusField(getpid(), "Threads")};
}

std::string Text(const Memory& m) {
  char line[160];
  std::snprintf(line, sizeof line, "RSS %.1f MiB, heap in use %.1f MiB, %ld descriptors, %ld threads",
                m.rssKiB / 1024.0, m.heapKiB / 1024.0, m.fds, m.threads);
  return line;
}

// The simulator's admin endpoints (/_sim/), on whichever node runs. They never get faults.
class SimAdmin {
 public:
  SimAdmin(std::vector<std::string> nodes, std::string caFile)
      : nodes_(std::move(nodes)), running_(nodes_.size(), true), caFile_(std::move(caFile)), curl_(curl_easy_init()) {}
  ~SimAdmin() { curl_easy_cleanup(curl_); }
  SimAdmin(const SimAdmin&) = delete;
  SimAdmin& operator=(const SimAdmin&) = delete;

  // The reply's body, or false when no node answered with a 2xx.
  bool Call(const char* method, const std::string& path, const std::string& body, std::string& reply,
            size_t avoid = SIZE_MAX) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      size_t node = 0;
      while (node < nodes_.size() && (!running_[node] || node == avoid)) ++node;
      if (node == nodes_.size()) return false;
      reply.clear();
      long status = 0;
      curl_easy_reset(curl_);
      const std::string url = "https://" + nodes_[node] + ":8080" + path;
      curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
      curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.c_str());
      curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method);
      if (std::strcmp(method, "GET") != 0) {
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
      }
      // A reused connection to a node that went down since is dropped and the call made afresh.
      curl_easy_setopt(curl_, CURLOPT_FRESH_CONNECT, attempt > 0 ? 1L : 0L);
      curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &SimAdmin::Collect);
      curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply);
      if (curl_easy_perform(curl_) != CURLE_OK) continue;
      curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
      return status >= 200 && status < 300;
    }
    return false;
  }

  bool Advance(double seconds) {
    std::string reply;
    return Call("POST", "/_sim/clock", nlohmann::json{{"advance", seconds}}.dump(), reply);
  }
  bool StopNode(size_t i) {
    std::string reply;
    if (!running_[i] || !Call("POST", "/_sim/nodes/" + std::to_string(i) + "/stop", "", reply, /*avoid=*/i))
      return false;
    running_[i] = false;
    return true;
  }
  bool StartNode(size_t i) {
    std::string reply;
    if (running_[i] || !Call("POST", "/_sim/nodes/" + std::to_string(i) + "/start", "", reply)) return false;
    running_[i] = true;
    return true;
  }
  bool AddFiles(const std::vector<std::string>& paths) {
    std::string reply;
    return Call("POST", "/_sim/namespace/files", nlohmann::json{{"paths", paths}}.dump(), reply);
  }
  // The node that served the last logged request (0 when none was logged).
  size_t LastNode() {
    std::string reply;
    if (!Call("GET", "/_sim/requests", "", reply)) return 0;
    const nlohmann::json j = nlohmann::json::parse(reply, nullptr, /*allow_exceptions=*/false);
    if (!j.is_object() || !j.contains("requests") || !j["requests"].is_array() || j["requests"].empty()) return 0;
    return j["requests"].back().value("node", size_t{0});
  }
  nlohmann::json Stats() {
    std::string reply;
    if (!Call("GET", "/_sim/stats", "", reply)) return nlohmann::json::object();
    return nlohmann::json::parse(reply, nullptr, /*allow_exceptions=*/false);
  }

 private:
  static size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
  }

  const std::vector<std::string> nodes_;
  std::vector<bool> running_;
  const std::string caFile_;
  CURL* const curl_;
  std::mutex mutex_;
};

SimAdmin* g_admin = nullptr;

// The library's back-off and polling waits pass on the simulated clock.
void AdvanceInsteadOfSleeping(unsigned int milliseconds, const char*, int) {
  if (g_admin != nullptr) g_admin->Advance(milliseconds / 1000.0);
}

Memory SimMemory(pid_t pid, SimAdmin& admin) {
  Memory m{StatusField(pid, "VmRSS"), -1, Descriptors(pid), StatusField(pid, "Threads")};
  const nlohmann::json stats = admin.Stats();
  if (stats.contains("heap") && stats["heap"].is_object())
    m.heapKiB = static_cast<long>(stats["heap"].value("in_use", uint64_t{0}) / 1024);
  return m;
}

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
  Agent(SimAdmin& sim, const std::string& firstNode, const Options& options) : sim_(sim), options_(options) {
    session_.SetFileServer(firstNode);
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
    sim_.StopNode(restart);
    ++restarts_;

    Snapshots(hour);
    Wait(gap);
    Shares(hour);
    sim_.StartNode(restart);
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
  void Wait(double seconds) { sim_.Advance(seconds); }

  // The node that served the last request (the session's node).
  size_t SessionNode() { return sim_.LastNode(); }

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
    std::vector<std::string> files;
    for (int i = 0; i < kFilesPerHour; ++i)
      files.push_back("/ifs/data/endurance/h" + std::to_string(hour) + "/f" + std::to_string(i));
    Check(sim_.AddFiles(files), "adding the hour's files");
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
      down = sim_.StopNode(downNode);
    }
    if (down && page == 2 * pages / 3 + 3) {
      sim_.StartNode(downNode);
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
    if (down) sim_.StartNode(downNode);
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
    if (down) sim_.StartNode(downNode);
    Check(walk == isilon::PageWalk::kComplete, "full directory walk");
    directoryWalked_ = true;
  }

  SimAdmin& sim_;
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

// The simulator next to this program in the build tree (build/bench/endurance, build/sim/isilon-sim).
std::string DefaultSim() {
  char self[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/sim/isilon-sim";
}

// node addresses from `first` on (IPv4, the last byte counting up).
bool Consecutive(const std::string& first, size_t count, std::vector<std::string>& out) {
  const size_t dot = first.rfind('.');
  if (dot == std::string::npos) return false;
  const int last = std::atoi(first.c_str() + dot + 1);
  if (last < 1 || last + static_cast<int>(count) > 255) return false;
  for (size_t i = 0; i < count; ++i) out.push_back(first.substr(0, dot + 1) + std::to_string(last + i));
  return true;
}

// Starts isilon-sim; its pid, or -1. Its output (one line per node) goes to /dev/null.
pid_t StartSim(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Waits (really: the simulator starts in real time) until the ready file appears.
bool WaitReady(pid_t pid, const std::string& readyFile) {
  for (int i = 0; i < 6000; ++i) {
    if (access(readyFile.c_str(), F_OK) == 0) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
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
    } else if (Take(argv[i], "--sim", v)) {
      options.sim = v;
    } else {
      std::cerr << "endurance: unknown argument " << argv[i] << "\n"
                << "usage: endurance [--hours=24] [--address=127.0.0.140] [--change-list-entries=N]"
                   " [--directory-entries=N] [--fault-rate=P] [--fault-seed=S] [--sim=PATH]\n";
      return 2;
    }
  }
  const int hours = static_cast<int>(options.hours);
  if (hours < 2 || options.changeListEntries == 0 || options.directoryEntries == 0) {
    std::cerr << "endurance: --hours must be at least 2, the entry counts above 0\n";
    return 2;
  }
  if (options.sim.empty()) options.sim = DefaultSim();

  std::vector<std::string> nodes;
  if (!Consecutive(options.address, kNodes, nodes)) {
    std::cerr << "endurance: " << kNodes << " consecutive IPv4 addresses from " << options.address << " needed\n";
    return 2;
  }
  std::vector<int> locks;
  for (const auto& a : nodes) {
    if (!LockAddress(a, locks)) {
      std::cerr << "endurance: " << a << " stays busy\n";
      return 1;
    }
  }

  char dir[] = "/tmp/endurance-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string certFile = std::string(dir) + "/cluster.pem", registry = std::string(dir) + "/registry.ini",
                    readyFile = std::string(dir) + "/ready";
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.6f", options.faultRate);
  const pid_t sim = StartSim({options.sim,
                              "--address",
                              nodes.front(),
                              "--nodes",
                              std::to_string(kNodes),
                              "--admin",
                              "--demo",
                              "--idle-timeout",
                              "900",
                              "--absolute-timeout",
                              "14400",
                              "--fault-rate",
                              rate,
                              "--fault-seed",
                              std::to_string(options.faultSeed),
                              "--request-log",
                              "64",
                              "--write-cert",
                              certFile,
                              "--ready-file",
                              readyFile,
                              "--ns-generate",
                              std::string(kBigDirectory) + ":" + std::to_string(options.directoryEntries),
                              "--cl-synthetic",
                              std::to_string(kSyntheticOlder) + "_" + std::to_string(kSyntheticNewer) + ":" +
                                  std::to_string(options.changeListEntries),
                              "--synciq-job-appear",
                              "0",
                              "--synciq-job-run",
                              "60"});
  if (sim < 0 || !WaitReady(sim, readyFile)) {
    std::cerr << "endurance: cannot start the simulator " << options.sim << "\n";
    if (sim > 0) kill(sim, SIGTERM);
    return 1;
  }
  {
    std::ofstream out(registry);
    out << "[NAS]\nsIsilonCAFile=" << certFile << "\nsIsilonNodeAddresses=";
    for (size_t i = 0; i < kNodes; ++i) out << (i ? "," : "") << nodes[i];
    out << "\nnIsilonConnectTimeout=10\nnIsilonRequestTimeout=60\n";
  }
  setenv("ISILON_REGISTRY", registry.c_str(), 1);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  SimAdmin admin(nodes, certFile);
  g_admin = &admin;
  SetZemSleepHook(&AdvanceInsteadOfSleeping);

  const auto began = std::chrono::steady_clock::now();
  const Memory clientStart = ClientMemory(), simStart = SimMemory(sim, admin);
  bool ok = true;
  // After the first two hours (the long walks among them) each process has its working size;
  // from there on the client should not grow at all. Descriptors go up and down with the
  // connections the transport keeps (to whichever nodes it used), so their highest count after
  // each hour is compared.
  Memory clientWarm = clientStart, simWarm = simStart, clientEnd, simEnd;
  long fdsWarm = clientStart.fds, fdsLater = 0, fdsClosed = 0;
  {
    Agent agent(admin, nodes.front(), options);
    for (int hour = 0; hour < hours; ++hour) {
      agent.Hour(hour);
      const Memory now = ClientMemory();
      if (hour <= 1) fdsWarm = std::max(fdsWarm, now.fds);
      if (hour > 1) fdsLater = std::max(fdsLater, now.fds);
      if (hour == 1) {
        clientWarm = now;
        simWarm = SimMemory(sim, admin);
      }
      if ((hour + 1) % 120 == 0 && hour + 1 < hours) {
        std::printf("hour %d: client %s; simulator %s\n", hour + 1, Text(now).c_str(),
                    Text(SimMemory(sim, admin)).c_str());
        std::fflush(stdout);
      }
    }
    if (hours <= 2) fdsLater = fdsWarm;  // no later hours
    clientEnd = ClientMemory();
    simEnd = SimMemory(sim, admin);
    agent.Close();
    fdsClosed = OpenDescriptors();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    Tally expectedChanges, expectedDirectory;
    // The simulator's synthetic change list: entry i has the LIN 0x100000000 + i as its id; its
    // generated directory names file i "f%07zu".
    for (size_t i = 0; i < options.changeListEntries; ++i) expectedChanges.Add(std::to_string(0x100000000ULL + i));
    for (size_t i = 0; i < options.directoryEntries; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f%07zu", i);
      expectedDirectory.Add(name);
    }

    const long simKept = (simEnd.rssKiB - simEnd.heapKiB) - (simWarm.rssKiB - simWarm.heapKiB);
    const ManageIsilon::RequestCounters c = agent.counters();
    const nlohmann::json stats = admin.Stats();
    const nlohmann::json faults = stats.contains("random_faults") ? stats["random_faults"] : nlohmann::json::object();
    std::printf("simulated hours: %d (%.1f s real)\n", hours, seconds);
    std::printf("node restarts: %llu\n", agent.restarts());
    std::printf("requests drawn for faults: %llu, answered 503: %llu, cut: %llu\n", faults.value("requests", 0ULL),
                faults.value("unavailable", 0ULL), faults.value("resets", 0ULL));
    std::printf("operations done: %llu\n", agent.done());
    std::printf("operations failed: %llu\n", agent.failed());
    std::printf("changes cut off without reply, settled by the agent: %llu\n", agent.settled());
    std::printf("change-list entries read: %zu of %zu, checksum %016llx of %016llx\n", agent.changeList().count,
                expectedChanges.count, static_cast<unsigned long long>(agent.changeList().checksum),
                static_cast<unsigned long long>(expectedChanges.checksum));
    std::printf("directory entries read: %zu of %zu, checksum %016llx of %016llx\n", agent.directory().count,
                expectedDirectory.count, static_cast<unsigned long long>(agent.directory().checksum),
                static_cast<unsigned long long>(expectedDirectory.checksum));
    std::printf("re-opened sessions: %llu\n", c.reopenedSessions);
    std::printf("retries: %llu\n", c.retries);
    std::printf("node switches: %llu\n", c.nodeSwitches);
    std::printf("client at start: %s\n", Text(clientStart).c_str());
    std::printf("client after hour 2: %s\n", Text(clientWarm).c_str());
    std::printf("client at end: %s\n", Text(clientEnd).c_str());
    std::printf("simulator at start: %s\n", Text(simStart).c_str());
    std::printf("simulator after hour 2: %s\n", Text(simWarm).c_str());
    std::printf("simulator at end: %s\n", Text(simEnd).c_str());
    std::printf(
        "client descriptors: at most %ld in hours 1-2, at most %ld later, %ld once the session closed\n"
        "allowance from hour 2 to the end: client RSS +%ld KiB (grew %+ld), descriptors +%ld (grew %+ld); "
        "simulator RSS beyond its heap in use +%ld KiB (grew %+ld; heap in use grew %+ld)\n",
        fdsWarm, fdsLater, fdsClosed, kClientRssAllowanceKiB, clientEnd.rssKiB - clientWarm.rssKiB, kFdAllowance,
        fdsLater - fdsWarm, kSimKeptAllowanceKiB, simKept, simEnd.heapKiB - simWarm.heapKiB);

    ok = agent.failed() == 0 && agent.changeListWalked() && agent.directoryWalked() &&
         agent.changeList() == expectedChanges && agent.directory() == expectedDirectory &&
         clientEnd.rssKiB - clientWarm.rssKiB <= kClientRssAllowanceKiB && fdsLater <= fdsWarm + kFdAllowance &&
         simKept <= kSimKeptAllowanceKiB;
  }
  SetZemSleepHook(nullptr);
  g_admin = nullptr;
  kill(sim, SIGTERM);
  int status = 0;
  waitpid(sim, &status, 0);
  std::remove(registry.c_str());
  std::remove(certFile.c_str());
  std::remove(readyFile.c_str());
  rmdir(dir);
  for (int fd : locks) close(fd);
  std::printf("%s\n", ok ? "PASS" : "FAILED");
  return ok ? 0 : 1;
}
