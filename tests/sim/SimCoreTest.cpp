// The simulator's core over real HTTPS, as only a raw client sees it: what the cluster refuses,
// expiry and renewal, paging tokens, broken replies, binding and the admin endpoints.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
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
  SimCoreTest() : SimFixture(kAddress) { simConfig().admin = true; }
  void TearDown() override {
    client_.reset();  // before the cluster stops
    SimFixture::TearDown();
  }
  HttpsClient& client() {
    if (!client_) client_.reset(new HttpsClient(cluster().url(), certPath()));
    return *client_;
  }
  HttpReply Items(const std::string& query = "") { return client().authed("GET", "/platform/1/probe/items" + query); }

 private:
  std::unique_ptr<HttpsClient> client_;
};

}  // namespace

TEST_F(SimCoreTest, LoginChecksCredentialsAndSetsBothCookies) {
  // Names and passwords match whole: a prefix or an extension of either is refused, without cookies.
  for (const auto& account : std::vector<std::pair<std::string, std::string>>{
           {"admin", "wrong"}, {"admin", "secre"}, {"admin", "secrets"}, {"admi", "secret"}, {"admins", "secret"}}) {
    HttpReply reply;
    EXPECT_FALSE(client().login(account.first, account.second, &reply)) << account.first << " " << account.second;
    EXPECT_EQ("AEC_UNAUTHORIZED|Authorization failed: invalid username or password",
              reply.error("code") + "|" + reply.error("message"));
    EXPECT_TRUE(reply.header("Set-Cookie").empty());
  }
  for (const char* body : {"not json", "{\"username\":\"admin\"}"})
    EXPECT_EQ("400 AEC_BAD_REQUEST",
              client().send("POST", "/session/1/session", body, {"Content-Type: application/json"}).failure())
        << body;

  HttpReply reply;
  ASSERT_TRUE(client().login("admin", "secret", &reply));
  EXPECT_EQ(48u, client().sessionId.size());
  EXPECT_EQ(32u, client().csrfToken.size());
  EXPECT_EQ(nlohmann::json::parse(R"({"services":["platform","namespace"],"timeout_absolute":14400,
                                      "timeout_inactive":900,"username":"admin"})"),
            reply.json());
}

TEST_F(SimCoreTest, EveryOtherRequestNeedsCookieTokenAndReferer) {
  ASSERT_TRUE(client().login());
  const std::string cookie = "Cookie: isisessid=" + client().sessionId;
  const std::string token = "X-CSRF-Token: " + client().csrfToken;
  const std::string referer = "Referer: https://" + std::string(kAddress) + ":8080";
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{token, referer}, "Authorization required"},
      {{"Cookie: xisisessid=" + client().sessionId, token, referer}, "Authorization required"},
      {{cookie, referer}, "CSRF token missing"},
      {{cookie, "X-CSRF-Token: 00", referer}, "CSRF token mismatch"},
      {{cookie, token.substr(0, token.size() - 1), referer}, "CSRF token mismatch"},
      {{cookie, token + "0", referer}, "CSRF token mismatch"},
      {{cookie, token}, "Referer header missing or not an https URL"},
      {{cookie, token, "Referer: http://x"}, "Referer header missing or not an https URL"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(::testing::PrintToString(c.first));
    const HttpReply reply = client().send("GET", "/session/1/session", "", c.first);
    EXPECT_EQ("401 AEC_UNAUTHORIZED " + std::string(c.second), reply.failure() + " " + reply.error("message"));
  }
  // Header names in any case, other cookies next to the session's.
  HttpReply reply = client().send("GET", "/session/1/session", "",
                                  {"cookie: theme=dark; isisessid=" + client().sessionId,
                                   "x-csrf-token: " + client().csrfToken, "referer: https://elsewhere"});
  EXPECT_EQ(200, reply.status) << reply.body;

  // Unknown paths and methods answer in the cluster's error shape.
  EXPECT_EQ("404 AEC_NOT_FOUND", client().authed("GET", "/platform/1/no/such/thing").failure());
  EXPECT_EQ("405 AEC_BAD_REQUEST", client().authed("PUT", "/platform/1/probe/items", "{}").failure());

  // Logout ends the session; a second logout is refused.
  EXPECT_EQ(204, client().authed("DELETE", "/session/1/session").status);
  EXPECT_EQ(401, client().authed("DELETE", "/session/1/session").status);
  // Everything over the one kept-alive connection.
  EXPECT_EQ(1, client().connections());
}

TEST_F(SimCoreTest, IdleAndAbsoluteExpiryAndReplacementCookies) {
  // The clock stands still, so that each step lands exactly where it says.
  server().clock().freeze();
  server().sessions().setTimeouts(/*idle=*/10, /*absolute=*/30);
  ASSERT_TRUE(client().login());
  server().clock().advance(9.5);  // just below the idle time
  EXPECT_EQ(200, Items().status);
  server().clock().advance(10);  // exactly the idle time since that use
  EXPECT_TRUE(Items().unknownSessionPage());

  ASSERT_TRUE(client().login());
  server().clock().advance(4.5);  // below half the idle time: no replacement yet
  HttpReply reply = Items();
  EXPECT_EQ(200, reply.status);
  EXPECT_TRUE(reply.header("Set-Cookie").empty());

  server().clock().advance(0.5);  // exactly half the idle time old: the reply brings a replacement
  reply = Items();
  const std::string newId = reply.cookie("isisessid"), newToken = reply.cookie("isicsrf");
  ASSERT_FALSE(newId.empty() || newToken.empty());
  // The old id keeps working (and is offered the same replacement), the new one has its own token.
  reply = Items();
  EXPECT_EQ(200, reply.status);
  EXPECT_EQ(newId, reply.cookie("isisessid"));
  client().sessionId = newId;
  EXPECT_EQ(401, Items().status) << "old token with new id";
  client().csrfToken = newToken;
  EXPECT_EQ(200, Items().status);

  // However often it is renewed, a login ends exactly at its absolute deadline: used every 5
  // seconds, it answers at 25 seconds and not at 30.
  for (int elapsed = 10; elapsed <= 30; elapsed += 5) {
    server().clock().advance(5);
    reply = Items();
    EXPECT_EQ(elapsed < 30 ? 200 : 401, reply.status) << elapsed;
    if (!reply.cookie("isisessid").empty()) {
      client().sessionId = reply.cookie("isisessid");
      client().csrfToken = reply.cookie("isicsrf");
    }
  }
  EXPECT_EQ(0u, server().sessions().liveCount());
}

TEST_F(SimCoreTest, ALogoutEndsTheLoginWithItsReplacementsAndNoOther) {
  server().clock().freeze();
  server().sessions().setTimeouts(/*idle=*/10, /*absolute=*/30);
  HttpsClient other(cluster().url(), certPath());
  ASSERT_TRUE(other.login());
  ASSERT_TRUE(client().login());
  server().clock().advance(5);
  const HttpReply renewed = Items();
  ASSERT_FALSE(renewed.cookie("isisessid").empty());
  ASSERT_EQ(3u, server().sessions().liveCount());
  // Logged out with the old cookie: the replacement ends too, the other login stays.
  EXPECT_EQ(204, client().authed("DELETE", "/session/1/session").status);
  client().sessionId = renewed.cookie("isisessid");
  client().csrfToken = renewed.cookie("isicsrf");
  EXPECT_EQ(401, Items().status);
  EXPECT_EQ(200, other.authed("GET", "/platform/1/probe/items").status);
  EXPECT_EQ(2u, server().sessions().liveCount()) << "the other login and the replacement it was just offered";
}

TEST_F(SimCoreTest, PagesFollowOpaqueResumeTokens) {
  ASSERT_TRUE(client().login());
  // (query, pages): limits on each side of the 25 items, of a whole number of pages and of the
  // largest limit; the last page has no token.
  const std::pair<std::string, int> cases[] = {
      {"?limit=10&order=desc", 3}, {"?limit=5", 5}, {"?limit=24", 2}, {"?limit=25", 1}, {"?limit=26", 1},
      {"?limit=4294967295", 1},    {"", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    std::vector<int> seen, expected(25);
    std::iota(expected.begin(), expected.end(), 1);
    if (c.first.find("desc") != std::string::npos) std::reverse(expected.begin(), expected.end());
    nlohmann::json page = Items(c.first).json();
    int pages = 1;
    for (;; ++pages) {
      for (int v : page["items"].get<std::vector<int>>()) seen.push_back(v);
      if (!page["resume"].is_string() || pages > 30) break;
      // The token alone carries offset, page size and the rest of the query.
      page = Items("?resume=" + page["resume"].get<std::string>()).json();
    }
    EXPECT_EQ(c.second, pages);
    EXPECT_TRUE(page["resume"].is_null());
    EXPECT_EQ(expected, seen);
  }

  // Limits and tokens that are not right are refused in the cluster's error shape.
  const std::string otherToken =
      client().authed("GET", "/platform/1/probe/other?limit=5").json()["resume"].get<std::string>();
  for (const std::string& query :
       std::vector<std::string>{"limit=0", "limit=abc", "limit=-1", "limit=4294967296", "limit=99999999999999999999",
                                "resume=not-a-token!", "resume=" + otherToken, "resume="})
    EXPECT_EQ("400 AEC_BAD_REQUEST", Items("?" + query).failure()) << query;
}

TEST_F(SimCoreTest, BrokenRepliesAsTheyReachTheWireAndTheRequestLog) {
  ASSERT_TRUE(client().login());
  server().faults().add(isim::Fault::truncate("/platform/1/probe", "{\"items\":[1,", 100));
  HttpReply reply = Items();
  EXPECT_EQ(CURLE_PARTIAL_FILE, reply.code);
  EXPECT_EQ("{\"items\":[1,", reply.body);

  // libcurl retries once on a fresh connection when a kept-alive one dies before any reply,
  // so this fault stays armed until cleared. The log shows that nothing was sent back.
  server().faults().add(isim::Fault::closeBeforeReply("/platform/1/probe").count(0));
  server().requestLog().clear();
  EXPECT_NE(CURLE_OK, Items().code);
  server().faults().clear();
  ASSERT_FALSE(server().requestLog().entries().empty());
  for (const auto& r : server().requestLog().entries()) EXPECT_EQ(0, r.status) << r.target;

  // The fill is cut wherever the size ends, also inside the pattern.
  for (size_t size : {20u, 21u}) {
    server().faults().add(isim::Fault::hugeBody("/platform/1/probe", size, "{\"a\":\"", "ab"));
    EXPECT_EQ(std::string("{\"a\":\"abababababababa").substr(0, size), Items().body);
  }
  // A delay answers normally afterwards; the session still works after every broken reply.
  server().faults().add(isim::Fault::delay("/platform/1/probe", 50));
  EXPECT_EQ(25u, Items().json()["items"].size());

  // The log finds headers in any case and keeps the latest requests.
  Items("?x=%2Fa");
  isim::LoggedRequest last;
  ASSERT_TRUE(server().requestLog().last(last));
  EXPECT_EQ("/platform/1/probe/items", last.path());
  EXPECT_EQ("isisessid=" + client().sessionId, last.header("cookie"));
  EXPECT_FALSE(last.remoteAddress.empty());

  server().requestLog().setCapacity(2);
  for (int i = 0; i < 3; ++i) Items("?n=" + std::to_string(i));
  const std::vector<isim::LoggedRequest> kept = server().requestLog().entries();
  ASSERT_EQ(2u, kept.size());
  EXPECT_EQ("/platform/1/probe/items?n=2", kept[1].target);
  EXPECT_EQ(kept[0].sequence + 1, kept[1].sequence);
}

TEST_F(SimCoreTest, ListensOnlyOnItsOwnAddressAndRefusesAKeyThatIsNotTheCertificates) {
  // Nothing on the second address until a server is started there, also on port 8080.
  HttpsClient other(std::string("https://") + kSecondAddress + ":8080", certPath());
  EXPECT_EQ(CURLE_COULDNT_CONNECT, other.send("GET", "/session/1/session").code);
  SimCluster second(kSecondAddress);
  HttpsClient trusting(second.url(), second.certPath());
  EXPECT_TRUE(trusting.login());
  EXPECT_EQ(0u, server().requestLog().find("POST", "/session/1/session").size());
  // Without the admin switch there are no admin endpoints.
  EXPECT_EQ(401, trusting.send("GET", "/_sim/requests").status);
  EXPECT_EQ(401, trusting.send("POST", "/_sim/clock", "{\"advance\":901}").status);
  // The first server's certificate does not vouch for the second.
  HttpsClient wrongTrust(second.url(), certPath());
  EXPECT_EQ(CURLE_PEER_FAILED_VERIFICATION, wrongTrust.send("GET", "/session/1/session").code);

  // A key that does not belong to the given certificate is refused at start.
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

TEST_F(SimCoreTest, AdminFaultsRequestLogAndClockOverHttps) {
  HttpReply reply = client().send("POST", "/_sim/faults",
                                  "[{\"kind\":\"error\",\"path\":\"/platform/1/probe\",\"status\":418},"
                                  "{\"kind\":\"error\",\"path\":\"/platform/1/probe\"},"
                                  "{\"kind\":\"delay\",\"path\":\"/x\",\"delay_ms\":1,\"times\":0}]");
  ASSERT_EQ(201, reply.status) << reply.body;
  EXPECT_EQ(3u, reply.json()["ids"].size());
  EXPECT_EQ(3u, client().send("GET", "/_sim/faults").json()["faults"].size());
  EXPECT_EQ(400, client().send("POST", "/_sim/faults", "{\"kind\":\"volcano\"}").status);
  EXPECT_EQ(400, client().send("POST", "/_sim/faults", "{\"kind\":\"error\",\"regex\":\"(\"}").status);

  // One after the other; without a status and a body, an error fault answers 500 in the error shape.
  ASSERT_TRUE(client().login());
  EXPECT_EQ(418, Items().status);
  EXPECT_EQ("500 AEC_EXCEPTION", Items().failure());
  EXPECT_EQ(204, client().send("DELETE", "/_sim/faults").status);
  EXPECT_EQ(0u, server().faults().armedCount());

  // The log as served masks every secret; admin requests are not logged themselves.
  const nlohmann::json log = client().send("GET", "/_sim/requests").json();
  const std::string text = log.dump();
  for (const std::string& secret : {client().sessionId, client().csrfToken, std::string("secret")})
    EXPECT_EQ(std::string::npos, text.find(secret)) << secret;
  EXPECT_NE(std::string::npos, text.find("isisessid=***"));
  ASSERT_EQ(3u, log["requests"].size());
  EXPECT_EQ("/session/1/session", log["requests"][0]["target"]);
  EXPECT_EQ(204, client().send("DELETE", "/_sim/requests").status);
  EXPECT_EQ(0u, server().requestLog().size());

  // Moving the clock (which expires sessions: see the nodes' admin test) takes a number.
  EXPECT_EQ(400, client().send("POST", "/_sim/clock", "{\"advance\":\"soon\"}").status);
}

TEST_F(SimCoreTest, ModulesAdminRoutesServeOnlyTheAdminSide) {
  const std::string body = R"({"paths":["/ifs/data/admin/a/f1","/ifs/data/admin/f2"]})";
  HttpReply reply = client().send("POST", "/_sim/namespace/files", body);
  ASSERT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ(2, reply.json()["added"]);
  EXPECT_EQ(0, client().send("POST", "/_sim/namespace/files", body).json()["added"]);  // already there
  for (const char* bad : {"{}", R"({"paths":"/ifs/x"})", R"({"paths":["/ifs/x",1]})", R"({"paths":["/etc/x"]})"})
    EXPECT_EQ(400, client().send("POST", "/_sim/namespace/files", bad).status) << bad;
  EXPECT_EQ(404, client().send("GET", "/_sim/namespace/nothing").status);

  // Without the admin side, a session's request to a module's admin route finds nothing.
  ASSERT_TRUE(client().login());
  server().config().admin = false;
  reply = client().authed("POST", "/_sim/namespace/files", R"({"paths":["/ifs/data/admin/f3"]})");
  server().config().admin = true;
  EXPECT_EQ(404, reply.status) << reply.body;
  EXPECT_EQ(200, client().authed("GET", "/namespace/ifs/data/admin/f2?metadata").status);
  EXPECT_EQ(404, client().authed("GET", "/namespace/ifs/data/admin/f3?metadata").status);
}

// Paging tokens are URL-safe base64 without padding: every length modulo 3 comes back byte for
// byte, and a text in another alphabet, padded, or of an impossible length is no token.
TEST(SimTokens, UrlSafeBase64RoundTripsAndRefusesOtherTexts) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (size_t length = 0; length <= 7; ++length) {
    for (const std::string& data : {all.substr(0, length), all.substr(256 - length), std::string(length, '\xff')}) {
      const std::string token = isim::base64UrlEncode(data);
      EXPECT_EQ(std::string::npos, token.find_first_of("+/=")) << token;
      EXPECT_EQ((4 * length + 2) / 3, token.size());
      std::string back;
      ASSERT_TRUE(isim::base64UrlDecode(token, back)) << token;
      EXPECT_EQ(data, back);
    }
  }
  std::string back;
  EXPECT_TRUE(isim::base64UrlDecode(isim::base64UrlEncode(all), back));
  EXPECT_EQ(all, back);
  EXPECT_EQ("-_8", isim::base64UrlEncode("\xfb\xff"));
  for (const char* bad : {"-_8=", "+/8", "QQ==", " QQ", "QQ ", "Q", "QUJDR", "QU\nJD", "QU.J"}) {
    EXPECT_FALSE(isim::base64UrlDecode(bad, back)) << bad;
  }
  EXPECT_TRUE(isim::base64UrlDecode("QQ", back));
  EXPECT_EQ("A", back);
  EXPECT_TRUE(isim::base64UrlDecode("", back));
  EXPECT_EQ("", back);
}

// A token is read back only with a page size up to the pager's largest, in its own scope, and
// up to 65,536 characters (a token padded with blanks inside its text, on each side of that).
TEST(SimTokens, TokensWithinTheLargestPageSizeScopeAndLength) {
  const isim::Pager pager("items", /*defaultLimit=*/10, /*maxLimit=*/50);
  isim::PageCursor cursor, back;
  cursor.offset = 7;
  for (size_t limit : {1u, 49u, 50u, 51u}) {
    cursor.limit = limit;
    EXPECT_EQ(limit <= 50, pager.decode(pager.encode(cursor), back)) << limit;
  }
  cursor.limit = 50;
  ASSERT_TRUE(pager.decode(pager.encode(cursor), back));
  EXPECT_EQ(7u, back.offset);
  EXPECT_TRUE(back.resumed);
  EXPECT_FALSE(isim::Pager("other", 10, 50).decode(pager.encode(cursor), back));

  const std::string text = R"({"s":"items","o":7,"l":5,"q":[]})";
  for (size_t bytes : {size_t{49152}, size_t{49153}}) {  // 65,536 and 65,537 characters
    const std::string token = isim::base64UrlEncode(text + std::string(bytes - text.size(), ' '));
    EXPECT_EQ(bytes == 49152, pager.decode(token, back)) << token.size();
  }
}
