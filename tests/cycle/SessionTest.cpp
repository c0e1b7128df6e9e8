// What the cycle does around the session: opening it again after 401, taking up replacement
// cookies, moving to another node, and refusing input before anything goes out.
#include <functional>
#include <string>
#include <vector>

#include "tests/cycle/CycleFixture.h"

namespace cycletest {
namespace {

class SessionTest : public CycleTest {};

const char kHtml401[] =
    "<html><head><title>401 Unauthorized</title></head><body><h1>Authorization Required</h1></body></html>";
const char kJson401[] = R"({"errors":[{"code":"AEC_UNAUTHORIZED","message":"Authorization required"}]})";

struct Expired {
  const char* name;
  Reply reply;
};
const std::vector<Expired>& ExpiredReplies() {
  static const std::vector<Expired> replies = {
      {"HTML", Reply::Status(401, kHtml401)},
      {"JSON", Reply::Status(401, kJson401)},
      {"empty", Reply::Status(401)},
  };
  return replies;
}

TEST_F(SessionTest, A401OpensTheSessionAgainAndRepeatsTheRequestOnce) {
  for (const Expired& expired : ExpiredReplies()) {
    SCOPED_TRACE(expired.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login("old"), expired.reply, Login("new"), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
    EXPECT_EQ("|", LastError(*session));
    const std::vector<SentRequest>& sent = cluster.script().Sent();
    ASSERT_EQ(4u, sent.size());
    EXPECT_TRUE(sent[2].IsLogin());
    EXPECT_EQ(sent[1].uri, sent[3].uri);
    // The repeat carries the new session's cookie and token, none of the old one's.
    EXPECT_EQ("isisessid=new", sent[3].Header("Cookie"));
    EXPECT_EQ("csrf-new", sent[3].Header("X-CSRF-Token"));
    EXPECT_EQ(1u, session->GetRequestCounters().reopenedSessions);
    EXPECT_TRUE(ScopedScriptedCluster::Sleeps().empty());
  }
}

TEST_F(SessionTest, A401OnAChangeRepeatsItToo) {
  // 401 says the cluster did not act on the request.
  script().Add({Login("old"), Reply::Status(401, kJson401), Login("new"), Reply::Status(204)});
  std::unique_ptr<ManageIsilon> session = NewSession();
  EXPECT_TRUE(Disable(*session)) << LastError(*session);
  ASSERT_EQ(2u, script().Operations().size());
  EXPECT_EQ(script().Operations()[0].body, script().Operations()[1].body);
}

TEST_F(SessionTest, ASecond401Fails) {
  for (const Expired& expired : ExpiredReplies()) {
    SCOPED_TRACE(expired.name);
    ScopedScriptedCluster cluster;
    // A third login and answer are there for a cycle that would loop.
    cluster.script().Add({Login("a"), expired.reply, Login("b"), expired.reply, Login("c"), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_FALSE(session->GetExternalIPs(ips));
    ExpectReason(*session);
    EXPECT_EQ(2u, cluster.script().Logins());
    EXPECT_EQ(2u, cluster.script().Operations().size());
    EXPECT_EQ(1u, session->GetRequestCounters().reopenedSessions);
  }
}

TEST_F(SessionTest, ALoginRefusedEndsTheRequest) {
  struct Case {
    const char* name;
    std::vector<Reply> replies;  // after the first login
    size_t logins;
  };
  const Case cases[] = {
      {"at the first login", {}, 1},
      {"when opening again", {Login("a"), Reply::Status(401, kJson401)}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add(c.replies);
    cluster.script().Add({Reply::Status(401, kJson401), Login("late"), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_FALSE(session->GetExternalIPs(ips));
    EXPECT_EQ("AEC_UNAUTHORIZED|Authorization required", LastError(*session));
    EXPECT_EQ(c.logins, cluster.script().Logins());
    EXPECT_EQ(2u, cluster.script().Unused());
  }
}

TEST_F(SessionTest, ReplacementCookiesOnAReplyGoWithTheNextRequest) {
  struct Case {
    const char* name;
    std::vector<std::string> setCookies;
    const char* cookie;
    const char* token;
  };
  const Case cases[] = {
      {"session cookie", {"isisessid=renewed; path=/; HttpOnly"}, "isisessid=renewed", "csrf-first"},
      {"one-byte session cookie", {"isisessid=r; path=/"}, "isisessid=r", "csrf-first"},
      {"token", {"isicsrf=token2; path=/"}, "isisessid=first", "token2"},
      {"both", {"isisessid=renewed; path=/", "isicsrf=token2; path=/"}, "isisessid=renewed", "token2"},
      {"both folded", {"isisessid=renewed; path=/, isicsrf=token2; path=/"}, "isisessid=renewed", "token2"},
      {"both folded, no attributes", {"isisessid=renewed, isicsrf=token2"}, "isisessid=renewed", "token2"},
      {"quoted token", {"isicsrf=\"token2\"; path=/"}, "isisessid=first", "token2"},
      {"quoted one-byte token", {"isicsrf=\"t\"; path=/"}, "isisessid=first", "t"},
      // A cookie that clears the value (as on a logout) replaces nothing, quoted or not.
      {"cleared", {"isisessid=; Max-Age=0; path=/"}, "isisessid=first", "csrf-first"},
      {"token cleared, quoted", {"isicsrf=\"\"; Max-Age=0; path=/"}, "isisessid=first", "csrf-first"},
      // Folded into one line, one cleared value leaves the other's replacement to count.
      {"token, session cleared", {"isicsrf=token2, isisessid="}, "isisessid=first", "token2"},
      {"session, token cleared", {"isisessid=renewed, isicsrf=\"\""}, "isisessid=renewed", "csrf-first"},
      {"other cookie", {"lang=en; path=/"}, "isisessid=first", "csrf-first"},
      // Only a cookie of that very name, wherever the name shows.
      {"names ending in theirs", {"xisisessid=other; path=/", "myisicsrf=other"}, "isisessid=first", "csrf-first"},
      {"in a value or an attribute", {"lang=isisessid=other; isicsrf=other"}, "isisessid=first", "csrf-first"},
      {"folded after another",
       {"lang=en; path=/,\tisisessid=renewed, myisicsrf=x, isicsrf=token2"},
       "isisessid=renewed",
       "token2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    Reply renewing = Addresses();
    for (const std::string& line : c.setCookies) renewing.With("Set-Cookie", line);
    cluster.script().Add({Login("first"), renewing, Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips));
    EXPECT_TRUE(session->GetExternalIPs(ips));
    const std::vector<SentRequest> sent = cluster.script().Operations();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ("isisessid=first", sent[0].Header("Cookie"));
    EXPECT_EQ(c.cookie, sent[1].Header("Cookie"));
    EXPECT_EQ(c.token, sent[1].Header("X-CSRF-Token"));
    EXPECT_EQ(1u, cluster.script().Logins());
  }
}

TEST_F(SessionTest, ReplacementCookiesOnAnErrorReplyAreTakenUpToo) {
  script().Add({Login("first"), Reply::Error(404, "AEC_NOT_FOUND", "no such share").With("Set-Cookie", "isisessid=r2"),
                Addresses()});
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<_IsilonShareInfo> shares;
  _IsilonShareInfo info;
  std::string path;
  EXPECT_FALSE(session->GetFSPathForShare("gone", path, info, ""));
  std::vector<std::string> ips;
  EXPECT_TRUE(session->GetExternalIPs(ips));
  ASSERT_EQ(2u, script().Operations().size());
  EXPECT_EQ("isisessid=r2", script().Operations()[1].Header("Cookie"));
}

class NodeTest : public CycleTest {
 protected:
  static constexpr const char* kFirst = "127.0.0.62";
  static constexpr const char* kSecond = "127.0.0.63";
  void Nodes(const std::string& more = std::string()) {
    Settings(std::string("sIsilonNodeAddresses=") + kFirst + ", " + kSecond + "\n" + more);
  }
};

TEST_F(NodeTest, ALoginRefusedOnTheFirstNodeGoesToTheNext) {
  const char* settings[] = {"nIsilonRetryCount=0\n", "", "nIsilonRetryCount=1\n"};
  for (const char* setting : settings) {
    SCOPED_TRACE(setting);
    Nodes(setting);
    ScopedScriptedCluster cluster;
    cluster.script().Refuse(kFirst);
    cluster.script().Add({Login(), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
    const std::vector<SentRequest>& sent = cluster.script().Sent();
    ASSERT_LE(2u, sent.size());
    EXPECT_EQ(kFirst, sent.front().connectAddress);
    EXPECT_EQ(kSecond, sent.back().connectAddress);
    EXPECT_FALSE(sent.back().IsLogin());
    // The URL still names the server, for TLS and the certificate.
    EXPECT_NE(std::string::npos, sent.back().uri.find(std::string("https://") + Server() + ":8080/"));
    for (const SentRequest& request : cluster.script().Operations()) EXPECT_EQ(kSecond, request.connectAddress);
    EXPECT_LE(1u, session->GetRequestCounters().nodeSwitches);
  }
}

TEST_F(NodeTest, ASessionWhoseNodeGoesAwayMovesToTheNext) {
  struct Case {
    const char* name;
    bool refuse;             // the node refuses connections, or cuts the GET off once
    TransportResult cutOff;  // when not refusing
  };
  const Case cases[] = {
      {"refused", true, TransportResult::kNoConnection},
      {"reset", false, TransportResult::kNoReply},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Nodes("nIsilonRetryCount=0\n");
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login("one"), Addresses()});
    std::unique_ptr<ManageIsilon> session = NewSession();
    std::vector<std::string> ips;
    ASSERT_TRUE(session->GetExternalIPs(ips));
    if (c.refuse) {
      cluster.script().Refuse(kFirst);
    } else {
      cluster.script().Add(Reply::Failure(c.cutOff));
    }
    cluster.script().Add({Login("two"), Addresses()});
    EXPECT_TRUE(session->GetExternalIPs(ips)) << LastError(*session);
    const std::vector<SentRequest>& sent = cluster.script().Sent();
    ASSERT_EQ(5u, sent.size());
    EXPECT_EQ(kFirst, sent[2].connectAddress);
    EXPECT_TRUE(sent[3].IsLogin());
    EXPECT_EQ(kSecond, sent[3].connectAddress);
    EXPECT_EQ(kSecond, sent[4].connectAddress);
    EXPECT_EQ(sent[2].uri, sent[4].uri);
    // A session cookie is valid only on its own node.
    EXPECT_EQ("isisessid=two", sent[4].Header("Cookie"));
    EXPECT_EQ(1u, session->GetRequestCounters().nodeSwitches);
  }
}

TEST_F(NodeTest, NoNodeAnsweringFails) {
  Nodes();
  script().Refuse(kFirst);
  script().Refuse(kSecond);
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::vector<std::string> ips;
  EXPECT_FALSE(session->GetExternalIPs(ips));
  ExpectReason(*session);
  EXPECT_NE("", session->GetLastTransportError());
  EXPECT_TRUE(script().Operations().empty());
  EXPECT_LE(2u, script().Logins());
}

TEST_F(SessionTest, RefusedInputSendsNothing) {
  using Call = std::function<bool(ManageIsilon&)>;
  struct Case {
    const char* name;
    Call call;
    bool made;  // the neighbouring value that does go out
  };
  std::vector<_IsilonFileInfo> files;
  std::string resume;
  const Case cases[] = {
      {"share ..", [](ManageIsilon& s) { return s.DeleteCIFSShare("..", "/ifs/a", ""); }, false},
      {"share .", [](ManageIsilon& s) { return s.DeleteCIFSShare(".", "/ifs/a", ""); }, false},
      {"share ...", [](ManageIsilon& s) { return s.DeleteCIFSShare("...", "/ifs/a", ""); }, true},
      {"share a/b", [](ManageIsilon& s) { return s.DeleteCIFSShare("a/b", "/ifs/a", ""); }, false},
      {"share a.b", [](ManageIsilon& s) { return s.DeleteCIFSShare("a.b", "/ifs/a", ""); }, true},
      {"share with NUL", [](ManageIsilon& s) { return s.CreateCIFSShare(std::string("a\0b", 3), "/ifs/a", "", ""); },
       false},
      {"zone with NUL", [](ManageIsilon& s) { return s.CreateCIFSShare("a", "/ifs/a", "", std::string("z\0", 2)); },
       false},
      {"policy ..",
       [](ManageIsilon& s) {
         return s.ModifySyncIQPolicy("..", {{SYNCIQ_PROPERTY_ENABLED, "true"}});
       },
       false},
      {"policy p..",
       [](ManageIsilon& s) {
         return s.ModifySyncIQPolicy("p..", {{SYNCIQ_PROPERTY_ENABLED, "true"}});
       },
       true},
      {"listing ifs/a",
       [&](ManageIsilon& s) {
         resume.clear();
         return s.GetFileList(files, "ifs/a", resume, 10);
       },
       false},
      {"listing /ifs/../a",
       [&](ManageIsilon& s) {
         resume.clear();
         return s.GetFileList(files, "/ifs/../a", resume, 10);
       },
       false},
      {"listing /ifs/..a",
       [&](ManageIsilon& s) {
         resume.clear();
         return s.GetFileList(files, "/ifs/..a", resume, 10);
       },
       true},
      {"attributes /ifs/a/.",
       [](ManageIsilon& s) {
         _IsilonFileInfo info;
         return s.GetPathAttributes(info, "/ifs/a/.");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedScriptedCluster cluster;
    cluster.script().Add({Login(), Reply::Status(204)});
    std::unique_ptr<ManageIsilon> session = NewSession();
    const bool result = c.call(*session);
    EXPECT_EQ(c.made ? 1u : 0u, cluster.script().Operations().size());
    if (!c.made) {
      EXPECT_FALSE(result);
      EXPECT_EQ("Internal error|Invalid input parameters", LastError(*session));
    }
  }
}

TEST_F(SessionTest, AServerThatIsNoBareNameSendsNothing) {
  const char* servers[] = {"https://127.0.0.61", "127.0.0.61:8080", "127.0.0.61/platform", "admin@127.0.0.61",
                           "127.0.0.61 "};
  for (const char* server : servers) {
    SCOPED_TRACE(server);
    ScopedScriptedCluster cluster;
    std::unique_ptr<ManageIsilon> session = NewSession();
    session->SetFileServer(server);
    std::vector<std::string> ips;
    EXPECT_FALSE(session->GetExternalIPs(ips));
    EXPECT_EQ("Internal error|Invalid input parameters", LastError(*session));
    EXPECT_TRUE(cluster.script().Sent().empty());
  }
}

TEST_F(SessionTest, AnEmptyUriIsNotSent) {
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::string response = "kept";
  EXPECT_FALSE(session->SendRequest(response, ManageIsilon::kGet, "", "", true));
  EXPECT_EQ("kept", response);
  EXPECT_TRUE(script().Sent().empty());
}

}  // namespace
}  // namespace cycletest

namespace cycletest {
namespace {

// SendRequest fails without a reason when it sends nothing: with an empty URI, and on a session
// that was never opened (no transport yet). Every false should carry a code and a message.
TEST_F(SessionTest, ARawRequestNotSentFailsWithAReason) {
  std::unique_ptr<ManageIsilon> session = NewSession();
  std::string response;
  EXPECT_FALSE(session->SendRequest(response, ManageIsilon::kGet, "", "", true));
  ExpectReason(*session);
  EXPECT_FALSE(session->SendRequest(response, ManageIsilon::kGet,
                                    std::string("https://") + Server() + ":8080/platform/1/cluster/config", "", true));
  ExpectReason(*session);
  EXPECT_TRUE(script().Sent().empty());
}

}  // namespace
}  // namespace cycletest
