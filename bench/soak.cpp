// Soak run: mixed operations against a running isilon-sim --demo, first from one ManageIsilon,
// then from several threads each with its own ManageIsilon at once. Prints resident memory
// (VmRSS) and open descriptors at the start, after a warm-up, at the end and once the sessions
// are closed, and exits 1 when either grows from warm-up to end beyond a small allowance, when
// descriptors stay open after closing, when an operation fails that should not, or when the
// time limit cuts a phase short.
//
//   soak --address=127.0.0.91 --cert=CERT.pem [--requests=20000] [--threads=8]
//        [--phase=single|threads|both] [--seconds=900] [--rss-allowance-kib=8192]
//
// Every ManageIsilon logs in once, and logs out and in again every 1000 operations. Each
// operation is one or more HTTPS requests; the counts printed are operations.
#include <stdlib.h>
#include <unistd.h>

#include <dirent.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/ProcessStats.h"
#include "isilon/ManageIsilon.h"

namespace {

struct Options {
  std::string address = "127.0.0.91";
  std::string cert;
  long requests = 20000;  // per ManageIsilon
  int threads = 8;
  std::string phase = "both";
  double seconds = 900;         // per phase
  long rssAllowanceKiB = 8192;  // growth from warm-up to end tolerated
  long fdAllowance = 2;
};

using bench::OpenDescriptors;
using bench::ResidentKiB;

struct Sample {
  long rss = 0, fds = 0;
  static Sample Now() { return Sample{ResidentKiB(), OpenDescriptors()}; }
};

using Clock = std::chrono::steady_clock;

// What one ManageIsilon does: a fixed cycle over the areas, with changes that are undone in
// the same cycle so that the cluster's state (and so the replies) stays the same size.
class Worker {
 public:
  Worker(const Options& options, int index) : index_(index) {
    session_.SetFileServer(options.address);
    session_.SetUser("admin");
    session_.SetPasswd("secret");
  }
  ~Worker() { session_.CloseConnection(); }

  // One operation, chosen by the running count; false when it did not give the expected result.
  bool Step(long n) {
    if (n > 0 && n % 1000 == 0) {
      session_.CloseConnection();
      if (!session_.OpenConnection()) return Failed("OpenConnection");
    }
    const std::string tag = "soak" + std::to_string(index_);
    switch (n % 16) {
      case 0: {
        std::vector<_IsilonFileInfo> files;
        std::string resume;
        if (!session_.GetFileList(files, "/ifs/data", resume, 2)) return Failed("GetFileList");
        return files.size() == 2 || Failed("GetFileList count");
      }
      case 1: {
        _IsilonFileInfo info;
        return session_.GetPathAttributes(info, "/ifs/data/README") || Failed("GetPathAttributes");
      }
      case 2: {
        // A path that is not there: the cluster's error is the expected outcome.
        _IsilonFileInfo info;
        if (session_.GetPathAttributes(info, "/ifs/data/" + tag + "-missing")) return Failed("missing path found");
        std::string code, message;
        session_.GetLastError(code, message);
        return !code.empty() || Failed("missing path without error code");
      }
      case 3: {
        std::vector<std::string> ips;
        return session_.GetExternalIPs(ips) || Failed("GetExternalIPs");
      }
      case 4: {
        std::vector<_IsilonVersionInfo> nodes;
        return !session_.GetVersionInfo(nodes).IsError() || Failed("GetVersionInfo");
      }
      case 5: {
        std::vector<_IsilonShareInfo> shares;
        return session_.GetCIFSSharesList(shares, "", "", "") || Failed("GetCIFSSharesList");
      }
      case 6: {
        std::vector<_IsilonAccessZoneInfo> zones;
        return !session_.GetAccessZonesList(zones).IsError() || Failed("GetAccessZonesList");
      }
      case 7: share_ = session_.CreateCIFSShare(tag, "/ifs/data", "", ""); return share_ || Failed("CreateCIFSShare");
      case 8: share_ = false; return session_.DeleteCIFSShare(tag, "/ifs/data", "") || Failed("DeleteCIFSShare");
      case 9: {
        std::vector<_IsilonNFSExportInfo> exports;
        return session_.GetNFSExportList(exports, 0, "", "") || Failed("GetNFSExportList");
      }
      case 10: {
        _IsilonNFSPermissions permissions;
        permissions.setClients.insert("192.0.2." + std::to_string(10 + index_));
        // A path of its own: a second export of a served path is refused (and taken for success).
        exportId_ = 0;
        export_ = session_.CreateNFSExport(exportId_, {"/ifs/data/" + tag}, permissions, "", "", false, true);
        return (export_ && exportId_ != 0) || Failed("CreateNFSExport");
      }
      case 11: export_ = false; return session_.DeleteNFSExport(exportId_, "") || Failed("DeleteNFSExport");
      case 12:
        snapshot_ = session_.CreateSnapshot("/ifs/data", tag, snapId_);
        return snapshot_ || Failed("CreateSnapshot");
      case 13: {
        std::vector<_IsilonSnapInfo> snaps;
        return session_.GetSnapshotList(snaps, "/ifs/data", tag) || Failed("GetSnapshotList");
      }
      case 14: snapshot_ = false; return session_.DeleteSnapshot("/ifs/data", tag, snapId_) || Failed("DeleteSnapshot");
      default: {
        std::vector<_IsilonSyncIQPolicyInfo> policies;
        _ChangeListCreateJobInfo jobType;
        return (session_.GetSyncIQPolicy(policies, "/ifs/data/projects", "") || Failed("GetSyncIQPolicy")) &&
               (!session_.GetChangeListJobInfo(jobType).IsError() || Failed("GetChangeListJobInfo"));
      }
    }
  }

  // Runs until `count` more operations are done or the deadline passes; returns the count done.
  long Run(long count, Clock::time_point deadline, std::atomic<long>& failures) {
    long n = 0;
    for (; n < count; ++n, ++next_) {
      if ((n & 63) == 0 && Clock::now() >= deadline) break;
      if (!Step(next_)) ++failures;
    }
    return n;
  }

  // Undoes a change whose undoing step the run did not reach.
  void Finish() {
    const std::string tag = "soak" + std::to_string(index_);
    if (share_) session_.DeleteCIFSShare(tag, "/ifs/data", "");
    if (export_) session_.DeleteNFSExport(exportId_, "");
    if (snapshot_) session_.DeleteSnapshot("/ifs/data", tag, snapId_);
    share_ = export_ = snapshot_ = false;
  }

 private:
  bool Failed(const char* what) {
    std::string code, message;
    session_.GetLastError(code, message);
    static std::mutex out;
    std::lock_guard<std::mutex> lock(out);
    if (++reported_ <= 5)
      std::cerr << "worker " << index_ << ": " << what << " failed: " << code << " " << message << "\n";
    return false;
  }

  int index_;
  ManageIsilon session_;
  unsigned int exportId_ = 0;
  int snapId_ = 0;
  bool share_ = false, export_ = false, snapshot_ = false;
  long next_ = 0;
  int reported_ = 0;
};

void Print(const char* label, const Sample& s) {
  std::printf("  %-9s RSS %7.1f MiB  fds %ld\n", label, s.rss / 1024.0, s.fds);
  std::fflush(stdout);
}

// Runs one phase with `workers` ManageIsilon objects, one thread each (the single phase runs
// on the calling thread). A warm-up of 1/8 of the operations comes first; growth is measured
// from its end.
bool Phase(const char* name, const Options& options, int workers) {
  std::printf("%s: %d x ManageIsilon, %ld operations each\n", name, workers, options.requests);
  const Sample start = Sample::Now();
  Print("start", start);
  const auto began = Clock::now();
  const auto deadline =
      began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
  const long warmup = options.requests / 8;

  std::atomic<long> failures{0}, done{0};
  std::vector<std::unique_ptr<Worker>> pool;
  for (int i = 0; i < workers; ++i) pool.emplace_back(new Worker(options, i));
  Sample warm;
  auto runAll = [&](long count) {
    if (workers == 1) {
      done += pool[0]->Run(count, deadline, failures);
      return;
    }
    std::vector<std::thread> threads;
    for (auto& w : pool) threads.emplace_back([&, count] { done += w->Run(count, deadline, failures); });
    for (auto& t : threads) t.join();
  };
  runAll(warmup);
  warm = Sample::Now();
  Print("warmed up", warm);
  runAll(options.requests - warmup);
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  for (auto& w : pool) w->Finish();
  const Sample end = Sample::Now();
  Print("end", end);
  pool.clear();  // logs out and closes the connections
  const Sample closed = Sample::Now();
  Print("closed", closed);

  const long expected = options.requests * workers;
  std::printf("  operations %ld of %ld in %.1f s (%.0f per second), failures %ld\n", done.load(), expected, seconds,
              done.load() / seconds, failures.load());
  bool ok = true;
  if (done.load() < expected) {
    std::printf("  FAIL: time limit of %.0f s reached\n", options.seconds);
    ok = false;
  }
  if (failures.load() != 0) {
    std::printf("  FAIL: %ld operations failed\n", failures.load());
    ok = false;
  }
  if (end.rss - warm.rss > options.rssAllowanceKiB) {
    std::printf("  FAIL: resident memory grew by %ld KiB (allowance %ld KiB)\n", end.rss - warm.rss,
                options.rssAllowanceKiB);
    ok = false;
  }
  if (end.fds - warm.fds > options.fdAllowance) {
    std::printf("  FAIL: open descriptors grew from %ld to %ld\n", warm.fds, end.fds);
    ok = false;
  }
  if (closed.fds > start.fds) {
    std::printf("  FAIL: %ld descriptors left open after the sessions closed\n", closed.fds - start.fds);
    ok = false;
  }
  std::printf("  %s\n", ok ? "ok" : "FAILED");
  std::fflush(stdout);
  return ok;
}

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
    if (Take(argv[i], "--address", v)) {
      options.address = v;
    } else if (Take(argv[i], "--cert", v)) {
      options.cert = v;
    } else if (Take(argv[i], "--requests", v)) {
      options.requests = std::strtol(v.c_str(), nullptr, 10);
    } else if (Take(argv[i], "--threads", v)) {
      options.threads = std::atoi(v.c_str());
    } else if (Take(argv[i], "--phase", v)) {
      options.phase = v;
    } else if (Take(argv[i], "--seconds", v)) {
      options.seconds = std::strtod(v.c_str(), nullptr);
    } else if (Take(argv[i], "--rss-allowance-kib", v)) {
      options.rssAllowanceKiB = std::strtol(v.c_str(), nullptr, 10);
    } else {
      std::cerr << "soak: unknown argument " << argv[i] << "\n"
                << "usage: soak --address=A --cert=PEM [--requests=N] [--threads=T] [--phase=single|threads|both]"
                   " [--seconds=S] [--rss-allowance-kib=K]\n";
      return 2;
    }
  }
  if (options.requests < 16 || options.threads < 1 || options.seconds <= 0 ||
      (options.phase != "single" && options.phase != "threads" && options.phase != "both")) {
    std::cerr << "soak: bad option value\n";
    return 2;
  }
  // The library reads its settings from this file: trust the simulator's certificate.
  char registry[] = "/tmp/soak-registry-XXXXXX";
  const int fd = mkstemp(registry);
  if (fd < 0) return 1;
  close(fd);
  {
    std::ofstream out(registry);
    out << "[NAS]\n";
    if (!options.cert.empty()) out << "sIsilonCAFile=" << options.cert << "\n";
    out << "nIsilonConnectTimeout=10\nnIsilonRequestTimeout=60\n";
  }
  setenv("ISILON_REGISTRY", registry, 1);

  bool ok = true;
  if (options.phase != "threads") ok = Phase("single", options, 1) && ok;
  if (options.phase != "single") ok = Phase("threads", options, options.threads) && ok;
  std::remove(registry);
  return ok ? 0 : 1;
}
