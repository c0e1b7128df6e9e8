// Per-session options: two sessions of one process, each trusting its own cluster's
// certificate, with the registry as the default for what a session leaves unset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/ManageIsilon.h"
#include "isilon/SessionOptions.h"
#include "tests/support/Registry.h"
#include "tests/support/SimFixture.h"

namespace {

class SessionOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_.reset(new SimCluster("127.0.0.84"));
    second_.reset(new SimCluster("127.0.0.85"));
  }

  // A session to `cluster` with `options`.
  static std::unique_ptr<ManageIsilon> SessionTo(SimCluster& cluster, const IsilonSessionOptions& options) {
    std::unique_ptr<ManageIsilon> session(new ManageIsilon());
    session->SetFileServer(cluster.address());
    session->SetUser(cluster.user());
    session->SetPasswd(cluster.password());
    session->SetSessionOptions(options);
    return session;
  }
  static IsilonSessionOptions Trusting(const std::string& caFile) {
    IsilonSessionOptions options;
    options.caFile = caFile;
    return options;
  }
  static bool Works(ManageIsilon& session) {
    std::vector<std::string> ips;
    return session.GetExternalIPs(ips);
  }

  std::unique_ptr<SimCluster> first_;
  std::unique_ptr<SimCluster> second_;
};

TEST_F(SessionOptionsTest, TwoSessionsTrustTwoCertificates) {
  ScopedRegistry registry("");  // no CA in the registry: the system store trusts neither
  std::unique_ptr<ManageIsilon> a = SessionTo(*first_, Trusting(first_->certPath()));
  std::unique_ptr<ManageIsilon> b = SessionTo(*second_, Trusting(second_->certPath()));
  // Interleaved, so neither session's transport settings leak into the other's.
  EXPECT_TRUE(Works(*a));
  EXPECT_TRUE(Works(*b));
  EXPECT_TRUE(a->CloseConnection());
  EXPECT_TRUE(Works(*b));
  EXPECT_TRUE(Works(*a));

  // Each certificate trusts its own cluster only.
  std::unique_ptr<ManageIsilon> crossed = SessionTo(*first_, Trusting(second_->certPath()));
  EXPECT_FALSE(crossed->OpenConnection());
  EXPECT_NE(crossed->GetLastTransportError().find("certificate"), std::string::npos)
      << crossed->GetLastTransportError();
  std::unique_ptr<ManageIsilon> unset = SessionTo(*second_, IsilonSessionOptions());
  EXPECT_FALSE(unset->OpenConnection());
}

TEST_F(SessionOptionsTest, UnsetFieldsTakeTheRegistryAndSetFieldsWin) {
  ScopedRegistry registry("[NAS]\nsIsilonCAFile = " + first_->certPath() + "\n");
  EXPECT_TRUE(Works(*SessionTo(*first_, IsilonSessionOptions())));
  EXPECT_FALSE(Works(*SessionTo(*second_, IsilonSessionOptions())));
  EXPECT_TRUE(Works(*SessionTo(*second_, Trusting(second_->certPath()))));
  // An empty CA file means the system store, over the registry's file.
  EXPECT_FALSE(Works(*SessionTo(*first_, Trusting(""))));

  // Certificate checks off for one session only.
  IsilonSessionOptions unchecked;
  unchecked.verifyTLS = false;
  EXPECT_TRUE(Works(*SessionTo(*second_, unchecked)));
  IsilonSessionOptions checked;
  checked.verifyTLS = true;
  EXPECT_FALSE(Works(*SessionTo(*second_, checked)));
}

TEST_F(SessionOptionsTest, OptionsTakeEffectWhenTheSessionNextOpens) {
  ScopedRegistry registry("");
  std::unique_ptr<ManageIsilon> session = SessionTo(*first_, Trusting(first_->certPath()));
  EXPECT_TRUE(Works(*session));
  EXPECT_TRUE(session->GetSessionOptions().caFile.has_value());
  // The open session keeps its transport; the new trust applies from the next login.
  session->SetSessionOptions(Trusting(second_->certPath()));
  EXPECT_TRUE(Works(*session));
  EXPECT_TRUE(session->CloseConnection());
  EXPECT_FALSE(Works(*session));
  session->SetSessionOptions(Trusting(first_->certPath()));
  EXPECT_TRUE(Works(*session));
}

TEST_F(SessionOptionsTest, NodeListOfTheSession) {
  ScopedRegistry registry("[NAS]\nsIsilonNodeAddresses = 127.0.0.86\n");  // nothing listens there
  IsilonSessionOptions options = Trusting(first_->certPath());
  options.retryCount = 0;  // a refused connection is not retried, so nothing waits
  EXPECT_FALSE(Works(*SessionTo(*first_, options)));
  // The session's own list wins; the name in the URL and the certificate stay the server's.
  options.nodeAddresses = std::vector<std::string>{first_->address()};
  EXPECT_TRUE(Works(*SessionTo(*first_, options)));
  options.nodeAddresses = std::vector<std::string>{};  // resolve the server's name
  EXPECT_TRUE(Works(*SessionTo(*first_, options)));
}

}  // namespace
