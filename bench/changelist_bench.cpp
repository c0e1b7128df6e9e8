// Walking a long change list page by page: the library's GetSnapshotChangeList loop against a
// bare libcurl loop that fetches the same pages (the transport's limit), both over HTTPS
// against an in-process simulated cluster on 127.0.0.58:8080 holding a ready change list of
// generated entries. The CPU column is the whole process (client and simulator threads).
//
//   changelist_bench [--entries=N] [--layout=compact|spaced] [benchmark options]      (N default 1000000)
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/BareCurl.h"
#include "bench/Layout.h"
#include "bench/PageScan.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Server.h"
#include "sim/snapshot/SnapshotModule.h"

namespace {

const char kAddress[] = "127.0.0.58";
const unsigned long long kOlder = 10, kNewer = 12;

size_t g_entries = 1000000;
std::string g_certFile;
std::string g_layout = "compact";

void ReportPeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["max_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// ---- the library walk ------------------------------------------------------------------
void BM_LibraryWalk(benchmark::State& state) {
  ManageIsilon session;
  session.SetFileServer(kAddress);
  session.SetUser("admin");
  session.SetPasswd("secret");
  unsigned long long older = kOlder, newer = kNewer;
  size_t total = 0, largestPage = 0;
  for (auto _ : state) {
    _IsilonChangeListInfo info;
    size_t count = 0;
    do {
      const CZemError error = session.GetSnapshotChangeList(older, newer, info);
      if (error.IsError()) {
        state.SkipWithError(("GetSnapshotChangeList failed: " + error.Message()).c_str());
        return;
      }
      count += info.lstItems.size();
      if (info.lstItems.size() > largestPage) largestPage = info.lstItems.size();
    } while (!info.strResume.empty());
    if (count != g_entries) state.SkipWithError("wrong number of entries");
    total += count;
  }
  state.SetItemsProcessed(static_cast<int64_t>(total));
  state.counters["largest_page"] = static_cast<double>(largestPage);
  ReportPeakMemory(state);
  session.CloseConnection();
}

// ---- the bare libcurl walk -------------------------------------------------------------
using bare::Cookies;

void BM_BareCurlWalk(benchmark::State& state) {
  CURL* curl = curl_easy_init();
  const std::string base = std::string("https://") + kAddress + ":8080";
  std::string body;
  Cookies cookies;
  if (!bare::Login(curl, base, g_certFile, body, cookies)) {
    state.SkipWithError("login failed");
    curl_easy_cleanup(curl);
    return;
  }
  curl_slist* headers = bare::UseSession(curl, base, cookies);

  const std::string first =
      base + "/platform/3/snapshot/changelists/" + std::to_string(kOlder) + "_" + std::to_string(kNewer) + "/lins";
  size_t total = 0;
  for (auto _ : state) {
    std::string resume;
    size_t count = 0;
    do {
      body.clear();
      const std::string url = resume.empty() ? first : first + "?resume=" + resume;
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      long status = 0;
      if (curl_easy_perform(curl) != CURLE_OK ||
          (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status), status != 200)) {
        state.SkipWithError("page fetch failed");
        break;
      }
      if (count == 0 && !layout::Matches(body, g_layout)) {
        state.SkipWithError(("the simulator's replies are not " + g_layout).c_str());
        break;
      }
      count += bare::CountKey(body, "\"path\"");
      resume = bare::ResumeOf(body);
    } while (!resume.empty());
    if (count != g_entries) state.SkipWithError("wrong number of entries");
    total += count;
  }
  state.SetItemsProcessed(static_cast<int64_t>(total));
  ReportPeakMemory(state);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
}

BENCHMARK(BM_BareCurlWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);
BENCHMARK(BM_LibraryWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--entries=", 10) == 0) {
      g_entries = std::strtoull(argv[i] + 10, nullptr, 10);
    } else if (std::strncmp(argv[i], "--layout=", 9) == 0) {
      g_layout = argv[i] + 9;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());

  char certName[] = "/tmp/changelist-bench-cert-XXXXXX";
  char registryName[] = "/tmp/changelist-bench-registry-XXXXXX";
  const int certFd = mkstemp(certName), registryFd = mkstemp(registryName);
  if (certFd < 0 || registryFd < 0) return 1;
  close(certFd);
  close(registryFd);
  g_certFile = certName;

  isim::Config config;
  config.address = kAddress;
  if (!layout::Select(config, g_layout)) {
    std::cerr << "changelist_bench: this simulator cannot write " << g_layout << " replies\n";
    return 3;
  }
  isim::Server server(config);
  server.module<isim::SnapshotModule>()->addSyntheticChangeList(kOlder, kNewer, g_entries);
  std::string error;
  if (!server.start(&error) || !server.writeCertificate(g_certFile)) {
    std::cerr << "changelist_bench: cannot start the simulator: " << error << "\n";
    return 1;
  }
  std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << g_certFile << "\n";
  setenv("ISILON_REGISTRY", registryName, 1);

  std::cout << "change list of " << g_entries << " entries, pages of 1000, " << g_layout << " replies" << std::endl;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server.stop();
  std::remove(certName);
  std::remove(registryName);
  return 0;
}
