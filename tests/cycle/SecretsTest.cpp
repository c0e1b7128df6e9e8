// Whatever the cycle does on its own (log in, open again, take up new cookies, retry), the
// password, the session cookies and the CSRF tokens never reach the log.
#include <string>
#include <vector>

#include "tests/cycle/CycleFixture.h"
#include "tests/support/LogCapture.h"

namespace cycletest {
namespace {

class SecretsTest : public CycleTest {
 protected:
  std::string Log() const { return capture_.All(); }

 private:
  ScopedLogCapture capture_{/*level=*/7};
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
