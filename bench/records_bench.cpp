// The library's own share of a walk: reading one page of 1000 entries, as isilon-sim writes
// them, into records (no network). Steady enough for `valgrind --tool=callgrind`:
//
//   records_bench [benchmark options]
//   valgrind --tool=callgrind records_bench --benchmark_filter=ChangeList --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"

namespace {

const int kEntries = 1000;

std::string ListingPage() {
  std::string page = "{\"children\":[";
  char entry[256];
  for (int i = 0; i < kEntries; ++i) {
    std::snprintf(entry, sizeof entry,
                  "%s{\"mode\":\"0644\",\"mtime_val\":%d,\"name\":\"f%07d\",\"owner\":\"root\",\"size\":%d,"
                  "\"type\":\"object\"}",
                  i ? "," : "", 1700000000 + i, i, 1024 + i);
    page += entry;
  }
  return page + "],\"resume\":\"MTAwMHxmMDAwMDk5OQ==\"}";
}

std::string ChangeListPage() {
  std::string page = "{\"lins\":[";
  char entry[512];
  for (int i = 0; i < kEntries; ++i) {
    std::snprintf(entry, sizeof entry,
                  "%s{\"atime\":{\"nsec\":0,\"sec\":%d},\"change_types\":[\"ENTRY_ADDED\"],\"ctime\":{\"nsec\":0,"
                  "\"sec\":%d},\"id\":\"%lld\",\"lin\":%lld,\"mtime\":{\"nsec\":0,\"sec\":%d},"
                  "\"path\":\"/ifs/data/generated/dir%03d/file%07d\",\"size\":%d,\"snap_id\":12,\"type\":\"regular\"}",
                  i ? "," : "", 1700000000 + i, 1700000000 + i, 4295000000LL + i, 4295000000LL + i, 1700000000 + i,
                  i % 100, i, 4096 + i);
    page += entry;
  }
  return page + "],\"resume\":\"MTAwMA==\",\"total\":1000000}";
}

void BM_FileListPage(benchmark::State& state) {
  const std::string page = ListingPage();
  std::vector<_IsilonFileInfo> files;
  for (auto _ : state) {
    IsilonJsonFileList request;
    request.Initialize("127.0.0.1", "/ifs/big", kEntries, std::string());
    std::string reply = page;
    if (!request.ParseResponse(reply) || !request.GetFilesInfo(files) || files.size() != kEntries) {
      state.SkipWithError("page not read");
      return;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kEntries);
}

void BM_ChangeListPage(benchmark::State& state) {
  const std::string page = ChangeListPage();
  _IsilonChangeListInfo info;
  for (auto _ : state) {
    IsilonJsonGetChangeList request;
    std::string reply = page;
    if (!request.ParseResponse(reply)) {
      state.SkipWithError("page not read");
      return;
    }
    request.GetChangeList(info);
    if (info.lstItems.size() != kEntries) state.SkipWithError("wrong page size");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kEntries);
}

BENCHMARK(BM_FileListPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeListPage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
