// The simulator's snapshot module on its own: the refusals and orders that the library's
// requests do not reach, sent as raw requests over the session.
#include <string>

#include <nlohmann/json.hpp>

#include "tests/snapshot/SnapshotSim.h"

namespace {

using nlohmann::json;

class SnapshotModuleTest : public SnapshotSim {
 protected:
  SnapshotModuleTest() : SnapshotSim("127.0.0.52") {}

  void SetUp() override {
    SnapshotSim::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(ifs().AddDirectory("/ifs/x", isim::ns::NewEntry(), true), isim::ns::Status::kOk);
    ASSERT_EQ(ifs().AddDirectory("/ifs/y"), isim::ns::Status::kOk);
    ASSERT_TRUE(session().OpenConnection());
  }

  // Sends a raw request; the reply as JSON (null when it is not JSON), `ok` the transport's verdict.
  json Send(int method, const std::string& path, const std::string& body, bool& ok) {
    std::string response;
    ok = session().SendRequest(response, method, Url(path), body, true);
    return json::parse(response, nullptr, false);
  }
  // The error code of a refused request (empty when it was accepted).
  std::string Refusal(int method, const std::string& path, const std::string& body = std::string()) {
    bool ok = false;
    const json reply = Send(method, path, body, ok);
    if (ok) return std::string();
    return reply.is_object() ? reply["errors"][0]["code"].get<std::string>() : "not json";
  }
  void Snap(const std::string& path, const std::string& name) {
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot(path, name, id));
  }
};

TEST_F(SnapshotModuleTest, SnapshotRefusalsAndOrders) {
  EXPECT_EQ(Refusal(1, "/platform/1/snapshot/snapshots", "not json"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, "/platform/1/snapshot/snapshots", R"({"path":"/ifs/x","name":"123"})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, "/platform/1/snapshot/snapshots", R"({"path":"/ifs/x","name":"a","bogus":1})"),
            "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, "/platform/1/snapshot/snapshots", R"({"path":"/etc","name":"a"})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, "/platform/1/snapshot/snapshots", R"({"path":"/ifs/x"})"), "");  // a name is made up
  Snap("/ifs/y", "b");
  Snap("/ifs/x", "a");
  bool ok = false;
  json page = Send(0, "/platform/1/snapshot/snapshots?sort=name&dir=DESC&limit=2", "", ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(page["snapshots"].size(), 2u);
  EXPECT_EQ(page["snapshots"][0]["name"], "s1");
  EXPECT_EQ(page["snapshots"][1]["name"], "b");
  EXPECT_EQ(page["total"], 3);
  page = Send(0, "/platform/1/snapshot/snapshots?resume=" + page["resume"].get<std::string>(), "", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(page["snapshots"][0]["name"], "a");
  EXPECT_TRUE(page["resume"].is_null());
  EXPECT_EQ(Refusal(0, "/platform/1/snapshot/snapshots?sort=size"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(0, "/platform/1/snapshot/snapshots?resume=garbage"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(0, "/platform/1/snapshot/snapshots/nope"), "AEC_NOT_FOUND");
}

TEST_F(SnapshotModuleTest, JobAndChangeListRefusals) {
  Snap("/ifs/x", "x1");
  Snap("/ifs/y", "y1");
  Snap("/ifs/x", "x2");
  const std::string jobs = "/platform/3/job/jobs";
  auto body = [](const std::string& params) {
    return R"({"type":"ChangelistCreate","allow_dup":true,"changelistcreate_params":)" + params + "}";
  };
  EXPECT_EQ(Refusal(1, jobs, R"({"type":"TreeDelete"})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, jobs, body(R"({"older_snapid":1,"newer_snapid":2})")), "AEC_BAD_REQUEST");  // two paths
  EXPECT_EQ(Refusal(1, jobs, body(R"({"older_snapid":3,"newer_snapid":1})")), "AEC_BAD_REQUEST");  // wrong order
  EXPECT_EQ(Refusal(1, jobs, body(R"({"older_snapid":1,"newer_snapid":9})")), "AEC_NOT_FOUND");
  EXPECT_EQ(Refusal(1, jobs, body(R"({"older_snapid":-1,"newer_snapid":3})")), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(1, jobs, body(R"({"older_snapid":1.5,"newer_snapid":3})")), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(0, jobs + "/77"), "AEC_NOT_FOUND");
  EXPECT_EQ(Refusal(0, jobs + "/99999999999999999999999"), "AEC_NOT_FOUND");

  // Without allow_dup a second job for the same pair waits for the first.
  snaps().setJobPlan({{"running"}, "succeeded", 0});
  const std::string single = R"({"type":"ChangelistCreate","changelistcreate_params":{"older_snapid":1,"newer_snapid":3}})";
  EXPECT_EQ(Refusal(1, jobs, single), "");
  EXPECT_EQ(Refusal(1, jobs, single), "AEC_CONFLICT");
  EXPECT_EQ(Refusal(0, "/platform/3/snapshot/changelists/1_3/lins"), "AEC_NOT_FOUND");  // not finished yet
  bool ok = false;
  EXPECT_EQ(Send(0, jobs + "/1", "", ok)["jobs"][0]["state"], "running");
  EXPECT_EQ(Send(0, jobs + "/1", "", ok)["jobs"][0]["state"], "succeeded");
  EXPECT_EQ(Send(0, jobs, "", ok)["total"], 1);

  // A token names its change list.
  ASSERT_EQ(ifs().Generate("/ifs/x/many", 30, 0), isim::ns::Status::kOk);
  Snap("/ifs/x", "x3");
  unsigned long long older = 1, newer = 4;
  ASSERT_FALSE(session().CreateSnapshotChangeList(older, newer, true).IsError());
  const json page = Send(0, "/platform/3/snapshot/changelists/1_4/lins?limit=10", "", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(page["lins"].size(), 10u);
  EXPECT_EQ(page["total"], 31);
  const std::string token = page["resume"].get<std::string>();
  EXPECT_EQ(Refusal(0, "/platform/3/snapshot/changelists/1_3/lins?resume=" + token), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(0, "/platform/3/snapshot/changelists/1_4/lins?resume=" + token), "");

  EXPECT_EQ(Refusal(2, "/platform/3/job/types/ChangelistCreate", R"({"enabled":"no"})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(2, "/platform/3/job/types/ChangelistCreate", R"({"colour":1})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(2, "/platform/3/job/types/ChangelistCreate", R"({"priority":11})"), "AEC_BAD_REQUEST");
  EXPECT_EQ(Refusal(2, "/platform/3/job/types/ChangelistCreate", R"({"priority":3,"policy":"MEDIUM"})"), "");
  EXPECT_EQ(snaps().jobType().priority, 3);
  EXPECT_EQ(snaps().jobType().policy, "MEDIUM");
}

}  // namespace
