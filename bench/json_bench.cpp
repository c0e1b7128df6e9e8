// Parsing speed of realistic cluster replies with jsonxx, nlohmann::json and RapidJSON, and
// the library's page readers on listing and change-list pages in the simulator's compact
// layout and in the cluster's spaced one, beside the bare scan the benchmark walks make.
//   json_bench                     Google Benchmark run (MB/s per library and reply)
//   json_bench --memory            peak heap bytes while each library reads and holds the ~10 MB
//                                  reply, and the bytes the held result keeps
//   json_bench --default-malloc    as the first, without the allocator settings below
// By default the process keeps freed memory (fixed mmap and trim thresholds): otherwise
// glibc's adaptive thresholds make the 10 MB case swing by 4x between runs, for every
// library alike, depending on which benchmark ran before, as pages go back to the kernel and
// fault in again.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "bench/PageScan.h"
#include "bench/Spaced.h"
#include "isilon/requests/Namespace.h"
#include "isilon/requests/Snapshot.h"
#include "json/Document.h"
#include "json/jsonxx.h"

#if ISILON_HAVE_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#if ISILON_HAVE_RAPIDJSON
#include <rapidjson/document.h>
#endif

// ---- heap accounting (used by --memory only) ---------------------------------------------
// Counts the allocator's usable size of each block, so malloc's rounding is included (its
// 8-byte chunk header is not). When not counting the replacement only forwards to malloc.

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void Count(int64_t delta) {
  int64_t now = g_live.fetch_add(delta) + delta;
  int64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

void* CountedAlloc(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  if (g_counting.load(std::memory_order_relaxed)) Count(static_cast<int64_t>(malloc_usable_size(p)));
  return p;
}

void CountedFree(void* p) {
  if (!p) return;
  if (g_counting.load(std::memory_order_relaxed)) Count(-static_cast<int64_t>(malloc_usable_size(p)));
  std::free(p);
}
}  // namespace

void* operator new(size_t n) { return CountedAlloc(n); }
void* operator new[](size_t n) { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

#if ISILON_HAVE_RAPIDJSON
// RapidJSON allocates with malloc; this base allocator counts what its pool takes.
struct CountingAllocator {
  static const bool kNeedFree = true;
  void* Malloc(size_t size) { return size ? CountedAlloc(size) : nullptr; }
  void* Realloc(void* old, size_t oldSize, size_t newSize) {
    if (newSize == 0) {
      CountedFree(old);
      return nullptr;
    }
    void* p = CountedAlloc(newSize);
    if (old) {
      std::memcpy(p, old, oldSize < newSize ? oldSize : newSize);
      CountedFree(old);
    }
    return p;
  }
  static void Free(void* p) { CountedFree(p); }
};
typedef rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<CountingAllocator>,
                                   CountingAllocator>
    CountedDocument;
#endif

// ---- realistic replies -------------------------------------------------------------------

namespace {

struct Rng {
  uint64_t s = 0x9E3779B97F4A7C15ULL;
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

const char* const kWords[] = {"projects", "finance", "q3-report", "backup", "vm-images", "home",        "scratch",
                              "archive",  "media",   "logs",      "build",  "users",     "engineering", "db-dumps"};
const char* const kExt[] = {".txt", ".pdf", ".vmdk", ".log", ".tar.gz", ".docx", ".csv", ""};

std::string PathOf(Rng& r, int depth) {
  std::string p = "/ifs/data";
  for (int i = 0; i < depth; ++i) {
    p += '/';
    p += kWords[r.below(sizeof kWords / sizeof *kWords)];
  }
  return p;
}

std::string HttpDate(Rng& r) {
  static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d Dec 2023 %02d:%02d:%02d GMT", days[r.below(7)], int(r.below(28) + 1),
                int(r.below(24)), int(r.below(60)), int(r.below(60)));
  return buf;
}

// One page of /platform/3/snapshot/changelists/<id>/lins.
std::string ChangeListPage(int entries) {
  static const char* const types[] = {"ENTRY_ADDED", "ENTRY_REMOVED", "CONTENT_MODIFIED",
                                      "ENTRY_ADDED\",\"CONTENT_MODIFIED"};
  Rng r;
  std::string s = "{\"lins\":[";
  char buf[1024];
  for (int i = 0; i < entries; ++i) {
    uint64_t lin = 4295000000ULL + r.below(1000000000ULL);
    std::string dir = PathOf(r, 2 + int(r.below(4)));
    std::string name = std::string(kWords[r.below(14)]) + "-" + std::to_string(r.below(100000)) + kExt[r.below(8)];
    uint64_t size = r.below(1ULL << 34);
    std::snprintf(buf, sizeof buf,
                  "%s{\"atime_val\":%llu,\"btime_val\":%llu,\"change_types\":[\"%s\"],\"ctime_val\":%llu,"
                  "\"data_path\":\"%s/%s\",\"gid\":%u,\"id\":%d,\"lin\":%llu,\"mode\":\"0%o\",\"mtime_val\":%llu,"
                  "\"parent_lin\":%llu,\"path\":\"%s/%s\",\"physical_size\":%llu,\"root_path\":\"/ifs/data\","
                  "\"size\":%llu,\"type\":\"%s\",\"uid\":%u}",
                  i ? "," : "", 1701000000ULL + r.below(900000), 1690000000ULL + r.below(900000), types[r.below(4)],
                  1701000000ULL + r.below(900000), dir.c_str(), name.c_str(), unsigned(r.below(5000)), i + 1,
                  (unsigned long long)lin, unsigned(0644 + r.below(2) * 0111), 1701000000ULL + r.below(900000),
                  (unsigned long long)(lin - r.below(1000)), dir.c_str(), name.c_str(),
                  (unsigned long long)(size + 8192 - size % 8192), (unsigned long long)size,
                  r.below(6) ? "regular" : "directory", unsigned(r.below(5000)));
    s += buf;
  }
  s += "],\"resume\":\"1-AAAAAQAAAAIAAAAB-changelist-" + std::to_string(entries) +
       "\",\"total\":" + std::to_string(entries) + "}";
  return s;
}

// One page of GET /namespace/<dir>?detail=...: "children" with attributes.
std::string DirectoryPage(int entries) {
  Rng r;
  r.s ^= 0x1234;
  std::string s = "{\"children\":[";
  char buf[1024];
  for (int i = 0; i < entries; ++i) {
    bool dir = r.below(5) == 0;
    std::string name = std::string(kWords[r.below(14)]) + "_" + std::to_string(i) + (dir ? "" : kExt[r.below(8)]);
    std::snprintf(buf, sizeof buf,
                  "%s{\"container_path\":\"/ifs/data/projects\",\"group\":\"wheel\",\"last_modified\":\"%s\","
                  "\"mode\":\"0%o\",\"mtime_val\":%llu,\"name\":\"%s\",\"owner\":\"%s\",\"size\":%llu,"
                  "\"type\":\"%s\"}",
                  i ? "," : "", HttpDate(r).c_str(), dir ? 0755u : 0644u, 1701000000ULL + r.below(900000), name.c_str(),
                  r.below(3) ? "root" : "backupsvc", dir ? 0ULL : (unsigned long long)r.below(1ULL << 32),
                  dir ? "container" : "object");
    s += buf;
  }
  s += "],\"resume\":\"3-AAAAAQAAAAIAAAAB-dir-page\"}";
  return s;
}

// One page of /platform/1/snapshot/snapshots.
std::string SnapshotPage(int entries) {
  Rng r;
  r.s ^= 0x5678;
  std::string s = "{\"snapshots\":[";
  char buf[1024];
  for (int i = 0; i < entries; ++i) {
    std::snprintf(buf, sizeof buf,
                  "%s{\"alias\":null,\"created\":%llu,\"expires\":%s,\"has_locks\":false,\"id\":%d,"
                  "\"name\":\"backup-%d-%llu\",\"path\":\"%s\",\"pct_filesystem\":%.6f,\"pct_reserve\":0.0,"
                  "\"schedule\":%s,\"shadow_bytes\":0,\"size\":%llu,\"state\":\"active\",\"target_id\":null,"
                  "\"target_name\":null}",
                  i ? "," : "", 1700000000ULL + r.below(2000000), r.below(2) ? "null" : "1702000000", 100 + i, i,
                  1700000000ULL + r.below(2000000), PathOf(r, 1 + int(r.below(3))).c_str(),
                  double(r.below(100000)) / 1e7, r.below(2) ? "null" : "\"daily\"",
                  (unsigned long long)r.below(1ULL << 40));
    s += buf;
  }
  s += "],\"resume\":null,\"total\":" + std::to_string(entries) + "}";
  return s;
}

// A change-list page of about 10 MiB.
std::string LargeBody() {
  const size_t perEntry = ChangeListPage(1000).size() / 1000;
  return ChangeListPage(int((10u << 20) / perEntry));
}

const std::string& Input(int which) {
  static const std::string inputs[] = {ChangeListPage(1000),
                                       DirectoryPage(1000),
                                       SnapshotPage(50),
                                       LargeBody(),
                                       spaced::Spaced(ChangeListPage(1000)),
                                       spaced::Spaced(DirectoryPage(1000))};
  return inputs[which];
}
const char* const kInputNames[] = {"changelist_1000", "directory_1000",         "snapshots_50",
                                   "body_10MB",       "changelist_1000_spaced", "directory_1000_spaced"};
const int kInputs = 6;

// ---- the page readers on the simulator's pages ---------------------------------------------
// Pages shaped as the walks of listing_bench and changelist_bench get them: a directory page
// with the members the library asks for, and a change-list page with the described members.

std::string SimListingPage(int entries) {
  Rng r;
  std::string s = "{\"children\":[";
  char buf[512];
  for (int i = 0; i < entries; ++i) {
    std::snprintf(buf, sizeof buf,
                  "%s{\"mode\":\"0644\",\"mtime_val\":%llu,\"name\":\"file-%07d\",\"owner\":\"root\",\"size\":%llu,"
                  "\"type\":\"object\"}",
                  i ? "," : "", 1701000000ULL + r.below(900000), i, (unsigned long long)r.below(1ULL << 32));
    s += buf;
  }
  s += "],\"resume\":\"eyJkaXIiOiIvaWZzL2JpZyIsImFmdGVyIjoiZmlsZS0wMDAxMDAwIn0\"}";
  return s;
}

std::string SimChangeListPage(int entries) {
  Rng r;
  std::string s = "{\"lins\":[";
  char buf[512];
  for (int i = 0; i < entries; ++i) {
    const unsigned long long lin = 4295000000ULL + static_cast<unsigned long long>(i),
                             t = 1701000000ULL + r.below(900000);
    std::snprintf(buf, sizeof buf,
                  "%s{\"atime\":{\"nsec\":0,\"sec\":%llu},\"ctime\":{\"nsec\":0,\"sec\":%llu},\"id\":\"%llu\","
                  "\"mtime\":{\"nsec\":0,\"sec\":%llu},\"path\":\"/ifs/data/dir-%03d/file-%07d\",\"size\":%llu,"
                  "\"type\":\"regular\"}",
                  i ? "," : "", t, t, lin, t, i % 100, i, (unsigned long long)r.below(1ULL << 32));
    s += buf;
  }
  s += "],\"resume\":\"eyJjaGFuZ2VsaXN0IjoiMTBfMTIiLCJvZmZzZXQiOjEwMDB9\",\"total\":1000000}";
  return s;
}

// Page kind 0: directory listing, 1: change list; layout 0: compact, 1: spaced.
const std::string& SimPage(int kind, int layout) {
  static const std::string pages[2][2] = {{SimListingPage(1000), spaced::Spaced(SimListingPage(1000))},
                                          {SimChangeListPage(1000), spaced::Spaced(SimChangeListPage(1000))}};
  return pages[kind][layout];
}
const char* const kPageNames[2][2] = {{"listing_compact", "listing_spaced"},
                                      {"changelist_compact", "changelist_spaced"}};

// The library's own reader of each page, as a walk calls it.
void PageReader(benchmark::State& state) {
  const int kind = int(state.range(0)), layout = int(state.range(1));
  std::string text = SimPage(kind, layout);
  IsilonJsonFileList listing;
  listing.Initialize("127.0.0.1", "/ifs/big", 1000, "");
  IsilonJsonGetChangeList changes;
  for (auto _ : state) {
    const bool read = kind == 0 ? listing.ParseResponse(text) : changes.ParseResponse(text);
    if (!read) state.SkipWithError("page not read");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1000);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(kPageNames[kind][layout]);
}

// The bare walks' scan of the same page.
void BareScan(benchmark::State& state) {
  const int kind = int(state.range(0)), layout = int(state.range(1));
  const std::string& text = SimPage(kind, layout);
  for (auto _ : state) {
    const size_t entries = bare::CountKey(text, kind == 0 ? "\"name\"" : "\"path\"");
    if (entries != 1000 || bare::ResumeOf(text).empty()) state.SkipWithError("page not scanned");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1000);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(kPageNames[kind][layout]);
}

void Pages(benchmark::internal::Benchmark* b) {
  for (int kind = 0; kind < 2; ++kind) {
    for (int layout = 0; layout < 2; ++layout) b->Args({kind, layout});
  }
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(PageReader)->Apply(Pages);
BENCHMARK(BareScan)->Apply(Pages);

// The library's general reader into owned values (jsonxx::Object) and into its compact,
// read-only form (jsonxx::Document).
template <typename Read>
void Jsonxx(benchmark::State& state) {
  const std::string& text = Input(int(state.range(0)));
  for (auto _ : state) {
    Read read;
    if (!read.parse(text)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(kInputNames[state.range(0)]);
}

#if ISILON_HAVE_NLOHMANN
void Nlohmann(benchmark::State& state) {
  const std::string& text = Input(int(state.range(0)));
  for (auto _ : state) {
    nlohmann::json j = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(j);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(kInputNames[state.range(0)]);
}
#endif

#if ISILON_HAVE_RAPIDJSON
template <unsigned Flags>
void RapidJson(benchmark::State& state) {
  const std::string& text = Input(int(state.range(0)));
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse<Flags>(text.data(), text.size());
    if (d.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(kInputNames[state.range(0)]);
}
#endif

void Inputs(benchmark::internal::Benchmark* b) {
  for (int i = 0; i < kInputs; ++i) b->Arg(i);
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK_TEMPLATE(Jsonxx, jsonxx::Object)->Name("Jsonxx")->Apply(Inputs);
BENCHMARK_TEMPLATE(Jsonxx, jsonxx::Document)->Name("JsonxxDocument")->Apply(Inputs);
#if ISILON_HAVE_NLOHMANN
BENCHMARK(Nlohmann)->Apply(Inputs);
#endif
#if ISILON_HAVE_RAPIDJSON
BENCHMARK_TEMPLATE(RapidJson, rapidjson::kParseDefaultFlags)->Apply(Inputs);
BENCHMARK_TEMPLATE(RapidJson, rapidjson::kParseFullPrecisionFlag)->Apply(Inputs);
#endif

// Heap bytes live once the parse is done, the result still held (set by each parse below).
int64_t g_held = 0;
void MarkHeld() { g_held = g_live.load(); }

// Peak heap bytes while parsing and holding the large body, beyond the text itself, and the
// bytes the held result keeps.
template <typename Parse>
void PeakOf(const char* name, Parse parse) {
  g_live = 0;
  g_peak = 0;
  g_held = 0;
  g_counting = true;
  parse();
  g_counting = false;
  std::printf("%-12s peak %8.1f MiB  held %8.1f MiB\n", name, double(g_peak.load()) / (1 << 20),
              double(g_held) / (1 << 20));
}

int MemoryReport() {
  const std::string& text = Input(3);
  std::printf("body %.1f MiB\n", double(text.size()) / (1 << 20));
  PeakOf("jsonxx", [&] {
    jsonxx::Object o;
    o.parse(text);
    MarkHeld();
  });
  PeakOf("jsonxx doc", [&] {
    jsonxx::Document d;
    d.parse(text);
    MarkHeld();
  });
#if ISILON_HAVE_NLOHMANN
  PeakOf("nlohmann", [&] {
    nlohmann::json j = nlohmann::json::parse(text);
    MarkHeld();
  });
#endif
#if ISILON_HAVE_RAPIDJSON
  PeakOf("rapidjson", [&] {
    CountedDocument d;
    d.Parse(text.data(), text.size());
    MarkHeld();
  });
#endif
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) return MemoryReport();
  if (argc > 1 && std::strcmp(argv[1], "--default-malloc") == 0) {
    argv[1] = argv[0];
    --argc;
    ++argv;
  } else {
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
