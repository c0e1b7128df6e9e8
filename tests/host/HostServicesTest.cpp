// The host services the library stands on: log writer, error values, formatting, registry and
// the password cipher, each through its real implementation.
#include <gtest/gtest.h>

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
#include "host/ZemError.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Registry.h"
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
