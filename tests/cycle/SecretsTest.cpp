// Whatever the cycle does on its own (log in, open again, take up new cookies, retry), the
// password, the session cookies and the CSRF tokens never reach the log.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "host/LogWriter.h"
#include "tests/cycle/CycleFixture.h"

namespace cycletest {
namespace {

class Capture : public CLogWriterInterface {
 public:
  void setLevel(int) override {}
  void vwrite(int, const char* function, int, unsigned long long, int, const char* format, va_list args) override {
    char text[8192];
    std::vsnprintf(text, sizeof text, format, args);
    all += std::string(function != nullptr ? function : "") + ": " + text + "\n";
  }
  void flush() override {}
  void write(int level, const char* function, int line, unsigned long long context, int reserved, const char* format,
             ...) override {
    va_list args;
    va_start(args, format);
    vwrite(level, function, line, context, reserved, format, args);
    va_end(args);
  }
  const char* name() const override { return "capture"; }
  bool enabled(int) override { return true; }
  int level() override { return 7; }

  std::string all;
};

class SecretsTest : public CycleTest {
 protected:
  void SetUp() override {
    previous_ = g_ptrLogWriter;
    capture_ = boost::make_shared<Capture>();
    g_ptrLogWriter = capture_;
  }
  void TearDown() override { g_ptrLogWriter = previous_; }
  const std::string& Log() const { return capture_->all; }

 private:
  boost::shared_ptr<CLogWriterInterface> previous_;
  boost::shared_ptr<Capture> capture_;
};

TEST_F(SecretsTest, NoSecretReachesTheLogAtAnyLevel) {
  script().Add({Login("Sess1Secret"), Reply::Status(401, R"({"errors":[{"code":"AEC_UNAUTHORIZED","message":"x"}]})"),
                Login("Sess2Secret"), Busy(), Addresses().With("Set-Cookie", "isisessid=Sess3Secret; path=/"),
                Reply::Failure(TransportResult::kNoReply), Reply::Error(409, "AEC_CONFLICT", "share exists")});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
  EXPECT_TRUE(session->CreateCIFSShare("share", "/ifs/share", "", "")) << LastError(*session);
  EXPECT_EQ(0u, script().Unused());
  // The log says what happened, and nothing that would let a reader in.
  EXPECT_NE(std::string::npos, Log().find("127.0.0.61")) << Log();
  for (const char* secret : {"secret-word", "Sess1Secret", "Sess2Secret", "Sess3Secret"}) {
    EXPECT_EQ(std::string::npos, Log().find(secret)) << secret << " in:\n" << Log();
  }
}

}  // namespace
}  // namespace cycletest
