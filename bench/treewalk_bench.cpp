// Reading a whole directory tree from a cluster that answers each page after some latency:
// IsilonTreeWalk with 1, 2, 4, ... sessions against a bare sequential libcurl walk of the same
// pages. Each walk runs in its own child process, so its peak memory is its own. The cluster
// is an isilon-sim started by bench/run (e.g. --latency-ms 5 --ns-generate /ifs/tree:198000:2000).
//
//   treewalk_bench --server ADDRESS --ca-file PEM --root DIR [--parallel 1,2,4,8,16] [--bare]
//                  [--nodes ADDRESS,ADDRESS,...] [--repetitions R] [--turns T]
// With --nodes (the cluster's node addresses, the first being --server's), each N runs twice:
// every session on the first node, then the sessions spread over all the nodes. The walks take
// turns R times (so that a change in the machine's speed touches them all alike); a ratio is
// the median of the rounds' ratios (the ratio of the medians beside it). CPU is the client
// process's own (the simulator runs in another one).
// With --turns (and --bare, N = 1 among the walks), the bare walk and N = 1 then run T more
// rounds at once in two processes that take turns page by page, for their CPU per entry.
// Every walk must read the same number of entries, or the run fails (exit status 1).
#include <curl/curl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BareCurl.h"
#include "bench/Child.h"
#include "bench/PageScan.h"
#include "isilon/IsilonTreeWalk.h"

namespace {

const int kPage = 1000;

using bench::InChild;
using bench::InTwoChildren;
using bench::Measure;
using bench::Turns;

// ---- the bare libcurl walk -------------------------------------------------------------
using bare::Cookies;

// Depth first, one page at a time, finding subdirectories by a plain text scan of each entry
// object in either layout (generated names hold no braces or quotes). With `turns`, it hands the
// turn over after each page and waits for it back.
bool BareWalk(const std::string& address, const std::string& caFile, const std::string& root, Measure& m,
              Turns* turns = nullptr) {
  CURL* curl = curl_easy_init();
  const std::string base = "https://" + address + ":8080";
  std::string body;
  Cookies cookies;
  if (!bare::Login(curl, base, caFile, body, cookies)) {
    curl_easy_cleanup(curl);
    return false;
  }
  curl_slist* headers = bare::UseSession(curl, base, cookies);

  std::vector<std::string> stack{root};
  bool ok = true;
  while (ok && !stack.empty()) {
    const std::string dir = stack.back();
    stack.pop_back();
    const std::string first = base + "/namespace" + dir +
                              "/?detail=name,owner,mode,type,size,mtime_val&sort=name&limit=" + std::to_string(kPage);
    std::string resume;
    do {
      body.clear();
      curl_easy_setopt(curl, CURLOPT_URL, (resume.empty() ? first : first + "&resume=" + resume).c_str());
      long status = 0;
      if (curl_easy_perform(curl) != CURLE_OK ||
          (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status), status != 200)) {
        ok = false;
        break;
      }
      m.entries += bare::ScanListing(body, [&](bare::Span name) {
        if (name.at != std::string::npos) stack.push_back(dir + "/" + body.substr(name.at, name.length));
      });
      resume = bare::ResumeOf(body);
      ++m.pages;
      if (turns != nullptr) turns->HandOver();
    } while (!resume.empty());
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return ok;
}

}  // namespace

namespace {

// One kind of walk of the run, measured once a round.
struct Walk {
  std::string label;
  int parallel = 0;             // 0: the bare walk
  std::string nodes;            // the registry's node list for it
  size_t baseIndex = SIZE_MAX;  // the walk its speed-up is against, in the same round
  std::vector<Measure> runs;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[(v.size() - 1) / 2];
}

double CpuPerEntry(const Measure& m) {
  return m.entries > 0 ? m.cpuSeconds * 1e6 / static_cast<double>(m.entries) : 0.0;
}

// The median over the rounds of what `of` takes from each run (all runs are ok here).
template <typename Of>
double MedianOf(const Walk& w, Of of) {
  std::vector<double> values;
  for (const Measure& m : w.runs) values.push_back(of(m));
  return Median(values);
}

// The median over the rounds of a's figure against b's in the same round. The two ran next to
// each other (or a few seconds apart), so a change in the machine's speed between rounds,
// which moves both, drops out; a ratio of the two medians keeps it.
template <typename OfA, typename OfB>
double PairedRatio(const Walk& a, OfA ofA, const Walk& b, OfB ofB) {
  std::vector<double> ratios;
  for (size_t i = 0; i < a.runs.size() && i < b.runs.size(); ++i) {
    if (ofB(b.runs[i]) > 0) ratios.push_back(ofA(a.runs[i]) / ofB(b.runs[i]));
  }
  return Median(ratios);
}
template <typename Of>
double PairedRatio(const Walk& a, const Walk& b, Of of) {
  return PairedRatio(a, of, b, of);
}

}  // namespace

int main(int argc, char** argv) {
  std::string server, caFile, root, nodes, parallelList = "1,2,4,8,16";
  bool bare = false;
  int repetitions = 1;
  int turnRounds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--server" && hasValue)
      server = argv[++i];
    else if (arg == "--ca-file" && hasValue)
      caFile = argv[++i];
    else if (arg == "--root" && hasValue)
      root = argv[++i];
    else if (arg == "--parallel" && hasValue)
      parallelList = argv[++i];
    else if (arg == "--nodes" && hasValue)
      nodes = argv[++i];
    else if (arg == "--repetitions" && hasValue)
      repetitions = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--turns" && hasValue)
      turnRounds = std::max(0, std::atoi(argv[++i]));
    else if (arg == "--bare")
      bare = true;
    else {
      std::cerr << "usage: treewalk_bench --server ADDRESS --ca-file PEM --root DIR [--parallel 1,2,4] [--bare] "
                   "[--nodes A,B,C] [--repetitions R] [--turns T]\n";
      return 2;
    }
  }
  if (server.empty() || caFile.empty() || root.empty()) {
    std::cerr << "treewalk_bench: --server, --ca-file and --root are required\n";
    return 2;
  }
  char registryName[] = "/tmp/treewalk-bench-registry-XXXXXX";
  const int registryFd = mkstemp(registryName);
  if (registryFd < 0) return 1;
  close(registryFd);
  // However the run ends.
  struct RemoveAtEnd {
    const char* name;
    ~RemoveAtEnd() { std::remove(name); }
  } removeRegistry{registryName};
  // Each walk's child reads the registry afresh, so it can be rewritten between walks.
  auto writeRegistry = [&](const std::string& nodeAddresses) {
    std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << caFile << "\n"
                                << (nodeAddresses.empty() ? "" : "sIsilonNodeAddresses=" + nodeAddresses + "\n");
  };
  setenv("ISILON_REGISTRY", registryName, 1);

  // The walks of one round, in the order they take turns.
  std::vector<Walk> walks;
  size_t bareIndex = SIZE_MAX, oneIndex = SIZE_MAX, lastIndex = SIZE_MAX;
  if (bare) {
    bareIndex = walks.size();
    walks.push_back(Walk{"bare libcurl, 1 conn", 0, std::string(), SIZE_MAX, {}});
  }
  std::stringstream list(parallelList);
  std::string item;
  while (std::getline(list, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (!nodes.empty()) {
      const size_t one = walks.size();
      walks.push_back(
          Walk{"N=" + std::to_string(n) + ", all on one node", n, nodes.substr(0, nodes.find(',')), SIZE_MAX, {}});
      walks.push_back(Walk{"N=" + std::to_string(n) + ", spread over nodes", n, nodes, one, {}});
      continue;
    }
    if (n == 1 && oneIndex == SIZE_MAX) oneIndex = walks.size();
    lastIndex = walks.size();
    walks.push_back(Walk{"IsilonTreeWalk N=" + std::to_string(n), n, std::string(), SIZE_MAX, {}});
  }
  if (oneIndex != SIZE_MAX) {
    for (size_t i = oneIndex + 1; i < walks.size(); ++i) walks[i].baseIndex = oneIndex;
  }

  // The library's walk of N sessions; with `turns` (N = 1), it hands the turn over after each
  // page and waits for it back.
  auto libraryWalk = [&](int n, Measure& out, Turns* turns) {
    IsilonTreeWalk walk(server, "admin", "secret");
    if (!walk.SetParallel(n)) return false;
    walk.SetPageSize(kPage);
    walk.OnPage([&](const std::string&, std::vector<_IsilonFileInfo>&) {
      ++out.pages;
      if (turns != nullptr) turns->HandOver();
      return true;
    });
    const bool complete = walk.Run(root);
    out.entries = walk.Entries();
    return complete;
  };
  auto runOnce = [&](const Walk& w) {
    writeRegistry(w.nodes);
    if (w.parallel == 0) return InChild([&](Measure& out) { return BareWalk(server, caFile, root, out); });
    return InChild([&](Measure& out) { return libraryWalk(w.parallel, out, nullptr); });
  };
  // One row: a run's figures, or the medians of a walk's runs.
  auto printRow = [](const std::string& label, unsigned long long entries, double seconds, double baseSeconds,
                     double rssMiB, double cpuPerEntry) {
    std::printf("%-28s %10llu %10.2f %12.0f %9.2f %12.1f %12.2f\n", label.c_str(), entries, seconds,
                static_cast<double>(entries) / seconds, baseSeconds > 0 ? baseSeconds / seconds : 1.0, rssMiB,
                cpuPerEntry);
  };
  auto print = [&](const std::string& label, const Measure& m, double baseSeconds) {
    printRow(label, m.entries, m.seconds, baseSeconds, m.maxRssKiB / 1024.0, CpuPerEntry(m));
  };

  std::printf("%-28s %10s %10s %12s %9s %12s %12s\n", "walk", "entries", "elapsed s", "entries/s", "speed-up",
              "peak RSS MiB", "CPU us/entry");
  // Every walk must read the whole tree, the same count each time: a walk that reads less (the
  // bare one's scan missing the subdirectories, say) would give figures of another work.
  unsigned long long treeEntries = 0;
  bool failed = false;
  // What a walk of N sessions pays N times whatever the tree: each session's login (a TLS
  // handshake, resumed after the node's first, and the login request) and logout, measured as
  // that alone, one session after another, so it can be read apart from the per-entry cost.
  const int sessionsMeasured =
      lastIndex != SIZE_MAX && oneIndex != SIZE_MAX && lastIndex != oneIndex ? walks[lastIndex].parallel : 0;
  std::vector<double> sessionCpu;
  auto sessionsOnly = [&](int count) {
    writeRegistry(std::string());
    return InChild([&](Measure&) {
      // One object opened again and again: its connections resume the first one's TLS
      // session, as a walk's sessions on one node do.
      ManageIsilon session;
      session.SetFileServer(server);
      session.SetUser("admin");
      session.SetPasswd("secret");
      for (int i = 0; i < count; ++i) {
        if (!session.OpenConnection() || !session.CloseConnection()) return false;
      }
      return true;
    });
  };
  for (int round = 1; round <= repetitions && !failed; ++round) {
    if (repetitions > 1) std::printf("-- round %d of %d\n", round, repetitions);
    // Odd rounds take their turns in the listed order, even rounds in the reverse one, so that
    // no walk always runs right after the same other one (what a walk leaves behind, in the
    // simulator and in the caches, weighs on the next); the rows are printed in listed order.
    std::vector<size_t> order(walks.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = round % 2 == 1 ? k : order.size() - 1 - k;
    std::vector<Measure> measured(walks.size());
    for (size_t k : order) measured[k] = runOnce(walks[k]);
    for (size_t k = 0; k < walks.size(); ++k) {
      Walk& w = walks[k];
      const Measure& m = measured[k];
      if (!m.ok) {
        std::printf("%-28s failed\n", w.label.c_str());
        failed = true;
        continue;
      }
      // The library's walks set the count; the bare one is held to it afterwards.
      if (w.parallel > 0 && treeEntries == 0) treeEntries = m.entries;
      const Measure* base =
          w.baseIndex < measured.size() && measured[w.baseIndex].ok ? &measured[w.baseIndex] : nullptr;
      print(w.label, m, base != nullptr ? base->seconds : 0);
      w.runs.push_back(m);
    }
    if (sessionsMeasured > 0 && !failed) {
      const Measure m = sessionsOnly(sessionsMeasured);
      if (!m.ok) {
        std::printf("%-28s failed\n", "login + logout");
        failed = true;
      } else {
        sessionCpu.push_back(m.cpuSeconds / sessionsMeasured);
        std::printf("%d sessions' login + logout, one after another (TLS resumed): %.2f ms client CPU each\n",
                    sessionsMeasured, sessionCpu.back() * 1e3);
      }
    }
    for (const Walk& w : walks) {
      if (!w.runs.empty() && treeEntries != 0 && w.runs.back().entries != treeEntries) {
        std::printf("%-28s failed: it read %llu entries, the library's walks %llu\n", w.label.c_str(),
                    w.runs.back().entries, treeEntries);
        failed = true;
      }
    }
  }
  if (failed) return 1;

  auto seconds = [](const Measure& m) { return m.seconds; };
  if (repetitions > 1) {
    std::printf("-- medians of %d rounds\n", repetitions);
    for (const Walk& w : walks) {
      const double s = MedianOf(w, seconds);
      const double base = w.baseIndex != SIZE_MAX ? MedianOf(walks[w.baseIndex], seconds) : 0;
      printRow(w.label, w.runs.back().entries, s, base,
               MedianOf(w, [](const Measure& m) { return m.maxRssKiB / 1024.0; }), MedianOf(w, CpuPerEntry));
    }
  }
  if (bareIndex != SIZE_MAX && oneIndex != SIZE_MAX) {
    const Walk &b = walks[bareIndex], &one = walks[oneIndex];
    std::printf(
        "N=1 against the bare walk: %.3fx the time, %.3fx the client CPU per entry (goal: at most 1.10x; "
        "ratio of the medians %.3fx)\n",
        PairedRatio(one, b, seconds), PairedRatio(one, b, CpuPerEntry),
        MedianOf(one, CpuPerEntry) / MedianOf(b, CpuPerEntry));
  }
  if (turnRounds > 0 && bareIndex != SIZE_MAX && oneIndex != SIZE_MAX) {
    // Walks run one after the other meet the machine in another state each (on a small shared
    // machine a round's CPU per entry moves by a fifth): taking turns page by page, the two
    // meet the same. Each turn's own CPU (a write to a pipe, a read that waits) is measured
    // alone, the same number of times, and taken off both.
    writeRegistry(std::string());
    std::printf("-- the bare walk and N=1 at once, taking turns page by page, %d rounds\n", turnRounds);
    std::vector<double> ratios;
    for (int round = 1; round <= turnRounds; ++round) {
      auto bareSide = [&](Measure& m, Turns& turns) { return BareWalk(server, caFile, root, m, &turns); };
      auto librarySide = [&](Measure& m, Turns& turns) { return libraryWalk(1, m, &turns); };
      Measure b, one;
      // Who goes first changes from round to round.
      if (round % 2 == 1) {
        InTwoChildren(bareSide, librarySide, b, one);
      } else {
        InTwoChildren(librarySide, bareSide, one, b);
      }
      if (!b.ok || !one.ok || b.entries != treeEntries || one.entries != treeEntries) {
        std::printf("taking turns: a walk failed or read another count of entries (%llu, %llu; the tree %llu)\n",
                    b.entries, one.entries, treeEntries);
        return 1;
      }
      // A child's own start and end cost something too: the turns' cost is the difference
      // between two pairs that only take turns, so many times and not at all.
      const unsigned long long count = std::max(b.pages, one.pages);
      auto turnsOnly = [](unsigned long long times) {
        return [times](Measure&, Turns& turns) {
          for (unsigned long long i = 0; i < times; ++i) turns.HandOver();
          return true;
        };
      };
      Measure many1, many2, none1, none2;
      InTwoChildren(turnsOnly(count), turnsOnly(count), many1, many2);
      InTwoChildren(turnsOnly(0), turnsOnly(0), none1, none2);
      if (!many1.ok || !many2.ok || !none1.ok || !none2.ok) return 1;
      const double perTurn = std::max(0.0, (many1.cpuSeconds + many2.cpuSeconds - none1.cpuSeconds - none2.cpuSeconds) /
                                               2 / static_cast<double>(count));
      auto lessTurns = [perTurn](const Measure& m) {
        return (m.cpuSeconds - perTurn * static_cast<double>(m.pages)) * 1e6 / static_cast<double>(m.entries);
      };
      ratios.push_back(lessTurns(one) / lessTurns(b));
      std::printf("round %d: bare %.2f, N=1 %.2f us/entry (each of %llu turns' own %.1f us taken off): %.3fx\n", round,
                  lessTurns(b), lessTurns(one), count, perTurn * 1e6, ratios.back());
    }
    std::printf(
        "N=1 against the bare walk, taking turns: %.3fx the client CPU per entry (median of %d rounds; "
        "goal: at most 1.10x)\n",
        Median(ratios), turnRounds);
  }
  if (oneIndex != SIZE_MAX && lastIndex != oneIndex) {
    const Walk &one = walks[oneIndex], &last = walks[lastIndex];
    std::printf(
        "N=%d against N=1: %.2fx as fast, %.3fx the client CPU per entry (goal: at most 1.00x; ratio of the "
        "medians %.3fx)\n",
        last.parallel, PairedRatio(one, last, seconds), PairedRatio(last, one, CpuPerEntry),
        MedianOf(last, CpuPerEntry) / MedianOf(one, CpuPerEntry));
    if (!sessionCpu.empty()) {
      // The walk of N sessions less the N - 1 more logins and logouts than one session's walk.
      const double perSession = Median(sessionCpu);
      const double extra = perSession * 1e6 * (last.parallel - 1) / static_cast<double>(treeEntries);
      const auto lessLogins = [extra](const Measure& m) { return CpuPerEntry(m) - extra; };
      std::printf(
          "  of which the %d more sessions' login + logout (%.2f ms each): %.3f us per entry; without them "
          "%.3fx\n",
          last.parallel - 1, perSession * 1e3, extra, PairedRatio(last, lessLogins, one, CpuPerEntry));
    }
  }
  for (const Walk& w : walks) {
    if (!w.nodes.empty() && w.baseIndex != SIZE_MAX) {
      const Walk& one = walks[w.baseIndex];
      std::printf("N=%d spread over the nodes against all on one: %.2fx as fast, %.3fx the client CPU per entry\n",
                  w.parallel, PairedRatio(one, w, seconds), PairedRatio(w, one, CpuPerEntry));
    }
  }
  return 0;
}
