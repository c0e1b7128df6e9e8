// isilonctl's output for terminals and scripts, the real tool against the simulated cluster:
// tables fitted to the terminal and aligned by display width, footers on a terminal only,
// ndjson streams, -print0 and human-readable values.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/core/Faults.h"
#include "sim/namespace/NamespaceModule.h"
#include "sim/smb/SmbModule.h"
#include "sim/snapshot/SnapshotModule.h"
#include "tests/cli/Terminal.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/ModuleSession.h"
#include "tests/support/Registry.h"

namespace {

const char kEllipsis[] = "\xE2\x80\xA6";

// The display width of a line as the tool counts it: two columns for the wide characters
// used here, one for every other character or stray byte.
size_t Columns(const std::string& line) {
  size_t columns = 0;
  for (size_t i = 0; i < line.size();) {
    const unsigned char lead = static_cast<unsigned char>(line[i]);
    if (line.compare(i, 3, "\xE2\x9C\x85") == 0 || line.compare(i, 3, "\xE6\x97\xA5") == 0 ||
        line.compare(i, 3, "\xE6\x9C\xAC") == 0) {  // U+2705, U+65E5, U+672C
      columns += 2;
      i += 3;
    } else if (lead >= 0xC0 && lead < 0xF8 && i + 1 < line.size() &&
               (static_cast<unsigned char>(line[i + 1]) & 0xC0) == 0x80) {
      const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      columns += 1;
      i += length;
    } else {
      columns += 1;
      i += 1;
    }
  }
  return columns;
}

class OutputTest : public CtlFixture<ModuleSession> {
 protected:
  OutputTest() : CtlFixture("127.0.0.221") {}

  void SetUp() override {
    CtlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // A password a terminal run needs not type: enciphered with a key file.
    const CtlRun made = RunIsilonctlRaw(
        {"--password-stdin", "encrypt-password", "--key-file", keys_.File("k"), "--create-key"}, password() + "\n");
    ASSERT_EQ(0, made.exitCode) << made.err;
    enciphered_ = made.out.substr(0, made.out.find('\n'));
  }

  isim::SmbModule& smb() { return module<isim::SmbModule>(); }
  isim::ns::Tree& tree() { return module<isim::NamespaceModule>().tree(); }

  void AddShare(const std::string& name, const std::string& path, const std::string& description) {
    isim::SmbModule::Share share;
    share.name = name;
    share.path = path;
    share.description = description;
    ASSERT_TRUE(smb().addShare("System", share)) << name;
  }
  void AddFile(const std::string& path, uint64_t size, const std::string& owner = "alice") {
    isim::ns::NewEntry attrs;
    attrs.size = size;
    attrs.owner = owner;
    attrs.mode = "0644";
    attrs.mtime = 1700000000;
    ASSERT_EQ(tree().AddFile(path, attrs, /*parents=*/true), isim::ns::Status::kOk) << path;
  }

  TerminalRun Terminal(const std::vector<std::string>& tail, const std::vector<std::string>& env,
                       unsigned short columns = 100) {
    std::vector<std::string> args{"--server",  address(),    "--user",        user(),      "--encrypted-password",
                                  enciphered_, "--key-file", keys_.File("k"), "--ca-file", certPath()};
    args.insert(args.end(), tail.begin(), tail.end());
    return RunInTerminal(args, env, columns);
  }

  // Standard output split at line ends, each line parsed as JSON.
  static std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> values;
    for (const std::string& line : Lines(out)) values.push_back(nlohmann::json::parse(line, nullptr, false));
    return values;
  }

 private:
  TempDir keys_;
  std::string enciphered_;
};

const std::string kLong = "a description far longer than any narrow terminal is wide, so that it must be cut to fit it";

TEST_F(OutputTest, TablesFitTheTerminalAndFootersAreForPeople) {
  AddShare("backup", "/ifs/data/backup", kLong);
  AddShare("eng", "/ifs/eng", "short");

  const struct {
    std::vector<std::string> args;
    std::vector<std::string> env;
    unsigned short terminal;
    size_t widest;  // the longest line may take this many columns (0: the whole description shows)
  } cases[] = {
      {{"shares", "list"}, {"COLUMNS=40"}, 100, 40},
      {{"shares", "list"}, {"COLUMNS=200"}, 100, 0},
      {{"shares", "list"}, {}, 60, 60},  // no COLUMNS: the terminal's own width
      {{"shares", "list"}, {"COLUMNS=x"}, 60, 60},
      {{"-o", "wide", "shares", "list"}, {"COLUMNS=40"}, 40, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + ::testing::PrintToString(c.env) + std::to_string(c.terminal));
    const TerminalRun run = Terminal(c.args, c.env, c.terminal);
    ASSERT_EQ(0, run.exitCode) << run.out;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(4u, lines.size()) << run.out;
    EXPECT_EQ(0u, lines[0].rfind("NAME", 0)) << run.out;
    EXPECT_EQ("2 shares", lines[3]);
    if (c.widest == 0) {
      EXPECT_NE(std::string::npos, run.out.find(kLong)) << run.out;
      EXPECT_EQ(std::string::npos, run.out.find(kEllipsis)) << run.out;
    } else {
      size_t longest = 0;
      for (const std::string& line : lines) longest = std::max(longest, Columns(line));
      EXPECT_EQ(c.widest, longest) << run.out;
      EXPECT_NE(std::string::npos, lines[1].find(kEllipsis)) << run.out;
      // The widest column gives way first: the names always stay whole, the paths when there is room.
      EXPECT_EQ(0u, lines[1].rfind("backup  ", 0)) << run.out;
      EXPECT_EQ(c.widest >= 60, run.out.find("/ifs/data/backup") != std::string::npos) << run.out;
    }
  }

  // --no-headers: neither the header nor the footer, on a terminal too.
  TerminalRun run = Terminal({"--no-headers", "shares", "list"}, {"COLUMNS=200"});
  ASSERT_EQ(0, run.exitCode) << run.out;
  EXPECT_EQ(2u, Lines(run.out).size()) << run.out;
  EXPECT_EQ(0u, run.out.rfind("backup", 0)) << run.out;

  // Not a terminal: nothing is cut whatever COLUMNS says, and no footer.
  setenv("COLUMNS", "40", 1);
  const CtlRun file = Ctl({"shares", "list"});
  unsetenv("COLUMNS");
  ASSERT_EQ(0, file.exitCode) << file.err;
  EXPECT_NE(std::string::npos, file.out.find(kLong)) << file.out;
  EXPECT_EQ(3u, Lines(file.out).size()) << file.out;
  EXPECT_EQ(0u, Lines(Ctl({"--no-headers", "shares", "list"}).out)[0].rfind("backup", 0));
}

TEST_F(OutputTest, ColumnsAlignByDisplayWidth) {
  // Owners of two columns each, written three ways: a wide character, two narrow ones, and two
  // bytes that are not UTF-8 (one column each). The column after them starts at one place.
  const std::string invalid = "\xFF\xFE";
  AddFile("/ifs/w/a", 1, "\xE2\x9C\x85");  // U+2705, two columns
  AddFile("/ifs/w/b", 1, "ab");
  AddFile("/ifs/w/c", 1, "\xE6\x97\xA5\xE6\x9C\xAC");  // two wide characters: four columns
  // The simulator writes valid JSON only; a reply carrying the stray bytes comes as a fault.
  const nlohmann::json entry = {{"name", "d"},    {"mtime_val", 1700000000}, {"owner", "OWNER"},
                                {"mode", "0644"}, {"type", "object"},        {"size", 1}};
  std::string body = nlohmann::json{{"children", {entry}}}.dump();
  body.replace(body.find("OWNER"), 5, invalid);
  isim::Fault stray = isim::Fault::replace("", 200, body);
  stray.regex = "^/namespace/ifs/x/?\\?";
  server().faults().add(stray.count(0));

  for (const char* dir : {"/ifs/w", "/ifs/x"}) {
    const CtlRun run = Ctl({"ls", dir});
    ASSERT_EQ(0, run.exitCode) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    // TYPE  MODE  OWNER  SIZE ...: the SIZE column starts where the header's does.
    const size_t sizeAt = lines[0].find("SIZE");
    ASSERT_NE(std::string::npos, sizeAt) << lines[0];
    for (size_t i = 1; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      const size_t one = line.find(" 1 ");  // the size, right after the owner's padding
      ASSERT_NE(std::string::npos, one) << line;
      EXPECT_EQ(Columns(lines[0].substr(0, sizeAt)), Columns(line.substr(0, one + 1))) << run.out;
    }
  }
}

TEST_F(OutputTest, NdjsonStreamsOneEntryALineOverManyPages) {
  // More entries than one page of each listing: 25 entries in pages of 7 for ls, 1,200 entries
  // for find (the walk reads 1,000 a page), 2,500 for a change list (the cluster's 1,000 a page).
  ASSERT_EQ(tree().Generate("/ifs/gen", 25, 0, 3), isim::ns::Status::kOk);
  ASSERT_EQ(tree().Generate("/ifs/big", 1200, 1, 5), isim::ns::Status::kOk);
  module<isim::SnapshotModule>().addSyntheticChangeList(1, 2, 2500);

  const struct {
    std::vector<std::string> args;
    size_t entries;
    size_t pagesAtLeast;
    const char* target;
  } cases[] = {
      {{"-o", "ndjson", "ls", "/ifs/gen", "--all", "--limit", "7"}, 25, 4, "/namespace/ifs/gen"},
      {{"-o", "ndjson", "find", "/ifs/big"}, 1201, 3, "/namespace/ifs/big"},
      {{"-o", "ndjson", "find", "/ifs/big", "--type", "f"}, 1200, 2, "/namespace/ifs/big"},
      {{"-o", "ndjson", "changelist", "get", "1", "2", "--all"}, 2500, 3, "/platform/3/snapshot/changelists/1_2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    server().requestLog().clear();
    const CtlRun run = Ctl(c.args);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("", run.err);
    const std::vector<nlohmann::json> values = JsonLines(run.out);
    EXPECT_EQ(c.entries, values.size());
    for (const nlohmann::json& value : values) {
      ASSERT_TRUE(value.is_object()) << run.out.substr(0, 400);
      EXPECT_TRUE(value.contains("path")) << value;
    }
    EXPECT_GE(Sent("GET", c.target).size(), c.pagesAtLeast);
  }

  // -o json stays one document; --json is the same.
  for (const char* form : {"-ojson", "--json"}) {
    const CtlRun doc = Ctl({form, "ls", "/ifs/gen", "--all", "--limit", "7"});
    ASSERT_EQ(0, doc.exitCode) << doc.err;
    EXPECT_EQ(25u, doc.Json()["entries"].size()) << form;
  }
  // A listing that fails part way ends with the failure as a line of its own.
  server().faults().add(isim::Fault::repeatResume("/namespace").count(0));
  const CtlRun run = Ctl({"-o", "ndjson", "ls", "/ifs/gen", "--all", "--limit", "10"});
  EXPECT_EQ(1, run.exitCode);
  const std::vector<nlohmann::json> values = JsonLines(run.out);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(false, values.back()["ok"]) << run.out;
  for (size_t i = 0; i + 1 < values.size(); ++i) EXPECT_TRUE(values[i].contains("path"));

  // Commands that answer with one object give it on one line.
  const CtlRun one = Ctl({"-o", "ndjson", "shares", "list"});
  ASSERT_EQ(0, one.exitCode);
  EXPECT_EQ(1u, Lines(one.out).size()) << one.out;
  EXPECT_EQ(true, one.Json()["ok"]);
}

TEST_F(OutputTest, FindPrint0EndsEachPathWithNul) {
  AddFile("/ifs/p/a b", 1);
  AddFile("/ifs/p/new\nline", 1);
  for (const char* spelling : {"-print0", "--print0"}) {
    const CtlRun run = Ctl({"find", "/ifs/p", spelling});
    ASSERT_EQ(0, run.exitCode) << run.err;
    std::vector<std::string> paths;
    for (size_t start = 0; start < run.out.size();) {
      const size_t end = run.out.find('\0', start);
      ASSERT_NE(std::string::npos, end) << "every path ends with NUL";
      paths.push_back(run.out.substr(start, end - start));
      start = end + 1;
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(std::vector<std::string>({"/ifs/p/a b", "/ifs/p/new\nline"}), paths);
  }
}

TEST_F(OutputTest, HumanReadableSizesAndLocalTimes) {
  // Each side of a unit's bound: 1023 bytes stay bytes, 1024 is 1.0K.
  const std::pair<uint64_t, std::string> sizes[] = {
      {1023, "1023"}, {1024, "1.0K"}, {1536, "1.5K"}, {20 * 1024 * 1024, "20M"}, {10 * 1024 - 1, "10K"}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(s.second);
    AddFile("/ifs/h/f", s.first);
    const CtlRun human = Ctl({"-H", "stat", "/ifs/h/f"});
    ASSERT_EQ(0, human.exitCode) << human.err;
    EXPECT_NE(std::string::npos, human.out.find("Size:     " + s.second + "\n")) << human.out;
    const CtlRun raw = Ctl({"stat", "/ifs/h/f"});
    EXPECT_NE(std::string::npos, raw.out.find("Size:     " + std::to_string(s.first) + "\n")) << raw.out;
    ASSERT_EQ(tree().Remove("/ifs/h/f", /*recursive=*/false), isim::ns::Status::kOk);
  }
  AddFile("/ifs/h/f", 1536);
  // Local time with its zone under -H; UTC without a zone name otherwise.
  setenv("TZ", "EST5", 1);
  const CtlRun local = Ctl({"-H", "ls", "/ifs/h"});
  const CtlRun utc = Ctl({"ls", "/ifs/h"});
  const CtlRun du = Ctl({"--human-readable", "du", "/ifs/h"});
  unsetenv("TZ");
  EXPECT_NE(std::string::npos, local.out.find("1.5K  2023-11-14 17:13:20 EST  f")) << local.out;
  EXPECT_NE(std::string::npos, utc.out.find("1536  2023-11-14 22:13:20  f")) << utc.out;
  EXPECT_NE(std::string::npos, du.out.find("1.5K in 1 files")) << du.out;
}

TEST_F(OutputTest, WideTablesShowTheirRestWithWide) {
  for (const auto& c : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"synciq", "policies"}, "NAME  ENABLED  ACTION  SCHEDULE  SOURCE  TARGET"},
           {{"-o", "wide", "synciq", "policies"},
            "NAME  ID  ENABLED  ACTION  SCHEDULE  SOURCE  TARGET  ARCHIVE  EXPIRY  PATTERN"},
           {{"exports", "list"}, "ID  PATHS  CLIENTS  ACCESS"},
           {{"-o", "wide", "exports", "list"},
            "ID  PATHS  CLIENTS  RW CLIENTS  RO CLIENTS  ROOT CLIENTS  SECURITY  ACCESS"},
       }) {
    const CtlRun run = Ctl(c.first);
    ASSERT_EQ(0, run.exitCode) << run.err;
    // The column names, however wide their columns are.
    std::string header = Lines(run.out).at(0);
    for (size_t gap; (gap = header.find("   ")) != std::string::npos;) header.erase(gap, 1);
    EXPECT_EQ(c.second, header) << ::testing::PrintToString(c.first);
  }
}

}  // namespace
