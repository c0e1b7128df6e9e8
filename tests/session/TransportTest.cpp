// The HTTPS transport against the simulated cluster: trust, the header list, request types,
// reply headers and damaged replies. (Refusals and time-outs are in the fault suites.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/core/Certificate.h"
#include "tests/session/SessionFixture.h"
#include "tests/support/LogCapture.h"

using sessiontest::SessionFixture;

namespace {

bool ContainsNoCase(const std::string& text, const char* part) { return strcasestr(text.c_str(), part) != nullptr; }

// The body of the last reply, taken and released as the session does.
std::string Reply(QuorLibCurl& transport, unsigned long* status = nullptr) {
  unsigned long code = 0;
  char* text = transport.GetHttpResponse(code, true);
  if (status != nullptr) *status = code;
  if (text == nullptr) return "<none>";
  std::string body(text);
  std::free(text);
  return body;
}

const char kContentType[] = "Content-Type: application/json";

}  // namespace

// ---- Trust, seen through the session -----------------------------------------------------

class TrustTest : public SessionFixture {
 protected:
  std::string RegistryText() const override { return "[NAS]\n"; }
};

TEST_F(TrustTest, UntrustedCertificateFailsWithItsCauseUnlessTrustedOrUnchecked) {
  ScopedLogCapture capture(0);
  auto session = NewSession();
  EXPECT_FALSE(session->OpenConnection());
  const std::string cause = session->GetLastTransportError();
  EXPECT_TRUE(ContainsNoCase(cause, "certificate")) << cause;
  EXPECT_EQ(0u, LastError(*session).find("Internal error|"));
  // The cause also reaches the log, next to the failed URI.
  EXPECT_TRUE(capture.Contains(cause));
  EXPECT_TRUE(capture.Contains("Curl request failed for URI:[https://127.0.0.10:8080/session/1/session]"));
  EXPECT_EQ(0u, server().requestLog().size());

  // Only "no" turns verification off, with one warning per transport.
  registry().Rewrite("[NAS]\nsIsilonVerifyTLS = yes\n");
  EXPECT_FALSE(NewSession()->OpenConnection());
  registry().Rewrite("[NAS]\nsIsilonVerifyTLS = no\n");
  auto unchecked = NewSession();
  ASSERT_TRUE(unchecked->OpenConnection()) << unchecked->GetLastTransportError();
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Get(*unchecked, "/session/1/session"));
  std::vector<int> warnings;
  for (const CapturedLine& line : capture.Lines()) {
    if (line.message.find("verification is turned off") != std::string::npos) warnings.push_back(line.level);
  }
  EXPECT_EQ(std::vector<int>{-1}, warnings);

  // Trusting the certificate through the registry lets the first session in.
  registry().Rewrite("[NAS]\nsIsilonCAFile = " + certPath() + "\n");
  EXPECT_TRUE(session->OpenConnection()) << session->GetLastTransportError();
}

TEST_F(TrustTest, ATrustedCertificateForAnotherAddressIsRefused) {
  // A cluster on 127.0.0.70 serving a certificate made out to 127.0.0.71, which is trusted.
  isim::CertificatePair pair;
  std::string error;
  ASSERT_TRUE(isim::makeSelfSigned("127.0.0.71", pair, error)) << error;
  TempFile cert(pair.certificatePem, ".pem"), key(pair.privateKeyPem, ".key");
  isim::Config config;
  config.certFile = cert.path();
  config.keyFile = key.path();
  SimCluster other("127.0.0.70", config);
  registry().Rewrite("[NAS]\nsIsilonCAFile = " + cert.path() + "\n");
  auto session = NewSession("127.0.0.70", "admin", "secret");
  EXPECT_FALSE(session->OpenConnection());
  const std::string cause = session->GetLastTransportError();
  EXPECT_TRUE(ContainsNoCase(cause, "does not match") || ContainsNoCase(cause, "no alternative certificate subject"))
      << cause;
  EXPECT_EQ(0u, other.server().requestLog().size());
}

// ---- The transport itself ----------------------------------------------------------------

class TransportTest : public SessionFixture {
 protected:
  void SetUp() override {
    SessionFixture::SetUp();
    transport_.reset(new QuorLibCurl());
    ASSERT_TRUE(transport_->QuorLibCurlInit(kContentType, true, true, nullptr));
  }
  void TearDown() override {
    if (transport_) transport_->QuorLibCurlDeInit();
    transport_.reset();
    SessionFixture::TearDown();
  }
  bool Send(_http_req_type_ type, const std::string& path, const std::string& body = std::string()) {
    return transport_->QuorLibCurlSendHttpReq(type, Url(path), body.empty() ? nullptr : body.data(), body.size(), false,
                                              nullptr);
  }
  QuorLibCurl& transport() { return *transport_; }

 private:
  std::unique_ptr<QuorLibCurl> transport_;
};

TEST_F(TransportTest, HeaderListContentTypeAndRequestTypes) {
  // Appended lines go with every request; "Name:" removes a header libcurl would send.
  for (const char* line : {"X-Trace-Id: 7", "Accept:"}) {
    ASSERT_TRUE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line));
  }
  EXPECT_FALSE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, "no colon"));
  EXPECT_FALSE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, "X-A: 1\r\nX-B: 2"));
  for (int i = 0; i < 2; ++i) {
    Send(HTTP_REQ_GET, "/platform/1/a");
    EXPECT_EQ("GET", LastSent().method);
    EXPECT_EQ("7", LastSent().header("X-Trace-Id"));
    EXPECT_FALSE(LastSent().hasHeader("Accept"));
    EXPECT_EQ("application/json", LastSent().header("Content-Type"));
  }
  // After the list is freed: no appended line, but still the content type. The method and body
  // of one request do not leak into the next.
  transport().QuorLibCurlFreeHttpHeaderList();
  struct Case {
    _http_req_type_ type;
    const char* body;
    const char* method;
  };
  for (const Case& c :
       {Case{HTTP_REQ_POST, "{\"a\" : 1}", "POST"}, Case{HTTP_REQ_PUT, "", "PUT"},
        Case{HTTP_REQ_PUT, "{\"b\":2}", "PUT"}, Case{HTTP_REQ_DELETE, "", "DELETE"}, Case{HTTP_REQ_GET, "", "GET"},
        Case{HTTP_REQ_GET, "", "GET"}, Case{HTTP_REQ_DELETE, "{\"c\":3}", "DELETE"}, Case{HTTP_REQ_GET, "", "GET"},
        Case{HTTP_REQ_PUT, "{\"d\":4}", "PUT"}, Case{HTTP_REQ_GET, "", "GET"}}) {
    Send(c.type, "/platform/1/b", c.body);
    const isim::LoggedRequest sent = LastSent();
    EXPECT_EQ(c.method, sent.method);
    EXPECT_EQ(c.body, sent.body) << c.method;
    EXPECT_FALSE(sent.hasHeader("X-Trace-Id"));
    EXPECT_TRUE(sent.hasHeader("Accept"));
    EXPECT_EQ("application/json", sent.header("Content-Type"));
  }
  EXPECT_FALSE(Send(static_cast<_http_req_type_>(9), "/platform/1/f"));
  EXPECT_FALSE(transport().GetLastErrorText().empty());

  // A write goes out on a new connection, so that libcurl's silent resend on a dead kept-alive
  // connection can never send it twice; reads after it may reuse that one.
  std::multiset<int> earlier;
  for (const isim::LoggedRequest& r : Requests()) {
    EXPECT_TRUE(r.method == "GET" || earlier.count(r.remotePort) == 0) << r.method << " " << r.target;
    earlier.insert(r.remotePort);
  }

  // A large upload goes without waiting for "100 Continue".
  ASSERT_TRUE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, "Expect:"));
  const std::string big(2u << 20, 'z');
  Send(HTTP_REQ_PUT, "/platform/1/big", big);
  EXPECT_FALSE(LastSent().hasHeader("Expect"));
  EXPECT_EQ(big.size(), LastSent().body.size());
}

TEST_F(TransportTest, HeaderLinesLaidAgainBeforeEachRequest) {
  // A session frees the list and lays its lines again before every request; what goes out is
  // always the lines laid since the last free, whether a slot holds the same line or not.
  struct Step {
    std::vector<std::string> lines;
    std::vector<std::pair<const char*, const char*>> expected;  // name, value ("" for absent)
  };
  const std::vector<Step> steps = {
      {{"X-A: 1", "X-B: 2"}, {{"X-A", "1"}, {"X-B", "2"}}},
      {{"X-A: 1", "X-B: 2"}, {{"X-A", "1"}, {"X-B", "2"}}},               // the same lines
      {{"X-A: 1", "X-B: 3"}, {{"X-A", "1"}, {"X-B", "3"}}},               // the last one changed
      {{"X-A: 1"}, {{"X-A", "1"}, {"X-B", ""}}},                          // one fewer
      {{"X-A: 1", "X-B: 3", "X-C: 4"}, {{"X-B", "3"}, {"X-C", "4"}}},     // one more
      {{"X-C: 4", "X-A: 1"}, {{"X-A", "1"}, {"X-B", ""}, {"X-C", "4"}}},  // reordered
      {{}, {{"X-A", ""}, {"X-C", ""}}},                                   // none
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    transport().QuorLibCurlFreeHttpHeaderList();
    for (const std::string& line : steps[i].lines) {
      ASSERT_TRUE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line));
    }
    Send(HTTP_REQ_GET, "/platform/1/a");  // refused (no session): the request is what counts
    const isim::LoggedRequest sent = LastSent();
    for (const auto& e : steps[i].expected) {
      const bool absent = *e.second == '\0';
      EXPECT_EQ(absent, !sent.hasHeader(e.first)) << i << " " << e.first;
      if (!absent) {
        EXPECT_EQ(e.second, sent.header(e.first)) << i << " " << e.first;
      }
    }
    EXPECT_EQ("application/json", sent.header("Content-Type")) << i;
  }
  // A refused line takes no slot, even one that held a line before: the next request carries
  // only what was accepted.
  transport().QuorLibCurlFreeHttpHeaderList();
  ASSERT_TRUE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, "X-C: 4"));
  EXPECT_FALSE(transport().QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, std::string("X-A: 1\0X-B: 2", 13)));
  Send(HTTP_REQ_GET, "/platform/1/a");
  EXPECT_EQ("4", LastSent().header("X-C"));
  EXPECT_FALSE(LastSent().hasHeader("X-A"));
}

TEST_F(TransportTest, SuccessOnlyFor2xxAndRepliesStayReadable) {
  // 201 with cookies: success, and each Set-Cookie value, whatever the case of the name.
  EXPECT_TRUE(Send(HTTP_REQ_POST, "/session/1/session", "{\"username\":\"admin\",\"password\":\"secret\"}"));
  unsigned long status = 0;
  EXPECT_NE(std::string::npos, Reply(transport(), &status).find("\"username\" : \"admin\""));
  EXPECT_EQ(201u, status);
  std::vector<std::string> cookies{"stale"};
  EXPECT_TRUE(transport().GetHttpResponseHeaders("set-cookie", cookies));
  ASSERT_EQ(2u, cookies.size());
  EXPECT_EQ(0u, cookies[0].find("isisessid="));
  EXPECT_EQ(0u, cookies[1].find("isicsrf="));

  // An error status fails, with its body and status still there; headers are per reply.
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/platform/1/x"));
  EXPECT_EQ(
      "{\n\"errors\" : \n[\n\n{\n\"code\" : \"AEC_UNAUTHORIZED\",\n\"message\" : \"Authorization required\"\n}\n]\n}",
      Reply(transport(), &status));
  EXPECT_EQ(401u, status);
  EXPECT_EQ(401, transport().GetLastHttpStatus());
  EXPECT_EQ("HTTP status 401", transport().GetLastErrorText());
  transport().GetHttpResponseHeaders("Set-Cookie", cookies);
  EXPECT_TRUE(cookies.empty());

  // A reply without a body gives no text; 3xx is not success either.
  server().faults().add(isim::Fault::replace("/platform/1/empty", 204, ""));
  EXPECT_TRUE(Send(HTTP_REQ_DELETE, "/platform/1/empty"));
  EXPECT_EQ("<none>", Reply(transport()));
  EXPECT_EQ("", transport().GetLastErrorText());
  server().faults().add(isim::Fault::replace("/platform/1/moved", 302, "{}"));
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/platform/1/moved"));
}

TEST_F(TransportTest, DamagedRepliesFailCleanlyAndTheConnectionRecovers) {
  for (isim::Fault fault :
       {isim::Fault::truncate("/platform/1/r", "{\"errors\":[{\"code\":\"AEC_", 4096),
        isim::Fault::closeBeforeReply("/platform/1/r"), isim::Fault::closeMidReply("/platform/1/r")}) {
    SCOPED_TRACE(isim::faultKindName(fault.kind));
    // Armed until cleared: libcurl retries once on a fresh connection when a kept-alive one
    // dies before any reply.
    server().faults().add(fault.count(0));
    EXPECT_FALSE(Send(HTTP_REQ_GET, "/platform/1/r"));
    server().faults().clear();
    EXPECT_FALSE(transport().GetLastErrorText().empty());
    // Half a reply is never handed out as if it were the whole.
    EXPECT_EQ("<none>", Reply(transport()));
    // The next request reconnects and gets a whole reply.
    EXPECT_FALSE(Send(HTTP_REQ_GET, "/platform/1/r"));
    EXPECT_EQ(401, transport().GetLastHttpStatus());
    EXPECT_NE("<none>", Reply(transport()));
  }
}

TEST_F(TransportTest, OnlyA2xxStatusIsASuccess) {
  // libcurl follows no redirect: a 3xx reply is no answer to the request either.
  for (int status : {200, 299, 300, 302}) {
    SCOPED_TRACE(status);
    server().faults().add(isim::Fault::replace("/platform/1/r", status, "{}"));
    const bool success = status < 300;
    EXPECT_EQ(success, Send(HTTP_REQ_GET, "/platform/1/r"));
    EXPECT_EQ(status, transport().GetLastHttpStatus());
    EXPECT_EQ(success ? "" : "HTTP status " + std::to_string(status), transport().GetLastErrorText());
  }
}

TEST_F(TransportTest, RepliesAboveTheSizeLimitAreRefused) {
  registry().Rewrite("[NAS]\nsIsilonCAFile = " + certPath() + "\nnIsilonMaxReplyMiB = 1\n");
  QuorLibCurl limited;
  ASSERT_TRUE(limited.QuorLibCurlInit(kContentType, true, true, nullptr));
  // One byte over the limit, then exactly at it: with its length declared, and in chunks of
  // no declared length, which only the count of what arrived can hold to the limit.
  for (bool chunked : {false, true}) {
    for (size_t size : {(1u << 20) + 1, 1u << 20}) {
      SCOPED_TRACE(std::to_string(size) + (chunked ? " in chunks" : " declared"));
      isim::Fault huge = isim::Fault::hugeBody("/platform/1/huge", size, "{\"a\":\"");
      huge.chunked = chunked;
      server().faults().add(huge);
      const bool fits = size == 1u << 20;
      EXPECT_EQ(fits,
                limited.QuorLibCurlSendHttpReq(HTTP_REQ_GET, Url("/platform/1/huge"), nullptr, 0, false, nullptr));
      EXPECT_EQ(fits, limited.GetLastErrorText().find("nIsilonMaxReplyMiB") == std::string::npos);
      const std::string body = Reply(limited);
      EXPECT_EQ(fits ? size : std::string("<none>").size(), body.size());
    }
  }
  // A declared length reserves at most 16 MiB before the body arrives: replies on either side
  // of that are read whole all the same.
  for (size_t size : {(16u << 20) - 1, (16u << 20) + 1}) {
    SCOPED_TRACE(size);
    server().faults().add(isim::Fault::hugeBody("/platform/1/big", size, "{\"a\":\""));
    ASSERT_TRUE(transport().QuorLibCurlSendHttpReq(HTTP_REQ_GET, Url("/platform/1/big"), nullptr, 0, false, nullptr));
    const std::string body = Reply(transport());
    EXPECT_EQ(size, body.size());
    EXPECT_EQ(0u, body.find("{\"a\":\""));
  }
}
