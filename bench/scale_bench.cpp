// Cost as the work grows: a directory listing walk, a change-list walk and a parallel tree walk,
// each at several sizes, every size in a child process of its own, against an isilon-sim in
// its own process (started by bench/run scale). Prints, per size, the time and the client's
// CPU per entry and the client's peak memory, and each against the smallest size of its kind.
//
//   scale_bench --server ADDRESS --ca-file PEM [--list DIR,...] [--changelist OLDER_NEWER,...]
//               [--tree DIR,...] [--parallel N]
// Each list is walked in the order given, smallest first.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Child.h"
#include "isilon/IsilonTreeWalk.h"
#include "isilon/ManageIsilon.h"
#include "isilon/Paging.h"

namespace {

using bench::InChild;
using bench::Measure;

const int kPage = 1000;
std::string g_server;

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

void Login(ManageIsilon& session) {
  session.SetFileServer(g_server);
  session.SetUser("admin");
  session.SetPasswd("secret");
}

// Every page of one directory, one vector for the whole walk, as a host should.
bool ListingWalk(const std::string& dir, Measure& m) {
  ManageIsilon session;
  Login(session);
  std::vector<_IsilonFileInfo> page;
  std::string token;
  const isilon::PageWalk walk = isilon::FollowPages(
      token,
      [&](const std::string& from, std::string& next) {
        next = from;
        if (!session.GetFileList(page, dir, next, kPage)) return isilon::PageStep::kFailed;
        m.entries += page.size();
        return isilon::PageStep::kNext;
      },
      isilon::RepeatedTokens::kStop);
  session.CloseConnection();
  return walk == isilon::PageWalk::kComplete;
}

bool ChangeListWalk(const std::string& pair, Measure& m) {
  unsigned long long older = std::strtoull(pair.c_str(), nullptr, 10);
  unsigned long long newer = std::strtoull(pair.substr(pair.find('_') + 1).c_str(), nullptr, 10);
  ManageIsilon session;
  Login(session);
  _IsilonChangeListInfo info;
  do {
    if (session.GetSnapshotChangeList(older, newer, info).IsError()) return false;
    m.entries += info.lstItems.size();
  } while (!info.strResume.empty());
  session.CloseConnection();
  return true;
}

bool TreeWalk(const std::string& root, int parallel, Measure& m) {
  IsilonTreeWalk walk(g_server, "admin", "secret");
  if (!walk.SetParallel(parallel)) return false;
  walk.SetPageSize(kPage);
  walk.OnPage([](const std::string&, std::vector<_IsilonFileInfo>&) { return true; });
  const bool complete = walk.Run(root);
  m.entries = walk.Entries();
  return complete;
}

// One kind of walk at each size: a line per size, and the per-entry figures of the largest
// against those of the smallest.
template <typename Walk>
void Sizes(const char* kind, const std::vector<std::string>& targets, Walk walk) {
  double firstTime = 0, firstCpu = 0;
  long firstRss = 0;
  for (const std::string& target : targets) {
    const Measure m = InChild([&](Measure& out) { return walk(target, out); });
    if (!m.ok || m.entries == 0) {
      std::printf("%-11s %-22s failed\n", kind, target.c_str());
      continue;
    }
    const double n = static_cast<double>(m.entries);
    const double time = m.seconds * 1e6 / n, cpu = m.cpuSeconds * 1e6 / n;
    if (firstTime == 0) {
      firstTime = time;
      firstCpu = cpu;
      firstRss = m.maxRssKiB;
    }
    std::printf("%-11s %-22s %11llu %10.2f %10.3f %8.2fx %10.3f %8.2fx %10.1f %8.2fx\n", kind, target.c_str(),
                m.entries, m.seconds, time, time / firstTime, cpu, cpu / firstCpu, m.maxRssKiB / 1024.0,
                static_cast<double>(m.maxRssKiB) / static_cast<double>(firstRss));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string caFile, lists, changeLists, trees;
  int parallel = 8;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--server" && hasValue)
      g_server = argv[++i];
    else if (arg == "--ca-file" && hasValue)
      caFile = argv[++i];
    else if (arg == "--list" && hasValue)
      lists = argv[++i];
    else if (arg == "--changelist" && hasValue)
      changeLists = argv[++i];
    else if (arg == "--tree" && hasValue)
      trees = argv[++i];
    else if (arg == "--parallel" && hasValue)
      parallel = std::atoi(argv[++i]);
    else {
      std::cerr << "usage: scale_bench --server ADDRESS --ca-file PEM [--list DIR,...] [--changelist O_N,...] "
                   "[--tree DIR,...] [--parallel N]\n";
      return 2;
    }
  }
  if (g_server.empty() || caFile.empty() || parallel < 1) {
    std::cerr << "scale_bench: --server and --ca-file are required, --parallel at least 1\n";
    return 2;
  }
  char registryName[] = "/tmp/scale-bench-registry-XXXXXX";
  const int registryFd = mkstemp(registryName);
  if (registryFd < 0) return 1;
  close(registryFd);
  std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << caFile << "\n";
  setenv("ISILON_REGISTRY", registryName, 1);

  std::printf("%-11s %-22s %11s %10s %10s %9s %10s %9s %10s %9s\n", "walk", "of", "entries", "elapsed s", "us/entry",
              "vs first", "CPU us/e", "vs first", "peak MiB", "vs first");
  Sizes("listing", Split(lists), ListingWalk);
  Sizes("changelist", Split(changeLists), ChangeListWalk);
  Sizes("tree", Split(trees), [&](const std::string& root, Measure& m) { return TreeWalk(root, parallel, m); });
  std::remove(registryName);
  return 0;
}
