// The host services the library stands on: log writer, error values, formatting, registry and
// the password cipher, each through its real implementation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/DebugLog.h"
#include "host/FXString.h"
#include "host/LogWriter.h"
#include "host/Password.h"
#include "host/PlatformInfo.h"
#include "host/Sleep.h"
#include "host/ZemError.h"
#include "isilon/ManageIsilon.h"
#include "isilon/Version.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"
#include "tests/support/TempFile.h"

TEST(LogWriter, WritesWholeLinesFromManyThreadsAndFiltersTheDebugLog) {
  // Callers filter by level(); the writer writes what it is given.
  TempFile file;
  CDefaultLogWriter writer(file.path(), 2);
  writer.write(2, "f()", 2, 42, 0, "kept %d", 7);

  const int kThreads = 8, kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&writer, t] {
      const std::string payload(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) writer.write(0, "worker()", i, t, 0, "<%s>", payload.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  std::ifstream in(file.path());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1u + kThreads * kLines);
  EXPECT_NE(lines[0].find("[2] f():2 ctx=42 kept 7"), std::string::npos) << lines[0];
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t open = lines[i].find('<');
    ASSERT_NE(open, std::string::npos) << lines[i];
    const std::string payload = lines[i].substr(open + 1, 200);
    // One thread's letter only, and the line ends right after its payload.
    EXPECT_EQ(std::set<char>(payload.begin(), payload.end()).size(), 1u) << lines[i];
    EXPECT_EQ(lines[i].size(), open + 202) << lines[i];
  }

  // The debug log goes through the installed writer, with its level.
  ScopedLogCapture capture(2);
  EvDebug debug(nullptr);
  debug.DebugLvl("Fn", 3, "hidden %d", 1);
  debug.DebugLvl("Fn", 2, "shown %d", 2);
  debug.DebugLvl("Fn", -1, 99LL, "with context %s", "x");
  EXPECT_FALSE(capture.Contains("hidden"));
  EXPECT_TRUE(capture.Contains("shown 2"));
  EXPECT_TRUE(capture.Contains("with context x"));
}

namespace {

// Sets (or, with null, unsets) one environment variable until the scope ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* previous = std::getenv(name);
    if (previous != nullptr) previous_ = previous;
    had_ = previous != nullptr;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_.c_str(), previous_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string previous_;
  bool had_ = false;
};

// Standard error sent to a file until the scope ends.
class ScopedStderr {
 public:
  ScopedStderr() {
    std::fflush(stderr);
    saved_ = dup(2);
    const int fd = open(file_.path().c_str(), O_WRONLY | O_APPEND);
    dup2(fd, 2);
    close(fd);
  }
  ~ScopedStderr() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }
  ScopedStderr(const ScopedStderr&) = delete;
  ScopedStderr& operator=(const ScopedStderr&) = delete;
  std::string Read() {
    std::fflush(stderr);
    return file_.read();
  }

 private:
  TempFile file_;
  int saved_ = -1;
};

// Logs one failure line (the lowest level the library writes at) as the library does: only
// when the writer's level admits it.
void LogFailure(CLogWriterInterface& writer) {
  if (writer.level() >= -1) writer.write(-1, "f()", 1, 0, 0, "a failure");
}

}  // namespace

// The default writer is silent unless the environment asks for a log, on standard error
// (ISILON_LOG_LEVEL) or in a file (ISILON_LOG_FILE, with or without a level).
TEST(DefaultLogWriter, WritesOnlyWhereTheEnvironmentAsks) {
  enum Sink { kNowhere, kStderr, kFile };
  struct Case {
    const char* file;  // "F": a temporary file, "X": a path that cannot be opened
    const char* level;
    int wantLevel;
    Sink sink;
  } cases[] = {
      {nullptr, nullptr, -2, kNowhere}, {nullptr, "", -2, kNowhere},
      {nullptr, "2x", -2, kNowhere},    {nullptr, "0", 0, kStderr},
      {nullptr, "-1", -1, kStderr},     {nullptr, "1000", 1000, kStderr},
      {nullptr, "1001", -2, kNowhere},  {nullptr, "-1000", -1000, kNowhere},
      {nullptr, "-1001", -2, kNowhere}, {"", "3", 3, kStderr},
      {"F", nullptr, 0, kFile},         {"F", "3", 3, kFile},
      {"F", "-1001", 0, kFile},         {"F", "-2", -2, kNowhere},
      {"X", nullptr, 0, kNowhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("file=") + (c.file ? c.file : "unset") + " level=" + (c.level ? c.level : "unset"));
    TempFile log;
    const char* path = c.file == nullptr               ? nullptr
                       : std::strcmp(c.file, "F") == 0 ? log.path().c_str()
                       : std::strcmp(c.file, "X") == 0 ? "/nonexistent-isilon-dir/log.txt"
                                                       : c.file;
    ScopedEnv file("ISILON_LOG_FILE", path);
    ScopedEnv level("ISILON_LOG_LEVEL", c.level);
    ScopedStderr err;
    {
      CDefaultLogWriter writer;
      EXPECT_EQ(writer.level(), c.wantLevel);
      EXPECT_EQ(writer.enabled(-1), c.wantLevel >= -1);
      LogFailure(writer);
      writer.flush();
    }
    EXPECT_EQ(err.Read().find("a failure") != std::string::npos, c.sink == kStderr);
    EXPECT_EQ(log.read().find("a failure") != std::string::npos, c.sink == kFile);
  }
}

namespace {

void NoSleep(unsigned int, const char*, int) {}

// Standard error while `session` runs a good session and then a refused one, with the library
// logging through `writer`.
std::string StderrOfSessions(const boost::shared_ptr<CLogWriterInterface>& writer, SimCluster& cluster) {
  const boost::shared_ptr<CLogWriterInterface> previous = g_ptrLogWriter;
  g_ptrLogWriter = writer;
  SetZemSleepHook(&NoSleep);
  ScopedRegistry registry("[NAS]\nsIsilonCAFile=" + cluster.certPath() + "\n");
  ScopedStderr err;
  {
    ManageIsilon good;
    good.SetFileServer(cluster.address());
    good.SetUser(cluster.user());
    good.SetPasswd(cluster.password());
    std::vector<_IsilonVersionInfo> nodes;
    EXPECT_FALSE(good.GetVersionInfo(nodes).IsError());
    EXPECT_FALSE(nodes.empty());
    EXPECT_TRUE(good.CloseConnection());

    ManageIsilon refused;  // nothing listens there
    refused.SetFileServer("127.0.0.38");
    refused.SetUser(cluster.user());
    refused.SetPasswd(cluster.password());
    EXPECT_TRUE(refused.GetVersionInfo(nodes).IsError());
  }
  std::string text = err.Read();
  SetZemSleepHook(nullptr);
  g_ptrLogWriter = previous;
  return text;
}

}  // namespace

// A host that sets nothing sees nothing from the library, neither for a good session nor for
// a refused connection; a level set later (as a tool's --log-level does) brings the log back.
TEST(DefaultLogWriter, ASessionWritesNothingUnlessALevelIsSet) {
  SimCluster cluster("127.0.0.37");
  ScopedEnv file("ISILON_LOG_FILE", nullptr);
  ScopedEnv level("ISILON_LOG_LEVEL", nullptr);
  boost::shared_ptr<CDefaultLogWriter> writer(new CDefaultLogWriter());
  EXPECT_EQ(StderrOfSessions(writer, cluster), "");
  writer->setLevel(0);
  EXPECT_NE(StderrOfSessions(writer, cluster), "");
}

// The header a host builds against names the library it loads; the macros are numbers a
// preprocessor can compare.
TEST(Version, MacrosMatchTheLoadedLibrary) {
#if !(ISILONCLIENT_VERSION_MAJOR >= 1 && ISILONCLIENT_VERSION_MINOR >= 0 && ISILONCLIENT_VERSION_PATCH >= 0)
#error the version macros are not numbers
#endif
  const std::string numbers = std::to_string(ISILONCLIENT_VERSION_MAJOR) + "." +
                              std::to_string(ISILONCLIENT_VERSION_MINOR) + "." +
                              std::to_string(ISILONCLIENT_VERSION_PATCH);
  EXPECT_EQ(numbers, IsilonClientVersion());
  EXPECT_EQ(std::string(ISILONCLIENT_VERSION), IsilonClientVersion());
}

// Numbers, formatted messages and the count of pushed locations show in the operations' own
// errors (the zone and cluster tests).
TEST(ZemError, LocationsAndCopies) {
  EXPECT_EQ(CZemError().Number(), 0);
  CZemError error =
      FXErrorUtil::ErrorErrNo(FXCodeLocation("ManageIsilon.cpp", "f()", 10), 774, "Failed to get %s", "zones");
  error.Push(FXCodeLocation("Caller.cpp", "g()", 20));
  ASSERT_EQ(error.Locations().size(), 2u);
  EXPECT_EQ(error.Locations()[0].function(), "f()");
  EXPECT_EQ(error.Locations()[1].line(), 20);

  CZemError copy = error;  // copies share the detail
  EXPECT_EQ(copy.Message(), "Failed to get zones");
  copy.Success();
  EXPECT_FALSE(copy.IsError());
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(copy.Message(), "");
}

TEST(FXString, FormatHasNoLengthLimitAndMatchLeftNeedsTheWholePrefix) {
  const std::string big(10000, 'x');
  EXPECT_EQ(FXString::Format("[%s]%d", big.c_str(), 5), "[" + big + "]5");
  EXPECT_TRUE(FXString::MatchLeft("paused_job", "paused_"));
  EXPECT_TRUE(FXString::MatchLeft("paused_", "paused_"));
  EXPECT_FALSE(FXString::MatchLeft("pause", "paused_"));
  EXPECT_TRUE(FXString::MatchLeft("x", ""));
}

// (Sections, instances and the exact buffer size: the config tests.)
TEST(Registry, NumbersBuffersAndAMissingFile) {
  ScopedRegistry registry(
      "[NAS]\nsTraceCurl = yes\n[~Tarvex]\nn = -3\nbad = 12x\nmax = 2147483647\nhuge = 2147483648\n"
      "name = longer value\n");
  int n = 0;
  EXPECT_TRUE(QuorPlatformInfo::getRegInt("~Tarvex", "n", &n));
  EXPECT_EQ(n, -3);
  EXPECT_TRUE(QuorPlatformInfo::getRegInt("~Tarvex", "max", &n));
  EXPECT_EQ(n, 2147483647);
  EXPECT_FALSE(QuorPlatformInfo::getRegInt("~Tarvex", "bad", &n));
  EXPECT_FALSE(QuorPlatformInfo::getRegInt("~Tarvex", "huge", &n));
  EXPECT_EQ(QuorPlatformInfo::getSectionName("Tarvex", nullptr), "~Tarvex");

  // A buffer too small is told the length the value needs.
  char buffer[13];
  int size = 5;
  EXPECT_EQ(QuorPlatformInfo::getString("~Tarvex", "name", buffer, &size), 0);
  EXPECT_EQ(size, 12);

  // No file: every key is absent.
  std::string value;
  EXPECT_EQ(QuorPlatformInfo::getString("NAS", "absent", &value), 0);
  EXPECT_NE(QuorPlatformInfo::getString("NAS", "sTraceCurl", &value), 0);
  std::remove(registry.path().c_str());
  value = "untouched";
  EXPECT_EQ(QuorPlatformInfo::getString("NAS", "sTraceCurl", &value), 0);
  EXPECT_EQ(value, "untouched");
}

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QuorPassword::createKeyFile(dir_.File("key")));
    registry_.reset(new ScopedRegistry("[NAS]\nsIsilonKeyFile = " + dir_.File("key") + "\n"));
  }
  // Decrypts into a zeroed buffer_; true when it worked, and on failure the buffer must hold
  // no clear text.
  bool Decrypt(const std::string& cipher, const std::string& keyFile = std::string()) {
    std::memset(buffer_, 0, sizeof buffer_);
    int length = sizeof buffer_;
    const int ok = keyFile.empty() ? QuorPassword::decrypt(cipher.c_str(), buffer_, &length)
                                   : QuorPassword::decryptWithKeyFile(keyFile, cipher.c_str(), buffer_, &length);
    EXPECT_TRUE(ok || std::string(buffer_, sizeof buffer_) == std::string(sizeof buffer_, '\0'));
    return ok != 0;
  }
  TempDir dir_;
  std::unique_ptr<ScopedRegistry> registry_;
  char buffer_[QuorPassword::kBufferSize];
};

TEST_F(PasswordTest, EveryFailureLeavesNoClearText) {
  // (Round trips of every length: the next test.)
  const std::string cipher = QuorPassword::encrypt("s3cret\"pa\\ss");
  ASSERT_TRUE(Decrypt(cipher));

  std::string tampered = cipher;  // one character flipped in the middle
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  for (const std::string& bad :
       {tampered, cipher.substr(0, cipher.size() - 4), std::string(), std::string("%%%not base64%%%")}) {
    EXPECT_FALSE(Decrypt(bad)) << bad;
  }
  // Another key cannot read it.
  ASSERT_TRUE(QuorPassword::createKeyFile(dir_.File("other")));
  EXPECT_FALSE(Decrypt(cipher, dir_.File("other")));

  // The clear text must fit the buffer; the key file must exist.
  const std::string fits(QuorPassword::kBufferSize - 1, 'p');
  ASSERT_TRUE(Decrypt(QuorPassword::encrypt(fits)));
  EXPECT_EQ(std::string(buffer_), fits);
  const std::string tooLong = QuorPassword::encrypt(std::string(QuorPassword::kBufferSize, 'p'));
  EXPECT_TRUE(tooLong.empty() || !Decrypt(tooLong));

  registry_->Rewrite("[NAS]\nsIsilonKeyFile = " + dir_.File("absent") + "\n");
  EXPECT_TRUE(QuorPassword::encrypt("x").empty());
  EXPECT_FALSE(Decrypt("AAAA"));
}

TEST_F(PasswordTest, EveryLengthRoundTripsWholeAcrossBase64AndCipherBlocks) {
  // version | 12-byte nonce | text | 16-byte tag, in base64: lengths 0..47 meet every remainder of
  // the 3-byte base64 groups (padding "", "=", "==") and of 16-byte cipher blocks.
  for (size_t size = 0; size < 48; ++size) {
    std::string clear;
    for (size_t i = 0; i < size; ++i) clear += static_cast<char>('!' + (i * 7 + size) % 90);
    const std::string cipher = QuorPassword::encrypt(clear);
    EXPECT_EQ(cipher.size(), 4 * ((size + 29 + 2) / 3)) << size;
    EXPECT_EQ(cipher.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    int length = sizeof buffer_;
    std::memset(buffer_, 'x', sizeof buffer_);
    ASSERT_EQ(QuorPassword::decrypt(cipher.c_str(), buffer_, &length), 1) << size;
    EXPECT_EQ(length, static_cast<int>(size));
    EXPECT_EQ(std::string(buffer_), clear) << size;
  }
}
