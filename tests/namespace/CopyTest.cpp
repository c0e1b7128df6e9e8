// Server-side copy through the real transport: the copy headers, the reply forms, and the
// session's header list put back after every copy.
#include <gtest/gtest.h>

#include "host/QuorLibCurl.h"
#include "tests/namespace/NamespaceFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using isim::Fault;
using isim::ns::Status;

class CopyTest : public NamespaceFixture {
 protected:
  CopyTest() : NamespaceFixture("127.0.0.43") {}

  // The request after a copy carries the session's headers and none of the copy's.
  // A host's own request that keeps the headers as they are (every operation reinstalls them).
  void ExpectCleanNextRequest() {
    std::string response;
    session().SendRequest(response, HTTP_REQ_GET, Url("/namespace/ifs"), "", /*resetHeaders=*/false);
    const isim::LoggedRequest next = LastSent();
    EXPECT_EQ(next.method, "GET");
    for (const char* gone : {"x-isi-ifs-copy-source", "x-isi-ifs-target-type"}) EXPECT_FALSE(next.hasHeader(gone));
    for (const char* kept : {"Cookie", "X-CSRF-Token", "Referer"}) EXPECT_TRUE(next.hasHeader(kept)) << kept;
  }
};

TEST_F(CopyTest, CopiesFilesAndTreesWithTheCopyHeaders) {
  const std::string source = "/ifs/src/my file #1 & 100%41.txt";
  AddFile(source, 42);
  AddFile("/ifs/src/tree/a", 1);
  AddFile("/ifs/src/tree/b/c", 2);
  ASSERT_EQ(tree().AddDirectory("/ifs/dst"), Status::kOk);

  ASSERT_TRUE(session().CopyFileOrDirectory(source, "/ifs/dst/copy #1 & 100%.txt", false)) << LastError().second;
  const isim::LoggedRequest put = LastSent();
  EXPECT_EQ(put.method + " " + put.target, "PUT /namespace/ifs/dst/copy%20%231%20%26%20100%25.txt?overwrite=false");
  // The server hands the header over decoded (once: "%41" must survive).
  EXPECT_EQ(put.header("x-isi-ifs-copy-source"), "/namespace" + source);
  EXPECT_EQ(put.header("x-isi-ifs-target-type"), "container");
  for (const char* gone : {"Transfer-Encoding", "Expect"}) EXPECT_FALSE(put.hasHeader(gone)) << gone;
  for (const char* kept : {"Cookie", "X-CSRF-Token"}) EXPECT_TRUE(put.hasHeader(kept)) << kept;
  EXPECT_EQ(put.header("Referer"), "https://" + address() + ":8080");
  EXPECT_EQ(put.body, "");
  isim::ns::Entry copied;
  ASSERT_TRUE(tree().Lookup("/ifs/dst/copy #1 & 100%.txt", copied));
  EXPECT_EQ(copied.size, 42u);

  // A whole tree.
  ASSERT_TRUE(session().CopyFileOrDirectory("/ifs/src/tree", "/ifs/dst/tree", false));
  EXPECT_TRUE(tree().Exists("/ifs/dst/tree/a"));
  EXPECT_TRUE(tree().Exists("/ifs/dst/tree/b/c"));

  // An existing target without overwrite: the cluster's copy error becomes the last error.
  EXPECT_FALSE(session().CopyFileOrDirectory(source, "/ifs/dst/copy #1 & 100%.txt", false));
  ExpectLastError("AEC_EXISTS", "Error:[target exists and overwrite is false] is reported for side:[target side]");
  AddFile("/ifs/src/bigger", 4242);
  ASSERT_TRUE(session().CopyFileOrDirectory("/ifs/src/bigger", "/ifs/dst/copy #1 & 100%.txt", true));
  EXPECT_EQ(LastSent().target, "/namespace/ifs/dst/copy%20%231%20%26%20100%25.txt?overwrite=true");
  ASSERT_TRUE(tree().Lookup("/ifs/dst/copy #1 & 100%.txt", copied));
  EXPECT_EQ(copied.size, 4242u);

  // A missing source is an error reply.
  EXPECT_FALSE(session().CopyFileOrDirectory("/ifs/src/none", "/ifs/dst/none", false));
  EXPECT_EQ(LastError().first, "AEC_NOT_FOUND");

  // Empty paths are refused before anything is sent.
  const size_t before = server().requestLog().size();
  EXPECT_FALSE(session().CopyFileOrDirectory("", "/ifs/dst/x", false));
  ExpectLastError("Internal error", "Invalid input parameters");
  EXPECT_FALSE(session().CopyFileOrDirectory("/ifs/src/tree", "", true));
  EXPECT_EQ(server().requestLog().size(), before);
}

TEST(CopyRequest, HeaderLinesAndUriAreEncoded) {
  IsilonJsonCopyFileOrDir request;
  request.Initialize("cluster.example", "/ifs/a/my file #1&%.txt", "/ifs/b/new file", true);
  std::string uri;
  std::vector<std::string> headers = {"stale"};
  ASSERT_TRUE(request.BuildRequest(uri, headers));
  EXPECT_EQ(uri, "https://cluster.example:8080/namespace/ifs/b/new%20file?overwrite=true");
  EXPECT_EQ(headers, (std::vector<std::string>{"x-isi-ifs-copy-source: /namespace/ifs/a/my%20file%20%231%26%25.txt",
                                               "Transfer-Encoding:", "Expect:", "x-isi-ifs-target-type: container"}));
}

TEST_F(CopyTest, EveryReplyFormGivesItsResult) {
  AddFile("/ifs/a", 1);
  struct Case {
    int status;
    std::string body;
    bool result;
    std::string code, message;  // expected last error ("keep": none, as cleared at the start)
  };
  const std::vector<Case> cases = {
      {200, "", true, "keep", ""},
      {200, R"({"success":true})", true, "keep", ""},
      // Refused without a copy error: the reply is the reason.
      {200, R"({"success":false})", false, "Internal Error",
       R"(File server did not report the copy as successful:[{"success":false}])"},
      {200, R"({"copy_errors":[],"success":true})", false, "Internal Error",
       R"(File server did not report the copy as successful:[{"copy_errors":[],"success":true}])"},
      {200, "not json", false, "Internal Error", "Failed to parse json response:[not json]"},
      {200, R"({"success":true)", false, "Internal Error", R"(Failed to parse json response:[{"success":true])"},
      {200, R"({"copy_errors":[{"code":"C1","error_src":"source side"}],"success":false})", false, "C1",
       "Unknown error received. Unexpected error format."},
      {200, R"({"copy_errors":[{"message":"m","error_src":"target side"},{"code":"C3"}]})", false, "Internal Error",
       "Error:[m] is reported for side:[target side]"},
      {200, R"({"copy_errors":[7],"success":true})", true, "keep", ""},
      {500, R"({"errors":[{"code":"AEC_EXCEPTION","message":"boom"}]})", false, "AEC_EXCEPTION", "boom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    // A refused listing sets a known last error first.
    std::vector<_IsilonFileInfo> files;
    std::string resume;
    session().GetFileList(files, "/ifs", resume, 0);
    server().faults().add(Fault::replace("/namespace", c.status, c.body).on("PUT"));
    EXPECT_EQ(session().CopyFileOrDirectory("/ifs/a", "/ifs/b", false), c.result);
    if (c.code == "keep") {
      EXPECT_EQ(LastError(), std::make_pair(std::string(), std::string()));
    } else {
      EXPECT_EQ(LastError(), std::make_pair(c.code, c.message));
    }
    ExpectCleanNextRequest();
  }
}

// A transport that refuses one header line, to reach the append failure.
class RefusingTransport : public QuorLibCurl {
 public:
  bool QuorLibCurlAppendHeader(_http_hdr_type_ type, const std::string& line) override {
    if (line == "Expect:") return false;
    return QuorLibCurl::QuorLibCurlAppendHeader(type, line);
  }
};

TEST_F(CopyTest, RefusedHeaderSendsNothingAndRestoresTheSessionHeaders) {
  SetTransportFactory([] { return new RefusingTransport(); });
  AddFile("/ifs/a", 1);
  EXPECT_FALSE(session().CopyFileOrDirectory("/ifs/a", "/ifs/b", false));
  SetTransportFactory(nullptr);
  ExpectLastError("Internal error", "Could not construct message to file server. Error appending header.");
  EXPECT_TRUE(Sent("PUT").empty());
  EXPECT_FALSE(tree().Exists("/ifs/b"));
  // The half-built copy headers must not ride on the next request.
  ExpectCleanNextRequest();
}

TEST_F(CopyTest, TraceSwitchTracesWithoutSecrets) {
  AddFile("/ifs/a", 1);
  {
    // Off: a copy writes no trace.
    SetRegistry("sTraceCurl=no\n");
    ScopedLogCapture log(7);
    ASSERT_TRUE(session().CopyFileOrDirectory("/ifs/a", "/ifs/b", false));
    EXPECT_FALSE(log.Contains("> PUT /namespace/ifs/b"));
  }
  SetRegistry("sTraceCurl=Yes please\n");
  ScopedLogCapture log(7);
  ASSERT_TRUE(session().CopyFileOrDirectory("/ifs/a", "/ifs/c", false));
  _IsilonFileInfo info;
  ASSERT_TRUE(session().GetPathAttributes(info, "/ifs/c"));
  EXPECT_TRUE(log.Contains("> PUT /namespace/ifs/c?overwrite=false"));
  EXPECT_TRUE(log.Contains("x-isi-ifs-copy-source: /namespace/ifs/a"));
  // The trace stays on for the session.
  EXPECT_TRUE(log.Contains("> GET /namespace/ifs/c/?metadata"));

  const std::string cookie = LastSent().header("Cookie");
  const size_t at = cookie.find("isisessid=");
  ASSERT_NE(at, std::string::npos);
  const std::string sessionId = cookie.substr(at + 10, cookie.find(';', at) - (at + 10));  // to ';' or the end
  const std::string csrf = LastSent().header("X-CSRF-Token");
  ASSERT_GE(sessionId.size(), 8u);
  ASSERT_GE(csrf.size(), 8u);
  EXPECT_EQ(log.All().find(sessionId), std::string::npos);
  EXPECT_EQ(log.All().find(csrf), std::string::npos);
}

}  // namespace
