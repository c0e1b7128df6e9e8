// Reading a whole directory tree from a cluster that answers each page after some latency:
// IsilonTreeWalk with 1, 2, 4, ... sessions against a bare sequential libcurl walk of the same
// pages. Each walk runs in its own child process, so its peak memory is its own. The cluster
// is an isilon-sim started by bench/run (e.g. --latency-ms 5 --ns-generate /ifs/tree:198000:2000).
//
//   treewalk_bench --server ADDRESS --ca-file PEM --root DIR [--parallel 1,2,4,8,16] [--bare]
//                  [--nodes ADDRESS,ADDRESS,...]
// With --nodes (the cluster's node addresses, the first being --server's), each N runs twice:
// every session on the first node, then the sessions spread over all the nodes.
#include <curl/curl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BareCurl.h"
#include "bench/Child.h"
#include "isilon/IsilonTreeWalk.h"

namespace {

const int kPage = 1000;

using bench::InChild;
using bench::Measure;

// ---- the bare libcurl walk -------------------------------------------------------------
using bare::Cookies;

std::string StringAfter(const std::string& body, size_t from, const char* key) {
  const size_t at = body.find(key, from);
  if (at == std::string::npos) return std::string();
  const size_t open = at + std::strlen(key);
  return body.substr(open, body.find('"', open) - open);
}

// Depth first, one page at a time, finding subdirectories by a plain text scan of each entry
// object (generated names hold no braces or quotes).
bool BareWalk(const std::string& address, const std::string& caFile, const std::string& root, Measure& m) {
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
      for (size_t open = body.find('{', 1); open != std::string::npos; open = body.find('{', open + 1)) {
        const size_t close = body.find('}', open);
        ++m.entries;
        // Every entry has its type, so this search stays within the entry.
        const size_t type = body.find("\"type\":\"", open);
        if (type < close && body.compare(type + 8, 9, "container") == 0) {
          stack.push_back(dir + "/" + StringAfter(body, open, "\"name\":\""));
        }
      }
      const size_t at = body.rfind("\"resume\":\"");
      resume = at == std::string::npos ? std::string() : StringAfter(body, at, "\"resume\":\"");
    } while (!resume.empty());
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string server, caFile, root, nodes, parallelList = "1,2,4,8,16";
  bool bare = false;
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
    else if (arg == "--bare")
      bare = true;
    else {
      std::cerr << "usage: treewalk_bench --server ADDRESS --ca-file PEM --root DIR [--parallel 1,2,4] [--bare] "
                   "[--nodes A,B,C]\n";
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
  // Each walk's child reads the registry afresh, so it can be rewritten between walks.
  auto writeRegistry = [&](const std::string& nodeAddresses) {
    std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << caFile << "\n"
                                << (nodeAddresses.empty() ? "" : "sIsilonNodeAddresses=" + nodeAddresses + "\n");
  };
  writeRegistry(std::string());
  setenv("ISILON_REGISTRY", registryName, 1);

  std::printf("%-28s %10s %10s %12s %9s %12s %12s\n", "walk", "entries", "elapsed s", "entries/s", "speed-up",
              "peak RSS MiB", "CPU us/entry");
  auto print = [](const std::string& label, const Measure& m, double base) {
    if (!m.ok) {
      std::printf("%-28s failed\n", label.c_str());
      return;
    }
    std::printf("%-28s %10llu %10.2f %12.0f %9.2f %12.1f %12.2f\n", label.c_str(), m.entries, m.seconds,
                static_cast<double>(m.entries) / m.seconds, base > 0 ? base / m.seconds : 1.0, m.maxRssKiB / 1024.0,
                m.entries > 0 ? m.cpuSeconds * 1e6 / static_cast<double>(m.entries) : 0.0);
  };
  auto treeWalk = [&](int n) {
    return InChild([&](Measure& out) {
      IsilonTreeWalk walk(server, "admin", "secret");
      if (!walk.SetParallel(n)) return false;
      walk.SetPageSize(kPage);
      walk.OnPage([](const std::string&, std::vector<_IsilonFileInfo>&) { return true; });
      const bool complete = walk.Run(root);
      out.entries = walk.Entries();
      return complete;
    });
  };
  double bareSeconds = 0, oneSeconds = 0;
  if (bare) {
    const Measure m = InChild([&](Measure& out) { return BareWalk(server, caFile, root, out); });
    print("bare libcurl, 1 conn", m, 0);
    bareSeconds = m.ok ? m.seconds : 0;
  }
  std::stringstream list(parallelList);
  std::string item;
  while (std::getline(list, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (!nodes.empty()) {
      writeRegistry(nodes.substr(0, nodes.find(',')));
      const Measure one = treeWalk(n);
      print("N=" + std::to_string(n) + ", all on one node", one, 0);
      writeRegistry(nodes);
      const Measure spread = treeWalk(n);
      print("N=" + std::to_string(n) + ", spread over nodes", spread, one.ok ? one.seconds : 0);
      if (one.ok && spread.ok)
        std::printf("N=%d spread over the nodes against all on one: %.2fx as fast\n", n, one.seconds / spread.seconds);
      continue;
    }
    const Measure m = treeWalk(n);
    if (n == 1 && m.ok) oneSeconds = m.seconds;
    print("IsilonTreeWalk N=" + std::to_string(n), m, oneSeconds);
  }
  if (bareSeconds > 0 && oneSeconds > 0) {
    std::printf("N=1 against the bare walk: %.3fx the time\n", oneSeconds / bareSeconds);
  }
  std::remove(registryName);
  return 0;
}
