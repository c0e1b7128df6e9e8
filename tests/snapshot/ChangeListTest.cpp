// Change-list jobs, waiting for them, reading change lists and the job type's settings,
// through the real transport against the simulator.
#include <map>
#include <string>
#include <vector>

#include "sim/core/Faults.h"
#include "tests/snapshot/SnapshotSim.h"

namespace {

using isim::ns::NewEntry;
using isim::ns::Status;

// A failure numbered `number` whose message holds `part`.
void ExpectError(const CZemError& error, int number, const std::string& part) {
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Number(), number);
  EXPECT_NE(error.Message().find(part), std::string::npos) << error.Message();
}

class ChangeListTest : public SnapshotSim {
 protected:
  ChangeListTest() : SnapshotSim("127.0.0.51") {}

  void SetUp() override {
    SnapshotSim::SetUp();
    if (HasFatalFailure()) return;
    NewEntry file;
    file.size = 100;
    file.mtime = 1700000000;
    ASSERT_EQ(ifs().AddDirectory("/ifs/data/sub", NewEntry(), /*parents=*/true), Status::kOk);
    for (const char* name : {"keep", "gone", "same"}) {
      ASSERT_EQ(ifs().AddFile("/ifs/data/" + std::string(name) + ".txt", file), Status::kOk);
    }
  }

  // Snapshots "old" and "new" of /ifs/data around `change`; their ids in older_ and newer_.
  template <class Change>
  void TwoSnapshots(Change change) {
    int id = 0;
    ASSERT_TRUE(session().CreateSnapshot("/ifs/data", "old", id));
    change();
    ASSERT_TRUE(session().CreateSnapshot("/ifs/data", "new", id));
    older_ = static_cast<unsigned long long>(snaps().snapshotId("old"));
    newer_ = static_cast<unsigned long long>(snaps().snapshotId("new"));
  }
  void SimpleChanges() {
    TwoSnapshots([this] {
      NewEntry added;
      added.size = 7;
      ASSERT_EQ(ifs().AddFile("/ifs/data/sub/new.txt", added), Status::kOk);
      ASSERT_EQ(ifs().Remove("/ifs/data/gone.txt", /*recursive=*/false), Status::kOk);
      ASSERT_EQ(ifs().Modify("/ifs/data/keep.txt", [](isim::ns::Entry& e) { e.size = 5000; }), Status::kOk);
    });
  }

  void SetPlan(std::vector<std::string> states, const std::string& outcome) {
    isim::SnapshotModule::JobPlan plan;
    plan.states = std::move(states);
    plan.outcome = outcome;
    snaps().setJobPlan(plan);
  }

  // Every page of the change list; the URIs sent are checked by the callers.
  std::vector<_IsilonChangeListItem> WalkAll(size_t* pages = nullptr) {
    std::vector<_IsilonChangeListItem> all;
    _IsilonChangeListInfo info;
    size_t n = 0;
    do {
      const CZemError error = session().GetSnapshotChangeList(older_, newer_, info);
      EXPECT_FALSE(error.IsError()) << error.ToString();
      if (error.IsError()) break;
      EXPECT_LE(info.lstItems.size(), 1000u);  // each page replaces the one before
      all.insert(all.end(), info.lstItems.begin(), info.lstItems.end());
      ++n;
    } while (!info.strResume.empty() && n < 100);
    if (pages) *pages = n;
    return all;
  }

  unsigned long long older_ = 0;
  unsigned long long newer_ = 0;
};

TEST_F(ChangeListTest, WaitsThroughRunningAndPausedThenListsTheRealDifferences) {
  SimpleChanges();
  SetPlan({"running", "paused_user", "running"}, "succeeded");
  const CZemError error = session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_EQ(sleeps().size(), 4u);                              // one 2-second sleep before every poll
  EXPECT_EQ(Sent("POST", "/platform/3/job/jobs").size(), 1u);  // its bytes: RequestsTest
  EXPECT_EQ(Sent("GET", "/platform/3/job/jobs/1").size(), 4u);

  const auto items = WalkAll();
  std::map<std::string, std::string> byPath;  // path -> type|size|mtime, the last only for files kept
  for (const auto& item : items) {
    byPath[item.strPath] = item.strType + "|" + std::to_string(item.nSize) + "|" +
                           (item.strPath == "/ifs/data/sub/new.txt" ? "" : std::to_string(item.nMtime));
  }
  EXPECT_FALSE(items.at(0).strId.empty());
  EXPECT_EQ(byPath, (std::map<std::string, std::string>{{"/ifs/data/gone.txt", "regular|100|1700000000"},
                                                        {"/ifs/data/keep.txt", "regular|5000|1700000000"},
                                                        {"/ifs/data/sub/new.txt", "regular|7|"}}));
  EXPECT_EQ(Sent("GET", "/platform/3/snapshot/changelists/").at(0).target,
            "/platform/3/snapshot/changelists/" + std::to_string(older_) + "_" + std::to_string(newer_) + "/lins");

  // Without waiting: one more job started, and no poll.
  server().requestLog().clear();
  SetPlan({}, "never");
  ASSERT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/false).IsError());
  EXPECT_EQ(sleeps().size(), 4u);
  EXPECT_EQ(Sent("POST", "/platform/3/job/jobs").size(), 1u);
  EXPECT_TRUE(Sent("GET", "/platform/3/job/jobs").empty());
}

TEST_F(ChangeListTest, FinishedStatesOtherThanSuccessFailAtOnce) {
  SimpleChanges();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"running"}, "failed"}, {{}, "paused"}, {{"Running"}, "succeeded"}};
  for (const auto& c : cases) {
    SetPlan(c.first, c.second);
    const size_t before = sleeps().size();
    const std::string state = c.first.empty() || c.first[0] == "running" ? c.second : c.first[0];
    ExpectError(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true), 774,
                "status reported[" + state + "], return failure");
    EXPECT_EQ(sleeps().size() - before, c.first.empty() || c.first[0] != "running" ? 1u : 2u);
  }
  server().replyProblems().clear();  // "paused" and "Running" were planted outside the described states
}

TEST_F(ChangeListTest, ConfiguredLimitEndsTheWaitOnAJobThatNeverFinishes) {
  SimpleChanges();
  SetPlan({}, "never");
  // Two-second polls until the time waited reaches the limit: odd and even limits, 1 still
  // allowing the first poll.
  const struct {
    int limit;
    size_t polls;
  } rows[] = {{5, 3}, {6, 3}, {4, 2}, {1, 1}};
  for (const auto& row : rows) {
    SetTarvex("IsilonChangeListGenerationWaitTime=" + std::to_string(row.limit) + "\n");
    const size_t before = sleeps().size();
    ExpectError(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true), 774,
                "status reported[running]. ChangeListCreate job could not complete in [" + std::to_string(row.limit) +
                    "]seconds");
    EXPECT_EQ(sleeps().size() - before, row.polls) << row.limit;
  }
  // A negative limit means 900 seconds.
  SetTarvex("IsilonChangeListGenerationWaitTime=-5\n");
  SetPlan(std::vector<std::string>(10, "paused_system"), "succeeded");
  const CZemError error = session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true);
  EXPECT_FALSE(error.IsError()) << error.ToString();
}

TEST_F(ChangeListTest, StartAndPollFailures) {
  SimpleChanges();
  // Job id 0 in a success reply: a failure whose reason is the reply.
  server().faults().add(isim::Fault::replace("/platform/3/job/jobs", 201, R"({"id":0})").on("POST"));
  CZemError error = session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true);
  EXPECT_EQ(error.Number(), -1);
  const std::string reason = R"(Json response :[{"id":0}] does not include any errors.)";
  EXPECT_EQ(error.Message(), "Unable to send request to create a new change list between snapshots [" +
                                 std::to_string(older_) + "] and [" + std::to_string(newer_) +
                                 "]. Error Code [Internal error], Error Message [" + reason + "]");
  ExpectLastError("Internal error", reason);

  unsigned long long missing = 999;
  EXPECT_TRUE(session().CreateSnapshotChangeList(older_, missing, /*wait=*/false).IsError());
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");

  server().faults().add(isim::Fault::error("/platform/3/job/jobs/", 500, "AEC_SYSTEM_INTERNAL_ERROR", "down"));
  ExpectError(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true), 774,
              "Unable to get ChangeLisrCreate job[");
  ExpectLastError("AEC_SYSTEM_INTERNAL_ERROR", "down");

  server().faults().add(isim::Fault::replace("/platform/3/job/jobs/", 200, R"({"jobs":[]})").on("GET"));
  ExpectError(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true), 774,
              "status reported[], return failure");
}

TEST_F(ChangeListTest, LongListIsReadPageByPage) {
  TwoSnapshots([this] { ASSERT_EQ(ifs().Generate("/ifs/data/big", 2500, 5, 10), Status::kOk); });
  SetPlan({}, "succeeded");
  ASSERT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true).IsError());
  server().requestLog().clear();
  size_t pages = 0;
  const auto items = WalkAll(&pages);
  EXPECT_EQ(items.size(), 2506u);  // the files, the five directories and big itself
  EXPECT_EQ(pages, 3u);
  EXPECT_EQ(Sent("GET", "/platform/3/snapshot/changelists/").size(), 3u);  // their forms: RequestsTest
}

TEST_F(ChangeListTest, RetrievalErrorsLeaveThePageUnchanged) {
  SimpleChanges();
  _IsilonChangeListInfo info;
  info.nTotal = 42;
  EXPECT_EQ(session().GetSnapshotChangeList(older_, newer_, info).Number(), -1);  // no job yet
  EXPECT_EQ(info.nTotal, 42);
  EXPECT_EQ(LastCode(), "AEC_NOT_FOUND");

  SetPlan({}, "succeeded");
  ASSERT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true).IsError());
  server().faults().add(isim::Fault::replace("/platform/3/snapshot/changelists/", 200, "{}"));
  ExpectError(session().GetSnapshotChangeList(older_, newer_, info), -1, "Unable to parse change list response");
  EXPECT_EQ(info.nTotal, 42);
  EXPECT_EQ(LastMessage(), "Failed to parse json response:[{}]");

  // A token the cluster does not know is refused by it.
  info.strResume = "bogus";
  EXPECT_TRUE(session().GetSnapshotChangeList(older_, newer_, info).IsError());
  EXPECT_EQ(info.strResume, "bogus");
}

TEST_F(ChangeListTest, JobTypeSettingsReadAndSwitched) {
  _ChangeListCreateJobInfo info;
  ASSERT_FALSE(session().GetChangeListJobInfo(info).IsError());
  EXPECT_TRUE(info.bEnabled);
  EXPECT_EQ(info.nPriority, 5);
  EXPECT_EQ(info.strPolicy, "LOW");

  info.bEnabled = false;
  info.nPriority = 9;                                            // not sent
  ASSERT_FALSE(session().SetChangeListJobInfo(info).IsError());  // its bytes: RequestsTest
  EXPECT_FALSE(snaps().jobType().enabled);
  EXPECT_EQ(snaps().jobType().priority, 5);

  // A disabled job type refuses new jobs.
  SimpleChanges();
  EXPECT_EQ(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/false).Number(), -1);
  EXPECT_EQ(LastCode(), "AEC_BAD_REQUEST");

  info.bEnabled = true;
  ASSERT_FALSE(session().SetChangeListJobInfo(info).IsError());
  EXPECT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/false).IsError());

  server().faults().add(isim::Fault::error("/platform/3/job/types", 403, "AEC_FORBIDDEN", "no").count(2));
  ExpectError(session().SetChangeListJobInfo(info), 774,
              "Could not change ChangelistCreate job properties on file server[127.0.0.51]. Error[AEC_FORBIDDEN]:[no]");
  EXPECT_EQ(session().GetChangeListJobInfo(info).Number(), 774);
  server().faults().add(isim::Fault::notJson("/platform/3/job/types"));
  EXPECT_EQ(session().GetChangeListJobInfo(info).Number(), -1);
}

// The wait's observer: what it sees on each poll, and a cancel at the poll it answers false to.
TEST_F(ChangeListTest, WaitObserverSeesEachPollAndCanEndTheWait) {
  SimpleChanges();
  std::vector<std::string> seen;  // state@seconds of each call
  unsigned long long seenJob = 0;
  session().SetWaitObserver([&](const ManageIsilon::WaitProgress& p) {
    seen.push_back(p.state + "@" + std::to_string(p.secondsWaited));
    seenJob = p.jobId;
    return true;
  });
  SetPlan({"running", "paused_user", "running"}, "succeeded");
  ASSERT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true).IsError());
  // Called on the polls the wait went on from, not on the one that ended it.
  EXPECT_EQ(seen, (std::vector<std::string>{"running@2", "paused_user@4", "running@6"}));
  EXPECT_EQ(seenJob, 1u);

  // Answering false on the first poll or on the second ends the wait there.
  for (size_t cancelAt : {1u, 2u}) {
    size_t calls = 0;
    session().SetWaitObserver([&](const ManageIsilon::WaitProgress&) { return ++calls < cancelAt; });
    SetPlan({"running", "running", "running"}, "succeeded");
    server().requestLog().clear();
    const size_t before = sleeps().size();
    const CZemError error = session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true);
    ExpectError(error, 774, "status reported[running]. Wait cancelled by the caller.");
    ExpectLastError("Internal Error", "Wait cancelled by the caller.");
    EXPECT_EQ(calls, cancelAt);
    EXPECT_EQ(sleeps().size() - before, cancelAt);
    EXPECT_EQ(Sent("GET", "/platform/3/job/jobs/").size(), cancelAt);
  }

  // No observer: the wait goes to its end as without one.
  session().SetWaitObserver(nullptr);
  SetPlan({"running", "running"}, "succeeded");
  EXPECT_FALSE(session().CreateSnapshotChangeList(older_, newer_, /*wait=*/true).IsError());
  ExpectLastError("", "");
}

}  // namespace
