// The simulator held to the cluster's published API description over real HTTPS: what the
// request gate refuses and lets through, which versions each release serves, the cluster's
// reply layout, and the check of the simulator's own replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Http.h"
#include "sim/core/Module.h"
#include "sim/core/Router.h"
#include "tests/sim/HttpsClient.h"
#include "tests/support/SimFixture.h"

namespace {

const char kAddress[] = "127.0.0.180";

// Serves one change-list entry, as described unless ?drift is given (undeclared arguments are
// ignored): then with a member the description lacks and without a required one.
class DriftProbeModule : public isim::Module {
 public:
  const char* name() const override { return "zz-drift-probe"; }
  void registerRoutes(isim::Router& router) override {
    router.get("/platform/1/snapshot/changelists/([^/]+)/lins/([^/]+)", [](const isim::Request& r) {
      nlohmann::json lin = {{"id", r.captures[1]}, {"path", "/ifs/a"}, {"size", 1}, {"type", "file"}};
      if (r.hasParam("drift")) {
        lin.erase("path");
        lin["snap_id"] = 4;
      }
      return isim::Response::json(lin);
    });
  }
};
ISIM_REGISTER_MODULE(DriftProbeModule)

class GateTest : public SimFixture {
 protected:
  explicit GateTest(const char* release = "8.0.1.2") : SimFixture(kAddress) {
    simConfig().admin = true;
    simConfig().demo = true;
    simConfig().release = release;
  }
  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    client_.reset(new HttpsClient(cluster().url(), certPath()));
    ASSERT_TRUE(client_->login());
  }
  void TearDown() override {
    client_.reset();
    // Module replies are held to the description elsewhere; these cases look at requests.
    server().replyProblems().clear();
    SimFixture::TearDown();
  }
  HttpsClient& client() { return *client_; }

  // The fields named by a refusal, "|"-joined, or "passed" when the gate let the request
  // through (whatever the handler then answered).
  std::string Gate(const std::string& method, const std::string& target, const std::string& body = std::string()) {
    const HttpReply reply = client().authed(method, target, body);
    const nlohmann::json j = reply.json();
    if (reply.status != 400 || !j.contains("errors") || j["errors"].empty() ||
        j["errors"].back().value("message", "") != "Input validation failed.")
      return "passed";
    std::string fields;
    for (size_t i = 0; i + 1 < j["errors"].size(); ++i) {
      const auto& e = j["errors"][i];
      EXPECT_EQ("AEC_BAD_REQUEST", e.value("code", "")) << reply.body;
      if (!fields.empty()) fields += "|";
      fields += e.value("field", "<none>");
    }
    return fields;
  }
  std::string Message(const std::string& method, const std::string& target, const std::string& body) {
    return client().authed(method, target, body).error("message");
  }

 private:
  std::unique_ptr<HttpsClient> client_;
};

class StrictArgsGateTest : public GateTest {
 protected:
  StrictArgsGateTest() { simConfig().strictArgs = true; }
};

class Release72GateTest : public GateTest {
 protected:
  Release72GateTest() : GateTest("7.2.1.6") {}
};

class CompactGateTest : public GateTest {
 protected:
  CompactGateTest() { simConfig().compact = true; }
};

struct GateCase {
  const char* method;
  const char* target;
  const char* body;
  const char* expected;  // refused fields, or "passed"
};

const char kSyncJobs[] = "/platform/1/sync/jobs";
const char kJobs[] = "/platform/3/job/jobs";
const char kShare[] = "/platform/3/protocols/smb/shares/nosuch";

}  // namespace

TEST_F(GateTest, BodiesAreHeldToTheInputSchema) {
  const GateCase cases[] = {
      // Unknown member, wrong type, required member missing, enumeration.
      {"POST", kSyncJobs, R"({"id":"nosuch","simultaneous":true})", "simultaneous"},
      {"POST", kSyncJobs, R"({"id":"nosuch"})", "passed"},
      {"POST", kSyncJobs, R"({"id":5})", "id"},
      {"POST", kSyncJobs, R"({})", "id"},
      {"POST", kSyncJobs, R"({"id":"nosuch","action":"bogus"})", "action"},
      {"POST", kSyncJobs, R"({"id":"nosuch","action":"test"})", "passed"},
      {"POST", kSyncJobs, R"({"id":"nosuch","workers_per_node":null})", "passed"},  // a listed "null"
      {"POST", kSyncJobs, R"({"id":"nosuch","workers_per_node":"2"})", "workers_per_node"},
      // Bounds, each side of each: priority 1..10.
      {"POST", kJobs, R"({"type":"NoSuchJob","priority":0})", "priority"},
      {"POST", kJobs, R"({"type":"NoSuchJob","priority":1})", "passed"},
      {"POST", kJobs, R"({"type":"NoSuchJob","priority":10})", "passed"},
      {"POST", kJobs, R"({"type":"NoSuchJob","priority":11})", "priority"},
      // Nested members, one entry per field in order.
      {"POST", kJobs, R"({"type":"ChangelistCreate","changelistcreate_params":{"older_snapid":0,"newer_snapid":1}})",
       "changelistcreate_params.older_snapid"},
      {"POST", kJobs, R"({"type":"ChangelistCreate","changelistcreate_params":{"newer_snapid":2,"x":1},"y":2})",
       "changelistcreate_params.older_snapid|changelistcreate_params.x|y"},
      // A persona with an empty type (as SetSMBACLs once sent) against one with a name only.
      {"PUT", kShare,
       R"({"permissions":[{"permission":"full","permission_type":"allow","trustee":{"id":"","name":"bob","type":""}}]})",
       "permissions[0].trustee.type"},
      {"PUT", kShare,
       R"({"permissions":[{"permission":"full","permission_type":"allow","trustee":{"name":"bob","type":"user"}}]})",
       "passed"},
      {"PUT", kShare, R"({"permissions":[{"permission":"full","permission_type":"allow"}]})", "permissions[0].trustee"},
      {"POST", kSyncJobs, "not json", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Gate(c.method, c.target, c.body)) << c.method << " " << c.body;
}

TEST_F(GateTest, QueryArgumentsAreHeldToTheirDeclarations) {
  const GateCase cases[] = {
      {"GET", "/platform/1/sync/jobs?limit=0", "", "limit"},
      {"GET", "/platform/1/sync/jobs?limit=1", "", "passed"},
      {"GET", "/platform/1/sync/jobs?limit=ten", "", "limit"},
      {"GET", "/platform/1/protocols/nfs/exports?limit=5000", "", "passed"},
      {"GET", "/platform/1/protocols/nfs/exports?limit=5001", "", "limit"},
      {"GET", "/platform/1/sync/jobs?dir=UP", "", "dir"},
      {"GET", "/platform/1/sync/jobs?dir=ASC", "", "passed"},
      {"GET", "/platform/3/job/jobs?batch=true", "", "passed"},
      {"GET", "/platform/3/job/jobs?batch=yes", "", "batch"},
      // resume stands alone; an empty piece before it is no argument.
      {"GET", "/platform/1/sync/jobs?resume=abc", "", "passed"},
      {"GET", "/platform/1/sync/jobs?&resume=abc", "", "passed"},
      {"GET", "/platform/1/sync/jobs?limit=2&resume=abc", "", "resume"},
      // Undeclared arguments are ignored by default.
      {"GET", "/platform/1/sync/jobs?policy_name=p1", "", "passed"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Gate(c.method, c.target, c.body)) << c.target;
  EXPECT_EQ("Field: limit has error: The value 0 is less than the minimum 1.",
            Message("GET", "/platform/1/sync/jobs?limit=0", ""));
  EXPECT_EQ("Field: priority has error: The value 11 is greater than the maximum 10.",
            Message("POST", kJobs, R"({"type":"NoSuchJob","priority":11})"));
  EXPECT_EQ("Field: id has error: A required property is missing.", Message("POST", kSyncJobs, "{}"));
}

TEST_F(StrictArgsGateTest, UndeclaredArgumentsAreRefused) {
  EXPECT_EQ("policy_name", Gate("GET", "/platform/1/sync/jobs?policy_name=p1"));
  EXPECT_EQ("Field: policy_name has error: A query argument was present that is not defined by the schema.",
            Message("GET", "/platform/1/sync/jobs?policy_name=p1", ""));
  EXPECT_EQ("passed", Gate("GET", "/platform/1/sync/jobs?limit=1"));
  EXPECT_EQ("limit", Gate("GET", "/platform/3/protocols/smb/shares/nosuch?limit=1"));  // a single share
  // Change-list entries declare no arguments but hand out a resume token, which comes back alone.
  EXPECT_EQ("passed", Gate("GET", "/platform/1/snapshot/changelists/2_3/lins?resume=abc"));
  EXPECT_EQ("limit", Gate("GET", "/platform/1/snapshot/changelists/2_3/lins?limit=1"));
  EXPECT_EQ("resume|dir", Gate("GET", "/platform/1/snapshot/changelists/2_3/lins?resume=abc&dir=ASC"));
}

namespace {
struct ReleaseCase {
  const char* target;
  bool on80;  // served on 8.0.1.2
  bool on72;  // served on 7.2.1.6
};
const ReleaseCase kReleaseCases[] = {
    {"/platform/3/cluster/version", true, false},   // API version 3 exists only from 8.0
    {"/platform/2/cluster/version", false, false},  // the resource starts at version 3
    {"/platform/1/snapshot/snapshots", true, true},
    {"/platform/2/snapshot/snapshots", true, true},  // newest version 1 serves version 2
    {"/platform/3/snapshot/snapshots", true, false},
    {"/platform/4/snapshot/snapshots", true, false},
    {"/platform/5/snapshot/snapshots", false, false},  // above every release's highest version
    {"/platform/3/zones", true, false},
    {"/platform/x/zones", false, false},
};

// 404 in the cluster's error shape, or whatever the resource answers.
bool Served(HttpsClient& client, const std::string& target) {
  const HttpReply reply = client.authed("GET", target);
  if (reply.status != 404) return true;
  EXPECT_EQ("AEC_NOT_FOUND|Path not found: " + target, reply.error("code") + "|" + reply.error("message"));
  return false;
}
}  // namespace

TEST_F(GateTest, Release8ServesItsVersions) {
  for (const auto& c : kReleaseCases) EXPECT_EQ(c.on80, Served(client(), c.target)) << c.target;
}

TEST_F(Release72GateTest, Release72ServesItsVersions) {
  for (const auto& c : kReleaseCases) EXPECT_EQ(c.on72, Served(client(), c.target)) << c.target;
}

// The modules answer as 8.0.1.2; a 7.2.1.6 reply holds only what 7.2.1.6 describes, and conforms.
TEST_F(GateTest, PoliciesCarryWhatTheNewerReleaseAdds) {
  const nlohmann::json policy = client().authed("GET", "/platform/1/sync/policies").json()["policies"][0];
  EXPECT_TRUE(policy.contains("accelerated_failback"));
  EXPECT_TRUE(policy.contains("source_root_path"));
  EXPECT_TRUE(server().replyProblems().entries().empty());
}
TEST_F(Release72GateTest, RepliesHoldOnlyWhatTheOlderReleaseDescribes) {
  const nlohmann::json policy = client().authed("GET", "/platform/1/sync/policies").json()["policies"][0];
  EXPECT_FALSE(policy.contains("accelerated_failback"));
  EXPECT_TRUE(policy.contains("source_root_path"));
  EXPECT_TRUE(server().replyProblems().entries().empty());
}

TEST_F(GateTest, RepliesAreSpacedAsTheClusterWritesThem) {
  const HttpReply reply = client().authed("POST", kSyncJobs, R"({"id":"nosuch","simultaneous":true})");
  EXPECT_EQ(
      "{\n\"errors\" : \n[\n\n{\n\"code\" : \"AEC_BAD_REQUEST\",\n\"field\" : \"simultaneous\",\n\"message\" : "
      "\"Field: simultaneous has error: A property was present that is not defined by the schema.\"\n},\n\n{\n"
      "\"code\" : \"AEC_BAD_REQUEST\",\n\"message\" : \"Input validation failed.\"\n}\n]\n}",
      reply.body);
}

TEST_F(CompactGateTest, RepliesAreCompactOnRequest) {
  const HttpReply reply = client().authed("POST", kSyncJobs, R"({"id":"nosuch","simultaneous":true})");
  EXPECT_EQ(R"({"errors":[{"code":"AEC_BAD_REQUEST","field":"simultaneous","message":"Field: simultaneous has error: )"
            R"(A property was present that is not defined by the schema."},{"code":"AEC_BAD_REQUEST",)"
            R"("message":"Input validation failed."}]})",
            reply.body);
}

TEST(FormatJson, LaysOutEveryKindOfValue) {
  const struct {
    nlohmann::json value;
    const char* spaced;
  } cases[] = {
      {nlohmann::json::object(), "{}"},
      {nlohmann::json::array(), "[]"},
      {{{"a", nlohmann::json::array()}, {"b", nlohmann::json::object()}}, "{\n\"a\" : \n[],\n\"b\" : \n{}\n}"},
      {{1, "x", nullptr, true}, "[\n\n1,\n\n\"x\",\n\nnull,\n\ntrue\n]"},
      {{{"n", {{"m", 1.5}}}}, "{\n\"n\" : \n{\n\"m\" : 1.5\n}\n}"},
      {std::string("a\xff"), "\"a\xef\xbf\xbd\""},  // invalid UTF-8 replaced, not thrown
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.spaced, isim::formatJson(c.value, false));
    EXPECT_EQ(c.value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), isim::formatJson(c.value, true));
  }
}

TEST_F(GateTest, ReplyCheckCatchesPlantedDrift) {
  const std::string lin = "/platform/1/snapshot/changelists/2_4/lins/77";
  ASSERT_EQ(200, client().authed("GET", lin).status);
  EXPECT_TRUE(server().replyProblems().entries().empty());

  ASSERT_EQ(200, client().authed("GET", lin + "?drift=1").status);
  std::vector<std::string> found;
  for (const auto& p : server().replyProblems().entries()) found.push_back(p.method + " " + p.field);
  EXPECT_EQ((std::vector<std::string>{"GET path", "GET snap_id"}), found);

  // Scripts read the same list over the admin endpoint.
  const nlohmann::json listed = client().send("GET", "/_sim/reply-problems").json();
  ASSERT_EQ(2u, listed["problems"].size());
  EXPECT_EQ(lin, listed["problems"][0]["path"]);
  EXPECT_EQ("Field: snap_id has error: A property was present that is not defined by the schema.",
            listed["problems"][1]["message"]);
  EXPECT_EQ(204, client().send("DELETE", "/_sim/reply-problems").status);
  EXPECT_TRUE(server().replyProblems().entries().empty());
}
