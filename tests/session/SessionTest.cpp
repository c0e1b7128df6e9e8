// The session through the real transport against the simulated cluster: open, reuse, close,
// cookies and headers, credentials, renewal and what reaches the log.
#include <gtest/gtest.h>

#include <strings.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/session/SessionFixture.h"
#include "tests/support/LogCapture.h"

using sessiontest::SessionFixture;

namespace {

// The session id in a request's Cookie header ("isisessid=ID").
std::string SessionIdOf(const isim::LoggedRequest& request) {
  const std::string cookie = request.header("Cookie");
  return cookie.compare(0, 10, "isisessid=") == 0 ? cookie.substr(10) : std::string();
}

size_t CountHeader(const isim::LoggedRequest& request, const std::string& name) {
  size_t n = 0;
  for (const auto& h : request.headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) ++n;
  return n;
}

// "METHOD target status body" of a logged request.
std::string Summary(const isim::LoggedRequest& r) {
  return r.method + " " + r.target + " " + std::to_string(r.status) + " " + r.body;
}

}  // namespace

class SessionTest : public SessionFixture {};

TEST_F(SessionTest, OpensOnceReusesOneConnectionAndCloses) {
  auto session = NewSession();
  ASSERT_TRUE(session->OpenConnection()) << LastError(*session);

  // The session request, byte for byte.
  std::vector<isim::LoggedRequest> log = Requests();
  ASSERT_EQ(1u, log.size());
  EXPECT_EQ(
      "POST /session/1/session 201 "
      "{\"username\" : \"admin\",\"password\" : \"secret\",\"services\" : [\"platform\",\"namespace\"]}",
      Summary(log[0]));
  EXPECT_EQ("application/json", log[0].header("Content-Type"));
  EXPECT_FALSE(log[0].hasHeader("Cookie"));

  // Later requests carry exactly the three session headers, matching the cluster's session.
  ASSERT_TRUE(Get(*session, "/session/1/session")) << session->GetLastTransportError();
  ASSERT_TRUE(Get(*session, "/session/1/session", /*resetHeaders=*/false));
  log = Requests();
  ASSERT_EQ(3u, log.size());
  for (size_t i = 1; i < log.size(); ++i) {
    isim::SessionStore::Use use;
    ASSERT_TRUE(server().sessions().peek(SessionIdOf(log[i]), use)) << log[i].header("Cookie");
    EXPECT_EQ(use.csrfToken, log[i].header("X-CSRF-Token"));
    EXPECT_EQ("https://127.0.0.10:8080", log[i].header("Referer"));
    for (const char* name : {"Cookie", "X-CSRF-Token", "Referer"}) EXPECT_EQ(1u, CountHeader(log[i], name)) << name;
    // One kept-alive connection for the whole session.
    EXPECT_EQ(log[0].remotePort, log[i].remotePort);
  }

  // Close: a DELETE without a body, the cluster forgets the session, the transport is gone.
  server().requestLog().clear();
  EXPECT_TRUE(session->CloseConnection());
  ASSERT_EQ(1u, server().requestLog().size());
  EXPECT_EQ("DELETE /session/1/session 204 ", Summary(LastSent()));
  // Unlike other changes, the logout rides the session's connection: sent twice, it would end
  // the same session.
  EXPECT_EQ(log[0].remotePort, LastSent().remotePort);
  EXPECT_EQ(0u, server().sessions().liveCount());

  // A closed object sends nothing, neither on close nor on a request.
  EXPECT_TRUE(session->CloseConnection());
  EXPECT_FALSE(Get(*session, "/session/1/session"));
  EXPECT_EQ(1u, server().requestLog().size());

  // The credentials stay: the next open logs in again. The destructor releases the transport
  // only: the session stays open on the cluster.
  ASSERT_TRUE(session->OpenConnection()) << LastError(*session);
  session.reset();
  EXPECT_EQ(2u, server().requestLog().size());
  EXPECT_EQ(1u, server().sessions().liveCount());
}

TEST_F(SessionTest, ALogoutAnsweredWithTextLeavesTheClustersReason) {
  // The cluster answers a logout with no body; one with text is read as the error. Either way
  // the session is closed here and sends nothing more.
  for (const std::string& text :
       {std::string(), std::string(R"({"errors":[{"code":"AEC_BUSY","message":"later"}]})")}) {
    SCOPED_TRACE(text);
    auto session = NewSession();
    ASSERT_TRUE(session->OpenConnection()) << LastError(*session);
    server().faults().add(isim::Fault::replace("/session/1/session", 200, text).on("DELETE"));
    EXPECT_TRUE(session->CloseConnection());
    EXPECT_EQ(text.empty() ? "|" : "AEC_BUSY|later", LastError(*session));
    server().requestLog().clear();
    EXPECT_FALSE(Get(*session, "/platform/1/cluster/config"));
    EXPECT_EQ(0u, server().requestLog().size());
  }
}

TEST_F(SessionTest, SetCookieTextsWithSpacesAndWithoutSessionCookie) {
  struct Case {
    std::vector<std::string> setCookies;
    const char* cookie;  // empty: no Cookie header
    const char* token;
  };
  // Spaces around "=" and ";" are dropped; without "isisessid=" the session still opens.
  const Case cases[] = {
      {{"isisessid = abc 123 ; path=/ ; HttpOnly", " isicsrf = tok-9 ;Secure"}, "isisessid=abc123", "tok-9"},
      {{"isicsrf=only-token; path=/"}, "", "only-token"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    isim::Fault reply = isim::Fault::replace("/session/1/session", 201, "{}").on("POST");
    for (const std::string& value : c.setCookies) reply.headers.emplace_back("Set-Cookie", value);
    server().faults().add(reply);
    auto session = NewSession();
    ASSERT_TRUE(session->OpenConnection()) << LastError(*session);
    Get(*session, "/platform/1/cluster/config");
    const isim::LoggedRequest sent = LastSent();
    EXPECT_EQ(*c.cookie != '\0', sent.hasHeader("Cookie"));
    EXPECT_EQ(c.cookie, sent.header("Cookie"));
    EXPECT_EQ(c.token, sent.header("X-CSRF-Token"));
    EXPECT_EQ("https://127.0.0.10:8080", sent.header("Referer"));
  }
}

TEST_F(SessionTest, RejectedLoginIsLoggedAndAccountsNeedingEscapesLogIn) {
  ScopedLogCapture capture(0);
  auto session = NewSession(address(), "admin", "wrong");
  EXPECT_FALSE(session->OpenConnection());  // (the last error it leaves: the namespace tests)
  EXPECT_TRUE(capture.Contains(
      "Failed to open connection with file server[127.0.0.10]. Error[AEC_UNAUTHORIZED]:[Authorization failed: "
      "invalid username or password]"));
  for (const CapturedLine& line : capture.Lines()) {
    EXPECT_TRUE(line.function != "bool ManageIsilon::OpenConnection()" || line.context == 42u) << line.message;
  }

  // Accounts whose names and passwords need escaping in the session body.
  server().config().users = {{"DOM\\backup", "q\"uo\\te\tx"}};
  auto domain = NewSession(address(), "DOM\\backup", "q\"uo\\te\tx");
  ASSERT_TRUE(domain->OpenConnection()) << LastError(*domain);
  EXPECT_EQ(
      "{\"username\" : \"DOM\\\\backup\",\"password\" : \"q\\\"uo\\\\te\\tx\",\"services\" : "
      "[\"platform\",\"namespace\"]}",
      LastSent().body);

  // A user already written with a doubled backslash is not doubled again.
  auto doubled = NewSession(address(), "DOM\\\\backup", "q\"uo\\te\tx");
  EXPECT_TRUE(doubled->OpenConnection()) << LastError(*doubled);
}

TEST_F(SessionTest, SecretsNeverReachTheLogEvenWithTheTrace) {
  ScopedLogCapture capture(7);
  SetTransportFactory([] {
    QuorLibCurl* transport = new QuorLibCurl();
    transport->toggleTrace(true);
    return transport;
  });
  auto session = NewSession();
  ASSERT_TRUE(session->OpenConnection()) << LastError(*session);
  ASSERT_TRUE(Get(*session, "/session/1/session"));
  const isim::LoggedRequest sent = LastSent();
  const std::string id = SessionIdOf(sent), token = sent.header("X-CSRF-Token");
  ASSERT_FALSE(id.empty());
  ASSERT_FALSE(token.empty());
  session->CloseConnection();

  // The trace did run, and the headers were logged, with placeholders.
  bool traced = false;
  for (const CapturedLine& line : capture.Lines()) traced |= line.function == "QuorLibCurl" && line.level == 7;
  EXPECT_TRUE(traced);
  const std::string all = capture.All();
  for (const char* shown : {"POST /session/1/session", "Set-Cookie: isisessid=<redacted>",
                            " Cookie[Cookie: isisessid=<redacted>]", "\"password\" : \"<redacted>\""}) {
    EXPECT_NE(std::string::npos, all.find(shown)) << shown;
  }
  for (const std::string& secret : {id, token, std::string("secret")}) {
    EXPECT_EQ(std::string::npos, all.find(secret)) << secret;
  }

  // Trace off again: nothing more at level 7.
  SetTransportFactory([] {
    QuorLibCurl* transport = new QuorLibCurl();
    for (bool on : {true, false}) transport->toggleTrace(on);
    return transport;
  });
  capture.Clear();
  ASSERT_TRUE(NewSession()->OpenConnection());
  for (const CapturedLine& line : capture.Lines()) EXPECT_NE(7, line.level) << line.message;
}

// Short idle time: replies carry replacement cookies from half of it on.
TEST_F(SessionTest, ReplacementCookiesKeepALongSessionAlive) {
  server().sessions().setTimeouts(/*idle=*/10, /*absolute=*/14400);
  auto session = NewSession();
  ASSERT_TRUE(session->OpenConnection());
  const std::string path = "/platform/1/cluster/config";
  ASSERT_TRUE(Get(*session, "/session/1/session"));
  const std::string first = SessionIdOf(LastSent());

  server().clock().advance(6);  // past half the idle time: the reply brings a replacement
  Get(*session, path);
  EXPECT_EQ(first, SessionIdOf(LastSent()));
  // Taken up at once, also by a request that does not install the headers afresh.
  Get(*session, path, /*resetHeaders=*/false);
  const std::string second = SessionIdOf(LastSent());
  EXPECT_NE(first, second);
  EXPECT_EQ(404, LastSent().status);

  server().clock().advance(5);
  Get(*session, path);
  server().clock().advance(6);  // the first id has now been idle for 11 seconds
  Get(*session, path);
  EXPECT_EQ(404, LastSent().status) << "the renewed session should still be valid";

  isim::SessionStore::Use use;
  EXPECT_FALSE(server().sessions().peek(first, use)) << "the first id should have expired";
}

TEST_F(SessionTest, SeparateSessionsOnSeparateThreads) {
  std::vector<std::thread> threads;
  std::vector<int> opened(4, 0);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([this, i, &opened] {
      auto session = NewSession(address(), "admin", "secret", static_cast<unsigned long long>(i));
      opened[i] = session->OpenConnection() && Get(*session, "/session/1/session");
      session->CloseConnection();
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(1, opened[i]) << "session " << i;
  EXPECT_EQ(0u, server().sessions().liveCount());
}
