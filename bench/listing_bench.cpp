// Walking a large directory page by page: the library's GetFileList loop against a bare
// libcurl loop that fetches the same pages (the transport's limit), both over HTTPS against
// an in-process simulated cluster on 127.0.0.48:8080. The CPU column is the whole process
// (client and simulator threads together).
//
//   listing_bench [--entries=N] [--layout=compact|spaced] [benchmark options]      (N default 100000)
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BareCurl.h"
#include "bench/Layout.h"
#include "bench/PageScan.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Server.h"
#include "sim/namespace/NamespaceModule.h"

namespace {

const char kAddress[] = "127.0.0.48";
const char kDir[] = "/ifs/big";
const int kPage = 1000;

size_t g_entries = 100000;
std::string g_certFile;
std::string g_layout = "compact";
isim::Server* g_server = nullptr;

// ---- the library walk ------------------------------------------------------------------
void BM_LibraryWalk(benchmark::State& state) {
  ManageIsilon session;
  session.SetFileServer(kAddress);
  session.SetUser("admin");
  session.SetPasswd("secret");
  std::vector<_IsilonFileInfo> files;
  size_t total = 0;
  for (auto _ : state) {
    std::string resume;
    size_t count = 0;
    do {
      if (!session.GetFileList(files, kDir, resume, kPage)) {
        std::string code, message;
        session.GetLastError(code, message);
        state.SkipWithError(("GetFileList failed: " + code + " " + message).c_str());
        return;
      }
      count += files.size();
    } while (!resume.empty());
    if (count != g_entries) state.SkipWithError("wrong number of entries");
    total += count;
  }
  state.SetItemsProcessed(static_cast<int64_t>(total));
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

  const std::string first = base + "/namespace" + kDir +
                            "/?detail=name,owner,mode,type,size,mtime_val&sort=name&limit=" + std::to_string(kPage);
  size_t total = 0;
  for (auto _ : state) {
    std::string resume;
    size_t count = 0;
    do {
      body.clear();
      const std::string url = resume.empty() ? first : first + "&resume=" + resume;
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
      count += bare::CountKey(body, "\"name\"");
      resume = bare::ResumeOf(body);
    } while (!resume.empty());
    if (count != g_entries) state.SkipWithError("wrong number of entries");
    total += count;
  }
  state.SetItemsProcessed(static_cast<int64_t>(total));
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
}

BENCHMARK(BM_BareCurlWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(3.0);
BENCHMARK(BM_LibraryWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(3.0);

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

  char certName[] = "/tmp/listing-bench-cert-XXXXXX";
  char registryName[] = "/tmp/listing-bench-registry-XXXXXX";
  const int certFd = mkstemp(certName), registryFd = mkstemp(registryName);
  if (certFd < 0 || registryFd < 0) return 1;
  close(certFd);
  close(registryFd);
  g_certFile = certName;

  isim::Config config;
  config.address = kAddress;
  if (!layout::Select(config, g_layout)) {
    std::cerr << "listing_bench: this simulator cannot write " << g_layout << " replies\n";
    return 3;
  }
  isim::Server server(config);
  g_server = &server;
  server.module<isim::NamespaceModule>()->tree().Generate(kDir, g_entries, 0);
  std::string error;
  if (!server.start(&error) || !server.writeCertificate(g_certFile)) {
    std::cerr << "listing_bench: cannot start the simulator: " << error << "\n";
    return 1;
  }
  std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << g_certFile << "\n";
  setenv("ISILON_REGISTRY", registryName, 1);

  std::cout << "directory of " << g_entries << " entries, pages of " << kPage << ", " << g_layout << " replies"
            << std::endl;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server.stop();
  std::remove(certName);
  std::remove(registryName);
  return 0;
}
