// Replays the fuzz targets' seed replies (captured from isilon-sim) and every input kept in
// fuzz/regressions/ through the same entry points the fuzzer calls, in the ordinary build.
// A target aborts on a broken invariant, so a regression shows as this program dying; the
// input being read is named on stderr first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Each fuzz target under its own name (Target*.cpp).
extern "C" int FuzzJson(const uint8_t*, size_t);
extern "C" int FuzzErrorReply(const uint8_t*, size_t);
extern "C" int FuzzNamespaceReplies(const uint8_t*, size_t);
extern "C" int FuzzSynciqReplies(const uint8_t*, size_t);
extern "C" int FuzzSmbReplies(const uint8_t*, size_t);
extern "C" int FuzzNfsReplies(const uint8_t*, size_t);
extern "C" int FuzzSnapshotReplies(const uint8_t*, size_t);
extern "C" int FuzzSessionReplies(const uint8_t*, size_t);

namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;  // fuzz_<name>, seeds in fuzz/corpus/<name>/
  int (*entry)(const uint8_t*, size_t);
};

const Target kTargets[] = {
    {"json", FuzzJson},
    {"error_reply", FuzzErrorReply},
    {"namespace_replies", FuzzNamespaceReplies},
    {"synciq_replies", FuzzSynciqReplies},
    {"smb_replies", FuzzSmbReplies},
    {"nfs_replies", FuzzNfsReplies},
    {"snapshot_replies", FuzzSnapshotReplies},
    {"session_replies", FuzzSessionReplies},
};

fs::path SourceRoot() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

std::vector<fs::path> Inputs(const std::string& name) {
  std::vector<fs::path> files;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = SourceRoot() / "fuzz" / kind / name;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Replay(const Target& target, const std::string& bytes, const std::string& label) {
  EXPECT_EQ(0, target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << label;
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

// Every target has captured seeds, and every seed and kept input reads with its invariants
// holding, whole and cut short at every eighth byte (a truncated reply); so do nothing and a
// lone byte.
TEST_P(FuzzReplay, SeedsRegressionsAndTruncatedReplies) {
  const Target& target = GetParam();
  Replay(target, std::string(), "empty");
  Replay(target, std::string(1, '{'), "{");
  const std::vector<fs::path> files = Inputs(target.name);
  ASSERT_FALSE(files.empty()) << "no seeds for fuzz_" << target.name;
  for (const fs::path& file : files) {
    const std::string bytes = Slurp(file);
    std::fprintf(stderr, "fuzz_%s <- %s, whole and cut short\n", target.name, file.string().c_str());
    Replay(target, bytes, file.string());
    for (size_t cut = 1; cut < bytes.size(); cut += 8) {
      Replay(target, bytes.substr(0, cut), file.filename().string() + " cut at " + std::to_string(cut));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
