// The simulator's replies hold the members the cluster's 8.0.1.2 API description requires, and
// null only where it allows null and only under Config::nulls; sorted directory listings stop at
// 1000 objects a reply; a listing page, which the simulator writes out itself, is laid out as
// every other reply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/core/Http.h"
#include "sim/namespace/NamespaceModule.h"
#include "sim/snapshot/SnapshotModule.h"
#include "sim/synciq/SyncIQ.h"
#include "tests/sim/HttpsClient.h"
#include "tests/support/SimFixture.h"

namespace {

using nlohmann::json;

const char kAddress[] = "127.0.0.196";
const char kNullsAddress[] = "127.0.0.197";

// A simulator and one logged-in HTTPS client of it, made on first use.
class ClientFixture : public SimFixture {
 protected:
  using SimFixture::SimFixture;
  void TearDown() override {
    client_.reset();  // before the cluster stops
    SimFixture::TearDown();
  }
  HttpsClient& client() {
    if (!client_) {
      client_.reset(new HttpsClient(cluster().url(), certPath()));
      EXPECT_TRUE(client_->login());
    }
    return *client_;
  }

 private:
  std::unique_ptr<HttpsClient> client_;
};

class SimRepliesTest : public ClientFixture, public ::testing::WithParamInterface<bool> {
 protected:
  SimRepliesTest() : ClientFixture(GetParam() ? kNullsAddress : kAddress) { simConfig().nulls = GetParam(); }
  json Get(const std::string& target) {
    const HttpReply reply = client().authed("GET", target);
    EXPECT_EQ(200, reply.status) << target << ": " << reply.body;
    return reply.json();
  }
  bool nulls() const { return GetParam(); }
  // null under nulls, else the value of the described type.
  json Unknown(const json& value) const { return nulls() ? json(nullptr) : value; }

  // A policy whose job runs for 100 s (of the server's clock) once started.
  void StartLongJob() {
    auto* siq = server().module<isim::synciq::SyncIQModule>();
    isim::synciq::Policy policy;
    policy.name = "nightly";
    ASSERT_TRUE(siq->addPolicy(policy));
    isim::synciq::Settings settings = siq->settings();
    settings.timing.appearAfter = 0;
    settings.timing.pendingFor = 10;
    settings.timing.jobIdAfter = 5;
    settings.timing.runFor = 100;
    siq->setSettings(settings);
    const HttpReply started = client().authed("POST", "/platform/1/sync/jobs", R"({"id":"nightly"})");
    ASSERT_EQ(201, started.status) << started.body;
  }
};

// Members every SyncIQ job and report carries, a few of each kind.
const char* const kRecordMembers[] = {"action",
                                      "ads_streams_replicated",
                                      "bytes_transferred",
                                      "dead_node",
                                      "errors",
                                      "phases",
                                      "policy_action",
                                      "policy",
                                      "sync_type",
                                      "target_snapshots",
                                      "total_phases",
                                      "warnings",
                                      "lins_total",
                                      "retry",
                                      "job_id",
                                      "duration",
                                      "start_time",
                                      "end_time",
                                      "state",
                                      "error",
                                      "retransmitted_files"};

TEST_P(SimRepliesTest, SyncIQJobAndReportCarryTheDescribedMembersAndNoSourceSnapshot) {
  StartLongJob();
  // Pending: no job id, no duration yet.
  json job = Get("/platform/1/sync/jobs")["jobs"].at(0);
  EXPECT_EQ("scheduled", job["state"]);
  EXPECT_EQ(Unknown(0), job["job_id"]);
  EXPECT_EQ(Unknown(0), job["duration"]);
  EXPECT_EQ(Unknown(0), job["end_time"]);
  EXPECT_EQ("initial", job["sync_type"]);
  EXPECT_TRUE(job["workers"].is_array());

  // Running 4 s: still no job id (it shows after 5); then 6 s: the id and the duration.
  server().clock().advance(14);
  job = Get("/platform/1/sync/jobs")["jobs"].at(0);
  EXPECT_EQ("running", job["state"]);
  EXPECT_EQ(Unknown(0), job["job_id"]);
  server().clock().advance(2);
  job = Get("/platform/1/sync/jobs")["jobs"].at(0);
  EXPECT_TRUE(job["job_id"].is_number_unsigned());
  EXPECT_EQ(6, job["duration"]);
  EXPECT_EQ(Unknown(0), job["end_time"]);
  for (const char* member : kRecordMembers) EXPECT_TRUE(job.contains(member)) << member;
  EXPECT_FALSE(job.contains("source_snapshot"));
  EXPECT_EQ("sync", job["policy_action"]);
  EXPECT_EQ("nightly", job["policy"]["name"]);

  json report = Get("/platform/1/sync/reports?policy_name=nightly")["reports"].at(0);
  EXPECT_EQ("running", report["state"]);
  EXPECT_EQ(Unknown(0), report["end_time"]);
  EXPECT_EQ(Unknown(6), report["duration"]);
  for (const char* member : kRecordMembers) EXPECT_TRUE(report.contains(member)) << member;
  EXPECT_TRUE(report.contains("subreport_count"));
  EXPECT_TRUE(report.contains("worm_committed_file_conflicts"));
  EXPECT_FALSE(report.contains("workers"));
  EXPECT_FALSE(report.contains("source_snapshot"));
  // No job of the policy finished yet.
  json policy = Get("/platform/1/sync/policies/nightly")["policies"].at(0);
  EXPECT_EQ(Unknown(0), policy["last_success"]);
  EXPECT_EQ("running", policy["last_job_state"]);

  // Ended: the report's end and duration hold values in both modes, and so does last_success.
  server().clock().advance(100);
  report = Get("/platform/1/sync/reports?policy_name=nightly")["reports"].at(0);
  EXPECT_EQ("finished", report["state"]);
  EXPECT_EQ(100, report["duration"]);
  EXPECT_EQ(report["start_time"].get<int64_t>() + 100, report["end_time"]);
  policy = Get("/platform/1/sync/policies/nightly")["policies"].at(0);
  EXPECT_EQ(report["end_time"], policy["last_success"]);
  EXPECT_TRUE(Get("/platform/1/sync/jobs")["jobs"].empty());
}

TEST_P(SimRepliesTest, ChangelistJobHasImpactAndPhasesAndAnEndTimeOnlyOnceEnded) {
  auto* names = server().module<isim::NamespaceModule>();
  ASSERT_EQ(isim::ns::Status::kOk, names->tree().AddDirectory("/ifs/cl", {}, true));
  for (const std::string name : {"before", "after"}) {
    // A name that is not UTF-8 changes between the two: the list gives it as the cluster would.
    if (name == "after") {
      ASSERT_EQ(isim::ns::Status::kOk, names->tree().AddFile("/ifs/cl/bad\xff"));
    }
    const HttpReply made =
        client().authed("POST", "/platform/1/snapshot/snapshots", json({{"path", "/ifs/cl"}, {"name", name}}).dump());
    ASSERT_EQ(201, made.status) << made.body;
    const json snap = made.json();
    EXPECT_EQ(Unknown(""), snap["alias"]);
    EXPECT_EQ(Unknown(0), snap["expires"]);
    EXPECT_EQ(Unknown(0), snap["target_id"]);
  }
  auto* snaps = server().module<isim::SnapshotModule>();
  isim::SnapshotModule::JobPlan plan;
  plan.states = {"running"};
  snaps->setJobPlan(plan);
  const HttpReply created = client().authed(
      "POST", "/platform/3/job/jobs",
      R"({"type":"ChangelistCreate","changelistcreate_params":{"older_snapid":1,"newer_snapid":2},"policy":"HIGH"})");
  ASSERT_EQ(201, created.status) << created.body;
  const std::string target = "/platform/3/job/jobs/" + std::to_string(created.json()["id"].get<int>());

  json job = Get(target)["jobs"].at(0);
  EXPECT_EQ("running", job["state"]);
  EXPECT_EQ("High", job["impact"]);
  EXPECT_TRUE(job["retries_remaining"].is_number_integer());
  EXPECT_TRUE(job["total_phases"].is_number_integer());
  EXPECT_FALSE(job.contains("end_time"));  // an integer when there, never null
  EXPECT_FALSE(job.contains("changelistcreate_params"));
  job = Get(target)["jobs"].at(0);
  EXPECT_EQ("succeeded", job["state"]);
  EXPECT_TRUE(job["end_time"].is_number_unsigned());

  const json entry = Get("/platform/3/snapshot/changelists/1_2/lins")["lins"];
  ASSERT_EQ(1u, entry.size());
  EXPECT_EQ("/ifs/cl/bad\xef\xbf\xbd", entry[0]["path"]);
  for (const json& e : entry) {
    EXPECT_FALSE(e.contains("lin") || e.contains("snap_id") || e.contains("change_types")) << e.dump();
  }
  EXPECT_EQ(Unknown(""), Get("/platform/3/job/types/ChangelistCreate")["types"].at(0)["schedule"]);
}

INSTANTIATE_TEST_SUITE_P(Values, SimRepliesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Nulls" : "Described"; });

class SortedListingTest : public ClientFixture {
 protected:
  SortedListingTest() : ClientFixture("127.0.0.198") {}
};

TEST_F(SortedListingTest, AtMostAThousandObjectsAReplyWhateverTheLimit) {
  auto& tree = server().module<isim::NamespaceModule>()->tree();
  ASSERT_EQ(isim::ns::Status::kOk, tree.AddDirectory("/ifs/k1000", {}, true));
  ASSERT_EQ(isim::ns::Status::kOk, tree.AddDirectory("/ifs/k1001", {}, true));
  ASSERT_EQ(isim::ns::Status::kOk, tree.Generate("/ifs/k1000", 1000, 0));
  ASSERT_EQ(isim::ns::Status::kOk, tree.Generate("/ifs/k1001", 1001, 0));
  struct Case {
    const char* query;
    size_t first;   // objects in the first reply
    bool more;      // with a token for the rest
    size_t second;  // objects in the reply for that token
  } cases[] = {
      {"/namespace/ifs/k1000?sort=name&limit=5000", 1000, false, 0},
      {"/namespace/ifs/k1000?sort=name&limit=-1", 1000, false, 0},
      {"/namespace/ifs/k1001?sort=name&limit=5000", 1000, true, 1},
      {"/namespace/ifs/k1001?sort=name&limit=-1", 1000, true, 1},
      {"/namespace/ifs/k1001?sort=name", 1000, true, 1},
      {"/namespace/ifs/k1001?sort=name&limit=1000", 1000, true, 1},
      {"/namespace/ifs/k1001?sort=name&limit=999", 999, true, 2},
      {"/namespace/ifs/k1001?limit=-1", 1001, false, 0},  // unsorted: the limit alone decides
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    HttpReply reply = client().authed("GET", c.query);
    ASSERT_EQ(200, reply.status) << reply.body;
    json page = reply.json();
    EXPECT_EQ(c.first, page["children"].size());
    ASSERT_EQ(c.more, page["resume"].is_string());
    if (!c.more) continue;
    const std::string dir = std::string(c.query).substr(0, std::string(c.query).find('?'));
    reply = client().authed("GET", dir + "?resume=" + page["resume"].get<std::string>());
    ASSERT_EQ(200, reply.status) << reply.body;
    page = reply.json();
    EXPECT_EQ(c.second, page["children"].size());
    EXPECT_TRUE(page["resume"].is_null());
  }
}

// A listing page, in either layout, byte for byte what the general writer makes of the same
// value, and holding each asked-for field of each entry.
class ListingLayoutTest : public ClientFixture, public ::testing::WithParamInterface<bool> {
 protected:
  ListingLayoutTest() : ClientFixture(GetParam() ? "127.0.0.206" : "127.0.0.207") { simConfig().compact = GetParam(); }
};

TEST_P(ListingLayoutTest, PagesAreWhatTheGeneralWriterMakesOfTheirValue) {
  auto& tree = server().module<isim::NamespaceModule>()->tree();
  ASSERT_EQ(isim::ns::Status::kOk, tree.AddDirectory("/ifs/l/empty", {}, true));
  // Names at each side of the bytes that stand for themselves (' ' and '~' do, 0x1f and 0x7f
  // and the quote and the backslash do not), UTF-8 and invalid UTF-8.
  const std::vector<std::string> names = {" ", "~", "a\x1f", "a\x7f", "q\"q", "b\\s", "\xc3\xa9t\xc3\xa9", "bad\xff"};
  isim::ns::NewEntry attrs;
  attrs.owner = "o\"wner";
  attrs.size = 18446744073709551615ull;
  attrs.mtime = 1700000000;
  for (const std::string& name : names) ASSERT_EQ(isim::ns::Status::kOk, tree.AddFile("/ifs/l/" + name, attrs));
  ASSERT_EQ(isim::ns::Status::kOk, tree.AddDirectory("/ifs/l/dir"));

  const std::string all = "detail=name,owner,group,mode,type,size,mtime_val,last_modified,id,container_path,name,x";
  struct Case {
    std::string query;
    size_t children;
    bool more;
  } cases[] = {
      {"/namespace/ifs/l?" + all + "&limit=3", 3, true},  // first page
      {"/namespace/ifs/l?" + all, names.size() + 2, false},
      {"/namespace/ifs/l", names.size() + 2, false},   // the name alone
      {"/namespace/ifs/l?detail=x&limit=1", 1, true},  // no known field
      {"/namespace/ifs/l/empty?" + all, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const HttpReply reply = client().authed("GET", c.query);
    ASSERT_EQ(200, reply.status) << reply.body;
    const json page = reply.json();
    ASSERT_TRUE(page.is_object()) << reply.body;
    EXPECT_EQ(isim::formatJson(page, GetParam()), reply.body);
    ASSERT_EQ(c.children, page["children"].size());
    EXPECT_EQ(c.more, page["resume"].is_string());
    EXPECT_EQ(2u, page.size());
  }

  // The fields of one entry, each with its value and nothing else.
  json page = client().authed("GET", "/namespace/ifs/l?" + all + "&limit=1").json();
  const json expected = {{"container_path", "/ifs/l"},
                         {"group", "wheel"},
                         {"id", page["children"][0]["id"]},
                         {"last_modified", "Tue, 14 Nov 2023 22:13:20 GMT"},
                         {"mode", "0644"},
                         {"mtime_val", 1700000000},
                         {"name", " "},
                         {"owner", "o\"wner"},
                         {"size", 18446744073709551615ull},
                         {"type", "object"}};
  EXPECT_EQ(expected, page["children"][0]);
  EXPECT_TRUE(page["children"][0]["id"].is_number_unsigned());
  page = client().authed("GET", "/namespace/ifs/l").json();
  std::vector<std::string> listed;
  for (const json& child : page["children"]) listed.push_back(child["name"].get<std::string>());
  const std::vector<std::string> sorted = {" ",   "a\x1f", "a\x7f", "b\\s", "bad\xef\xbf\xbd",
                                           "dir", "empty", "q\"q",  "~",    "\xc3\xa9t\xc3\xa9"};
  EXPECT_EQ(sorted, listed);
  EXPECT_EQ(json({{"name", "dir"}}), page["children"][5]);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ListingLayoutTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Compact" : "Spaced"; });

}  // namespace
