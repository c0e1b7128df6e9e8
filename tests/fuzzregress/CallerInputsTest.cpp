// The caller-input fuzz target in the ordinary build: its seeds, and every call with texts that
// hold a NUL first, in the middle and last (and beside ".."), or other bytes that no request
// may carry raw. The target aborts on a broken invariant.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int FuzzCallerInputs(const uint8_t*, size_t);

namespace {

namespace fs = std::filesystem;

void Feed(unsigned selector, const std::string& text) {
  std::string input(1, static_cast<char>(selector));
  input += text;
  FuzzCallerInputs(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

TEST(CallerInputs, EveryCallWithEveryKindOfText) {
  const std::string nul(1, '\0');
  const std::vector<std::string> texts = {"data" + nul + "-old",
                                          nul + "x",
                                          "daily" + nul,
                                          nul,
                                          "/ifs/data/projects/.." + nul,
                                          "/ifs/data/" + nul + "..",
                                          "/ifs/data/projects" + nul + "/plan.txt",
                                          "System" + nul + "&zone=x",
                                          "a b\t\r\n\x7f",
                                          "a&b#c?d=e",
                                          "..",
                                          ".",
                                          "/ifs/a/../b",
                                          "%00",
                                          "%2e%2e",
                                          "x\r\nX-Injected: 1",
                                          "",
                                          "\xff\xfe",
                                          "/ifs/data"};
  // The selector wraps around the list of calls: 256 values reach each of them.
  for (unsigned selector = 0; selector < 256; ++selector) {
    for (const std::string& text : texts) Feed(selector, text);
  }
}

TEST(CallerInputs, Seeds) {
  const fs::path dir =
      fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus" / "caller_inputs";
  size_t seeds = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FuzzCallerInputs(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    ++seeds;
  }
  EXPECT_GT(seeds, 0u);
}

}  // namespace
