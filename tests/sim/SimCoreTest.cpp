// The simulator's core over real HTTPS: logins and the checks on every request, session expiry
// and renewal, paging tokens, fault injection, the request log and the admin endpoints.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Certificate.h"
#include "sim/core/Module.h"
#include "sim/core/Paging.h"
#include "sim/core/Router.h"
#include "tests/sim/HttpsClient.h"
#include "tests/support/SimFixture.h"

namespace {

const char kAddress[] = "127.0.0.12";
const char kSecondAddress[] = "127.0.0.13";

// A collection of 25 numbers paged like the cluster's lists, and a second collection whose
// tokens must not be accepted by the first.
class PagingProbeModule : public isim::Module {
 public:
  const char* name() const override { return "zz-paging-probe"; }
  void registerRoutes(isim::Router& router) override {
    router.get("/platform/1/probe/items", [](const isim::Request& r) { return List(r, "probe/items"); });
    router.get("/platform/1/probe/other", [](const isim::Request& r) { return List(r, "probe/other"); });
  }

 private:
  static isim::Response List(const isim::Request& request, const char* scope) {
    const isim::Pager pager(scope, 1000);
    isim::PageCursor cursor;
    isim::Response error;
    if (!pager.begin(request, cursor, error)) return error;
    std::vector<int> all(25);
    std::iota(all.begin(), all.end(), 1);
    if (cursor.param("order") == "desc") std::reverse(all.begin(), all.end());
    const isim::Page page = pager.page(all.size(), cursor, request);
    return isim::Response::json({{"items", page.slice(all)}, {"resume", page.resumeJson()}, {"total", page.total}});
  }
};
ISIM_REGISTER_MODULE(PagingProbeModule)

class SimCoreTest : public SimFixture {
 protected:
  SimCoreTest() : SimFixture(kAddress) {}
  void SetUp() override {
    SimFixture::SetUp();
    if (!HasFatalFailure()) client_.reset(new HttpsClient(cluster().url(), certPath()));
  }
  void TearDown() override {
    client_.reset();
    SimFixture::TearDown();
  }
  HttpsClient& client() { return *client_; }
  HttpReply Items(const std::string& query = std::string()) {
    return client().authed("GET", "/platform/1/probe/items" + query);
  }
  std::string Referer() const { return "Referer: https://" + std::string(kAddress) + ":8080"; }

 private:
  std::unique_ptr<HttpsClient> client_;
};

}  // namespace

// ---- Logins and the checks on every request ------------------------------------------------

TEST_F(SimCoreTest, LoginChecksCredentialsAndSetsBothCookies) {
  HttpReply reply;
  EXPECT_FALSE(client().login("admin", "wrong", &reply));
  EXPECT_EQ(401, reply.status);
  EXPECT_EQ("AEC_UNAUTHORIZED", reply.error("code"));
  EXPECT_TRUE(reply.all("Set-Cookie").empty());
  EXPECT_FALSE(client().login("nobody", "secret", &reply));
  EXPECT_EQ(reply.error("message"), "Authorization failed: invalid username or password");

  reply = client().send("POST", "/session/1/session", "not json", {"Content-Type: application/json"});
  EXPECT_EQ(400, reply.status);
  EXPECT_EQ("AEC_BAD_REQUEST", reply.error("code"));
  reply = client().send("POST", "/session/1/session", "{\"username\":\"admin\"}");
  EXPECT_EQ(400, reply.status);

  ASSERT_TRUE(client().login("admin", "secret", &reply));
  EXPECT_EQ(48u, client().sessionId.size());
  EXPECT_EQ(32u, client().csrfToken.size());
  const nlohmann::json body = reply.json();
  EXPECT_EQ("admin", body.value("username", ""));
  EXPECT_EQ(900, body.value("timeout_inactive", 0));
  EXPECT_EQ(nlohmann::json({"platform", "namespace"}), body["services"]);
  EXPECT_EQ(1u, server().sessions().liveCount());
}

TEST_F(SimCoreTest, EveryOtherRequestNeedsCookieTokenAndReferer) {
  ASSERT_TRUE(client().login());
  const std::string cookie = "Cookie: isisessid=" + client().sessionId;
  const std::string token = "X-CSRF-Token: " + client().csrfToken;
  struct Case {
    const char* name;
    std::vector<std::string> headers;
    const char* message;
  };
  const std::vector<Case> refused = {
      {"no cookie", {token, Referer()}, "Authorization required"},
      {"no token", {cookie, Referer()}, "CSRF token missing"},
      {"wrong token", {cookie, "X-CSRF-Token: 00", Referer()}, "CSRF token mismatch"},
      {"no referer", {cookie, token}, "Referer header missing or not an https URL"},
      {"plain referer", {cookie, token, "Referer: http://x"}, "Referer header missing or not an https URL"},
  };
  for (const Case& c : refused) {
    const HttpReply reply = client().send("GET", "/session/1/session", "", c.headers);
    EXPECT_EQ(401, reply.status) << c.name;
    EXPECT_EQ("AEC_UNAUTHORIZED", reply.error("code")) << c.name;
    EXPECT_EQ(c.message, reply.error("message")) << c.name;
  }
  // Header names in any case, other cookies next to the session's.
  HttpReply reply = client().send("GET", "/session/1/session", "",
                                  {"cookie: theme=dark; isisessid=" + client().sessionId,
                                   "x-csrf-token: " + client().csrfToken, "referer: https://elsewhere"});
  EXPECT_EQ(200, reply.status) << reply.body;

  // An id the cluster does not know: the web server's HTML page.
  reply = client().send("GET", "/platform/1/probe/items", "", {"Cookie: isisessid=feedface", token, Referer()});
  EXPECT_TRUE(reply.unknownSessionPage()) << reply.status;

  // Logout ends the session; a second logout is refused.
  EXPECT_EQ(204, client().authed("DELETE", "/session/1/session").status);
  EXPECT_EQ(0u, server().sessions().liveCount());
  EXPECT_EQ(401, Items().status);
  EXPECT_EQ(401, client().authed("DELETE", "/session/1/session").status);

  // Unknown paths and methods answer in the cluster's error shape.
  ASSERT_TRUE(client().login());
  reply = client().authed("GET", "/platform/1/no/such/thing");
  EXPECT_EQ(404, reply.status);
  EXPECT_FALSE(reply.error("code").empty());
  reply = client().authed("PUT", "/platform/1/probe/items", "{}");
  EXPECT_EQ(405, reply.status);
  EXPECT_FALSE(reply.error("code").empty());
  // Everything over the one kept-alive connection.
  EXPECT_EQ(1, client().connections());
}

class SimExpiryTest : public SimCoreTest {
 protected:
  SimExpiryTest() {
    simConfig().idleTimeout = 10;
    simConfig().absoluteTimeout = 30;
  }
};

TEST_F(SimExpiryTest, IdleAndAbsoluteExpiryAndReplacementCookies) {
  ASSERT_TRUE(client().login());
  server().clock().advance(11);
  HttpReply reply = Items();
  EXPECT_TRUE(reply.unknownSessionPage()) << reply.status;

  ASSERT_TRUE(client().login());
  const std::string firstId = client().sessionId, firstToken = client().csrfToken;
  server().clock().advance(4);  // below half the idle time: no replacement yet
  reply = Items();
  EXPECT_EQ(200, reply.status);
  EXPECT_TRUE(reply.all("Set-Cookie").empty());

  server().clock().advance(2);  // six seconds old: the reply brings a replacement
  reply = Items();
  EXPECT_EQ(200, reply.status);
  const std::string newId = reply.cookie("isisessid"), newToken = reply.cookie("isicsrf");
  ASSERT_FALSE(newId.empty());
  ASSERT_FALSE(newToken.empty());
  EXPECT_NE(firstId, newId);
  // The old id keeps working (and is offered the same replacement), the new one has its own token.
  reply = Items();
  EXPECT_EQ(200, reply.status);
  EXPECT_EQ(newId, reply.cookie("isisessid"));
  client().sessionId = newId;
  EXPECT_EQ(401, Items().status) << "old token with new id";
  client().csrfToken = newToken;
  EXPECT_EQ(200, Items().status);

  // However often it is renewed, a login ends at its absolute deadline.
  for (int i = 0; i < 6; ++i) {
    server().clock().advance(5);
    reply = Items();
    if (reply.status != 200) break;
    if (!reply.cookie("isisessid").empty()) {
      client().sessionId = reply.cookie("isisessid");
      client().csrfToken = reply.cookie("isicsrf");
    }
  }
  EXPECT_EQ(401, reply.status);
  EXPECT_EQ(0u, server().sessions().liveCount());
}

// ---- Paging ------------------------------------------------------------------------------

TEST_F(SimCoreTest, PagesFollowOpaqueResumeTokens) {
  ASSERT_TRUE(client().login());
  // Limits on each side of the 25 items and of a whole number of pages; the last page has no token.
  const struct {
    const char* query;
    int pages;
    bool descending;
  } cases[] = {{"?limit=10&order=desc", 3, true}, {"?limit=5", 5, false},  {"?limit=24", 2, false},
               {"?limit=25", 1, false},           {"?limit=26", 1, false}, {"", 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    std::vector<int> seen, expected(25);
    std::iota(expected.begin(), expected.end(), 1);
    if (c.descending) std::reverse(expected.begin(), expected.end());
    nlohmann::json page = Items(c.query).json();
    int pages = 1;
    for (;; ++pages) {
      ASSERT_TRUE(page["items"].is_array()) << page;
      for (int v : page["items"].get<std::vector<int>>()) seen.push_back(v);
      if (!page["resume"].is_string() || pages > 30) break;
      // The token alone carries offset, page size and the rest of the query.
      page = Items("?resume=" + page["resume"].get<std::string>()).json();
    }
    EXPECT_EQ(c.pages, pages);
    EXPECT_TRUE(page["resume"].is_null());
    EXPECT_EQ(expected, seen);
  }

  // Limits and tokens that are not right are refused in the cluster's error shape.
  const std::string otherToken =
      client().authed("GET", "/platform/1/probe/other?limit=5").json()["resume"].get<std::string>();
  for (const std::string& query :
       std::vector<std::string>{"limit=0", "limit=abc", "limit=-1", "limit=99999999999999999999", "resume=not-a-token!",
                                "resume=" + otherToken, "resume="}) {
    const HttpReply reply = Items("?" + query);
    EXPECT_EQ(400, reply.status) << query;
    EXPECT_EQ("AEC_BAD_REQUEST", reply.error("code")) << query;
  }

  // A "repeat-resume" fault hands out a token naming the page just served.
  server().faults().add(isim::Fault::repeatResume("/platform/1/probe/items"));
  const nlohmann::json page = Items("?limit=10").json();
  EXPECT_EQ(page["items"], Items("?resume=" + page["resume"].get<std::string>()).json()["items"]);
}

// ---- Fault injection ---------------------------------------------------------------------

TEST_F(SimCoreTest, FaultsHitTheMatchingRequestsAsOftenAsArmed) {
  ASSERT_TRUE(client().login());
  // Skip one, then hit two, then done.
  server().faults().add(
      isim::Fault::error("/platform/1/probe", 503, "AEC_SYSTEM_INTERNAL_ERROR", "busy").after(1).count(2));
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) statuses.push_back(Items().status);
  EXPECT_EQ((std::vector<int>{200, 503, 503, 200}), statuses);
  EXPECT_EQ(0u, server().faults().armedCount());

  // Method and regex filters; the default error body; faults come before the session checks.
  isim::Fault plain;
  plain.path = "/platform/1/probe";
  server().faults().add(plain.on("POST"));
  EXPECT_EQ(200, Items().status);
  HttpReply reply = client().send("POST", "/platform/1/probe/items", "{}");
  EXPECT_EQ(500, reply.status);
  EXPECT_EQ("AEC_EXCEPTION", reply.error("code"));
  isim::Fault byQuery = isim::Fault::notJson("");
  byQuery.regex = "limit=7$";
  server().faults().add(byQuery);
  EXPECT_TRUE(Items("?limit=8").json().is_object());
  reply = Items("?limit=7");
  EXPECT_EQ(200, reply.status);
  EXPECT_TRUE(reply.json().is_discarded());

  // Unlimited until cleared.
  server().faults().add(isim::Fault::replace("/platform/1/probe", 202, "[1,2]").count(0));
  for (int i = 0; i < 3; ++i) EXPECT_EQ("[1,2]", Items().body);
  EXPECT_EQ(1u, server().faults().armedCount());
  server().faults().clear();
  EXPECT_EQ(200, Items().status);
}

TEST_F(SimCoreTest, BrokenRepliesAndDelays) {
  ASSERT_TRUE(client().login());
  server().faults().add(isim::Fault::truncate("/platform/1/probe", "{\"items\":[1,", 100));
  HttpReply reply = Items();
  EXPECT_EQ(CURLE_PARTIAL_FILE, reply.code);
  EXPECT_EQ("{\"items\":[1,", reply.body);

  // libcurl retries once on a fresh connection when a kept-alive one dies before any reply,
  // so this fault stays armed until cleared.
  server().faults().add(isim::Fault::closeBeforeReply("/platform/1/probe").count(0));
  reply = Items();
  EXPECT_NE(CURLE_OK, reply.code);
  EXPECT_EQ("", reply.body);
  server().faults().clear();

  server().faults().add(isim::Fault::closeMidReply("/platform/1/probe"));
  reply = Items();
  EXPECT_NE(CURLE_OK, reply.code);

  // Served whole, without the simulator holding it in memory.
  server().faults().add(isim::Fault::hugeBody("/platform/1/probe", 5u << 20, "{\"a\":\"", "ab"));
  reply = Items();
  EXPECT_EQ(CURLE_OK, reply.code);
  EXPECT_EQ(5u << 20, reply.body.size());
  server().faults().add(isim::Fault::hugeBody("/platform/1/probe", 20, "{\"a\":\"", "ab"));
  EXPECT_EQ("{\"a\":\"ababababababab", Items().body);

  // A delay answers normally afterwards; the session still works after every broken reply.
  server().faults().add(isim::Fault::delay("/platform/1/probe", 50));
  reply = Items();
  EXPECT_EQ(200, reply.status);
  EXPECT_EQ(25u, reply.json()["items"].size());

  // The log shows what was sent for the cut ones: nothing.
  size_t cut = 0;
  for (const auto& r : server().requestLog().find("GET", "/platform/1/probe/items"))
    if (r.status == 0) ++cut;
  EXPECT_GE(cut, 2u);
}

// ---- Request log, binding, certificate -----------------------------------------------------

TEST_F(SimCoreTest, RequestLogKeepsRequestsAsSent) {
  ASSERT_TRUE(client().login());
  server().requestLog().clear();
  client().authed("PUT", "/platform/1/probe/items?x=%2Fa%20b&y", "{\"k\" : 1}");
  isim::LoggedRequest last;
  ASSERT_TRUE(server().requestLog().last(last));
  EXPECT_EQ("PUT", last.method);
  EXPECT_EQ("/platform/1/probe/items?x=%2Fa%20b&y", last.target);
  EXPECT_EQ("/platform/1/probe/items", last.path());
  EXPECT_EQ("{\"k\" : 1}", last.body);
  EXPECT_EQ("isisessid=" + client().sessionId, last.header("cookie"));
  EXPECT_EQ(client().csrfToken, last.header("X-CSRF-Token"));
  EXPECT_EQ(405, last.status);
  EXPECT_FALSE(last.remoteAddress.empty());
  EXPECT_NE(0, last.remotePort);

  server().requestLog().setCapacity(2);
  for (int i = 0; i < 3; ++i) Items("?n=" + std::to_string(i));
  const std::vector<isim::LoggedRequest> kept = server().requestLog().entries();
  ASSERT_EQ(2u, kept.size());
  EXPECT_EQ("/platform/1/probe/items?n=2", kept[1].target);
  EXPECT_EQ(kept[0].sequence + 1, kept[1].sequence);
  EXPECT_EQ(1u, server().requestLog().find("GET", "/platform/1/probe/items?n=1").size());
}

TEST_F(SimCoreTest, ListensOnlyOnItsOwnAddressAndRefusesAKeyThatIsNotTheCertificates) {
  // Nothing on the second address until a server is started there, also on port 8080.
  HttpsClient other(std::string("https://") + kSecondAddress + ":8080", "");
  EXPECT_EQ(CURLE_COULDNT_CONNECT, other.send("GET", "/session/1/session").code);
  SimCluster second(kSecondAddress);
  HttpsClient trusting(second.url(), second.certPath());
  EXPECT_TRUE(trusting.login());
  EXPECT_EQ(0u, server().requestLog().find("POST", "/session/1/session").size());
  // The first server's certificate does not vouch for the second.
  HttpsClient wrongTrust(second.url(), certPath());
  EXPECT_EQ(CURLE_PEER_FAILED_VERIFICATION, wrongTrust.send("GET", "/session/1/session").code);

  // A key that does not belong to the given certificate is refused at start. (That a given pair
  // is served as it is shows in the transport's trust tests.)
  isim::CertificatePair pair, otherPair;
  std::string error;
  ASSERT_TRUE(isim::makeSelfSigned(kSecondAddress, pair, error)) << error;
  ASSERT_TRUE(isim::makeSelfSigned(kSecondAddress, otherPair, error)) << error;
  TempFile cert(pair.certificatePem, ".pem"), wrongKey(otherPair.privateKeyPem, ".key");
  isim::Config mismatched;
  mismatched.certFile = cert.path();
  mismatched.keyFile = wrongKey.path();
  mismatched.address = kSecondAddress;
  mismatched.port = 0;
  isim::Server refused(mismatched);
  EXPECT_FALSE(refused.start(&error));
}

// ---- Admin endpoints ---------------------------------------------------------------------

class SimAdminTest : public SimCoreTest {
 protected:
  SimAdminTest() { simConfig().admin = true; }
};

TEST_F(SimAdminTest, FaultsRequestLogAndClockOverHttps) {
  HttpReply reply = client().send("POST", "/_sim/faults",
                                  "[{\"kind\":\"error\",\"path\":\"/platform/1/probe\",\"status\":418},"
                                  "{\"kind\":\"delay\",\"path\":\"/x\",\"delay_ms\":1,\"times\":0}]");
  ASSERT_EQ(201, reply.status) << reply.body;
  EXPECT_EQ(2u, reply.json()["ids"].size());
  EXPECT_EQ(2u, client().send("GET", "/_sim/faults").json()["faults"].size());
  EXPECT_EQ(400, client().send("POST", "/_sim/faults", "{\"kind\":\"volcano\"}").status);
  EXPECT_EQ(400, client().send("POST", "/_sim/faults", "{\"kind\":\"error\",\"regex\":\"(\"}").status);

  ASSERT_TRUE(client().login());
  EXPECT_EQ(418, Items().status);
  EXPECT_EQ(204, client().send("DELETE", "/_sim/faults").status);
  EXPECT_EQ(0u, server().faults().armedCount());

  // The log as served masks every secret; admin requests are not logged themselves.
  const nlohmann::json log = client().send("GET", "/_sim/requests").json();
  const std::string text = log.dump();
  EXPECT_EQ(std::string::npos, text.find(client().sessionId));
  EXPECT_EQ(std::string::npos, text.find(client().csrfToken));
  EXPECT_EQ(std::string::npos, text.find("secret"));
  EXPECT_NE(std::string::npos, text.find("isisessid=***"));
  ASSERT_EQ(2u, log["requests"].size());
  EXPECT_EQ("/session/1/session", log["requests"][0]["target"]);
  EXPECT_EQ(204, client().send("DELETE", "/_sim/requests").status);
  EXPECT_EQ(0u, server().requestLog().size());

  // Moving the clock (which expires sessions: see the nodes' admin test) takes a number.
  EXPECT_EQ(400, client().send("POST", "/_sim/clock", "{\"advance\":\"soon\"}").status);
}

TEST_F(SimCoreTest, AdminEndpointsNeedTheAdminSwitch) {
  EXPECT_EQ(401, client().send("GET", "/_sim/requests").status);
  EXPECT_EQ(401, client().send("POST", "/_sim/clock", "{\"advance\":901}").status);
}
