// Every reply reader, fed through the real transport by the simulator's `replace` fault: a
// reply is read whole or not at all. Each reader's whole reply succeeds; the same reply cut
// short at each kind of place, followed by other text, nested one level too deep, holding a
// number out of every range, or with entries that are not records fails with a code and a
// message, and hands out nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "json/Whole.h"
#include "sim/namespace/NamespaceModule.h"
#include "tests/support/Isilonctl.h"
#include "tests/support/ModuleSession.h"

namespace {

using isim::Fault;

// What an operation handed out, flattened, and whether it succeeded.
struct Outcome {
  bool ok = false;
  std::string out;
};

using Run = std::function<Outcome(ManageIsilon&)>;

Outcome FromZem(const CZemError& error, std::string out) { return {!error.IsError(), std::move(out)}; }

template <typename T, typename F>
std::string Join(const T& items, F field) {
  std::string out;
  for (const auto& item : items) out += field(item) + ",";
  return out;
}

struct Reader {
  const char* name;
  const char* method;
  const char* path;   // the fault's path prefix
  int status;         // of the reply under test
  std::string whole;  // one whole reply of the reader's shape
  std::string last;   // a last page to end a walk that follows the whole reply's token, or ""
  std::string key;    // the member holding the entries, or "" for a bare array reply
  Run run;
  std::string wholeOut;  // what the whole reply hands out
  std::string noneOut;   // what a failure leaves
  std::string emptyOut;  // what a whole reply without entries hands out ("-": it fails)
};

const char kEntry[] = R"({"name":"a1","owner":"u","mode":"0644","type":"object","size":12,"mtime_val":1700000000})";
const char kItem[] = R"({"id":"41","path":"/ifs/a","size":12,"type":"file","atime":{"sec":11,"nsec":0},)"
                     R"("ctime":{"sec":12,"nsec":0},"mtime":{"sec":13,"nsec":0}})";

std::vector<Reader> Readers() {
  const auto files = [](ManageIsilon& s) {
    std::vector<_IsilonFileInfo> files;
    std::string resume;
    const bool ok = s.GetFileList(files, "/ifs/data", resume, 10);
    return Outcome{ok, Join(files, [](const _IsilonFileInfo& f) { return f.strName + ":" + std::to_string(f.nSize); }) +
                           "|" + resume};
  };
  const auto changes = [](ManageIsilon& s) {
    unsigned long long older = 10, newer = 12;
    _IsilonChangeListInfo info;
    const CZemError error = s.GetSnapshotChangeList(older, newer, info);
    return FromZem(error, Join(info.lstItems,
                               [](const _IsilonChangeListItem& i) {
                                 return i.strPath + ":" + std::to_string(i.nSize) + ":" + std::to_string(i.nMtime);
                               }) +
                              "|" + info.strResume + "|" + std::to_string(info.nTotal));
  };
  std::vector<Reader> readers = {
      {"listing", "GET", "/namespace", 200,
       std::string(R"({"children":[)") + kEntry + "," + kEntry + R"(],"resume":"tok1"})", "", "children", files,
       "a1:12,a1:12,|tok1", "|", "|"},
      {"listing, token first", "GET", "/namespace", 200,
       std::string(R"({"resume":"tok1","children":[)") + kEntry + "," + kEntry + "]}", "", "children", files,
       "a1:12,a1:12,|tok1", "|", "|"},
      {"change list", "GET", "/platform/3/snapshot/changelists", 200,
       std::string(R"({"lins":[)") + kItem + R"(],"resume":"tok2","total":1})", "", "lins", changes,
       "/ifs/a:12:13,|tok2|1", "||0", "||0"},
      {"change list, token first", "GET", "/platform/3/snapshot/changelists", 200,
       std::string(R"({"resume":"tok2","total":1,"lins":[)") + kItem + "]}", "", "lins", changes,
       "/ifs/a:12:13,|tok2|1", "||0", "||0"},
      {"snapshots", "GET", "/platform/1/snapshot/snapshots", 200,
       R"({"snapshots":[{"name":"s1","id":11,"path":"/ifs/a","state":"active","size":10,"created":1700000000,)"
       R"("has_locks":false}],"resume":"tok3","total":2})",
       R"({"snapshots":[],"total":2})", "snapshots",
       [](ManageIsilon& s) {
         std::vector<_IsilonSnapInfo> snaps;
         const bool ok = s.GetSnapshotList(snaps, "", "");
         return Outcome{ok,
                        Join(snaps, [](const _IsilonSnapInfo& i) { return i.strName + ":" + std::to_string(i.nId); })};
       },
       "s1:11,", "", ""},
      {"shares", "GET", "/platform/1/protocols/smb/shares", 200,
       R"({"shares":[{"name":"data","path":"/ifs/data","description":"d","zid":1,"permissions":[{"permission":"full",)"
       R"("permission_type":"allow","trustee":{"id":"SID:S-1-1-0","name":"Everyone","type":"wellknown"}}],)"
       R"("run_as_root":[]}],"resume":"tok4"})",
       R"({"shares":[]})", "shares",
       [](ManageIsilon& s) {
         std::vector<_IsilonShareInfo> shares;
         const bool ok = s.GetCIFSSharesList(shares, "", "", "");
         return Outcome{ok, Join(shares, [](const _IsilonShareInfo& i) {
                          return i.strName + ":" + std::to_string(i.ACLs.vPermissions.size());
                        })};
       },
       "data:1,", "", ""},
      {"exports", "GET", "/platform/1/protocols/nfs/exports", 200,
       R"({"exports":[{"id":31,"paths":["/ifs/a"],"clients":[],"read_only":false,"all_dirs":true}],"resume":"tok5"})",
       R"({"exports":[]})", "exports",
       [](ManageIsilon& s) {
         std::vector<_IsilonNFSExportInfo> exports;
         const bool ok = s.GetNFSExportList(exports, 0, "", "");
         return Outcome{ok, Join(exports, [](const _IsilonNFSExportInfo& i) {
                          return std::to_string(i.nId) + ":" + (i.vPaths.empty() ? "" : i.vPaths[0]);
                        })};
       },
       "31:/ifs/a,", "", ""},
      {"policies", "GET", "/platform/1/sync/policies", 200,
       R"({"policies":[{"name":"p1","id":"abc","enabled":true,"target_host":"h","target_snapshot_expiration":60}],)"
       R"("resume":"tok6"})",
       R"({"policies":[]})", "policies",
       [](ManageIsilon& s) {
         std::vector<_IsilonSyncIQPolicyInfo> policies;
         const bool ok = s.GetAllSyncIQPolicies(policies);
         return Outcome{ok, Join(policies, [](const _IsilonSyncIQPolicyInfo& i) { return i.strName + ":" + i.strId; })};
       },
       "p1:abc,", "", ""},
      {"jobs", "GET", "/platform/1/sync/jobs", 200,
       R"({"jobs":[{"job_id":71,"policy_name":"p1","state":"running","error":""}],"resume":null})", "", "jobs",
       [](ManageIsilon& s) {
         _IsilonSyncIQJobInfo job;
         const bool ok = s.GetSyncIQJobInfo(job, "p1", SYNCIQ_JOB_STATE_RUNNING);
         return Outcome{ok, std::to_string(job.nJobId)};
       },
       "71", "0", "-"},
      {"reports", "GET", "/platform/1/sync/reports", 200,
       R"({"reports":[{"job_id":71,"state":"finished","bytes_transferred":52,"duration":3,"error":"",)"
       R"("target_snapshots":["t1"]}],"resume":null})",
       "", "reports",
       [](ManageIsilon& s) {
         _IsilonSyncIQJobReportInfo report;
         const bool ok = s.GetSyncIQJobReport(report, 71, "p1", SYNCIQ_JOB_STATE_NONE);
         return Outcome{ok, std::to_string(report.nJobId) + ":" + report.strTargetSnapshot};
       },
       "71:t1", "0:", "-"},
      {"zones", "GET", "/platform/3/zones", 200,
       R"({"zones":[{"name":"System","path":"/ifs","zone_id":17,"system":true}]})", "", "zones",
       [](ManageIsilon& s) {
         std::vector<_IsilonAccessZoneInfo> zones;
         const CZemError error = s.GetAccessZonesList(zones);
         return FromZem(error, Join(zones, [](const _IsilonAccessZoneInfo& z) {
                          return z.strName + ":" + std::to_string(z.nZoneId);
                        }));
       },
       "System:17,", "", ""},
      {"versions", "GET", "/platform/3/cluster/version", 200,
       R"({"nodes":[{"build":"b","id":13,"release":"8.0","revision":"r","type":"t","version":"v8"}],"total":1})", "",
       "nodes",
       [](ManageIsilon& s) {
         std::vector<_IsilonVersionInfo> nodes;
         const CZemError error = s.GetVersionInfo(nodes);
         return FromZem(error, Join(nodes, [](const _IsilonVersionInfo& n) {
                          return n.strVersion + ":" + std::to_string(n.nId);
                        }));
       },
       "v8:13,", "", ""},
      {"attributes", "GET", "/namespace", 200,
       R"({"attrs":[{"name":"name","value":"data"},{"name":"size","value":12}]})", "", "attrs",
       [](ManageIsilon& s) {
         _IsilonFileInfo info;
         info.strName = "kept";
         const bool ok = s.GetPathAttributes(info, "/ifs/data");
         return Outcome{ok, info.strName + ":" + std::to_string(info.nSize)};
       },
       "data:12", "kept:0", ":0"},
      // The description's form: every value a text.
      {"attributes as text", "GET", "/namespace", 200,
       R"({"attrs":[{"name":"name","value":"data"},{"name":"size","value":"12"},{"name":"mtime_val","value":"x"}]})",
       "", "attrs",
       [](ManageIsilon& s) {
         _IsilonFileInfo info;
         const bool ok = s.GetPathAttributes(info, "/ifs/data");
         return Outcome{ok, info.strName + ":" + std::to_string(info.nSize) + ":" + std::to_string(info.nMtime)};
       },
       "data:12:0", ":0:0", ":0:0"},
      {"job type", "GET", "/platform/3/job/types/ChangelistCreate", 200,
       R"({"types":[{"allow_multiple_instances":false,"enabled":true,"policy":"LOW","priority":15}]})", "", "types",
       [](ManageIsilon& s) {
         _ChangeListCreateJobInfo info;
         const CZemError error = s.GetChangeListJobInfo(info);
         return FromZem(error, info.strPolicy + ":" + std::to_string(info.nPriority));
       },
       "LOW:15", ":0", ":0"},
      {"external addresses", "GET", "/platform/1/cluster/external-ips", 200, R"(["10.0.0.1","::5","10.0.0.9"])", "", "",
       [](ManageIsilon& s) {
         std::vector<std::string> ips;
         const bool ok = s.GetExternalIPs(ips);
         return Outcome{ok, Join(ips, [](const std::string& ip) { return ip; })};
       },
       "10.0.0.1,::5,10.0.0.9,", "", ""},
      {"export create", "POST", "/platform/1/protocols/nfs/exports", 200, R"({"id":57,"paths":["/ifs/a"]})", "", "",
       [](ManageIsilon& s) {
         unsigned int id = 0;
         _IsilonNFSPermissions permissions;
         const bool ok = s.CreateNFSExport(id, {"/ifs/a"}, permissions, "", "", false, false);
         return Outcome{ok, std::to_string(id)};
       },
       "57", "0", ""},
      {"change list create", "POST", "/platform/3/job/jobs", 200, R"({"id":57,"state":"running"})", "", "",
       [](ManageIsilon& s) {
         unsigned long long older = 10, newer = 12;
         return FromZem(s.CreateSnapshotChangeList(older, newer, /*wait=*/false), "");
       },
       "", "", ""},
      {"copy", "PUT", "/namespace/ifs/b", 200, R"({"success":true,"note":"done"})", "", "",
       [](ManageIsilon& s) {
         return Outcome{s.CopyFileOrDirectory("/ifs/a", "/ifs/b", false), ""};
       },
       "", "", ""},
      // An error reply read whole says the share is gone already; one cut short says nothing.
      {"error reply", "DELETE", "/platform/1/protocols/smb/shares", 404,
       R"({"errors":[{"code":"AEC_NOT_FOUND","message":"gone"}]})", "", "",
       [](ManageIsilon& s) {
         return Outcome{s.DeleteCIFSShare("data", "/ifs/data", ""), ""};
       },
       "", "", ""},
  };
  return readers;
}

// Where a reply is cut, by kind of place: the first place of each kind that the reply has.
std::vector<std::pair<std::string, size_t>> CutPlaces(const std::string& body) {
  std::vector<std::pair<std::string, size_t>> places;
  const auto add = [&](const char* kind, size_t at, size_t offset) {
    if (at != std::string::npos) places.emplace_back(kind, at + offset);
  };
  add("inside a key", body.find("{\""), 3);
  add("inside a string value", body.find(":\""), 3);
  size_t number = body.find_first_of("0123456789");
  while (number != std::string::npos && !(body[number + 1] >= '0' && body[number + 1] <= '9')) {
    number = body.find_first_of("0123456789", number + 1);
  }
  add("inside a number", number, 1);
  add("between members", body.find(",\""), 1);
  add("between elements", body.find("},{"), 2);
  add("inside the token", body.find("\"resume\":\""), 11);
  add("after an opening bracket", body.find('['), 1);
  add("just before the end", body.size() - 1, 0);
  add("at the start", 0, 1);
  return places;
}

class WholeReplyTest : public ModuleSession {
 protected:
  WholeReplyTest() : ModuleSession("127.0.0.150") {}

  // `body` as the reader's reply (and its last page after it, when it has one), then the run.
  Outcome Serve(const Reader& reader, const std::string& body, bool withLast = true) {
    server().faults().clear();
    server().faults().add(Fault::replace(reader.path, reader.status, body).on(reader.method));
    if (withLast && !reader.last.empty())
      server().faults().add(Fault::replace(reader.path, 200, reader.last).on("GET"));
    return reader.run(session());
  }

  void ExpectFails(const Reader& reader, const std::string& body, const std::string& what) {
    const Outcome outcome = Serve(reader, body);
    EXPECT_FALSE(outcome.ok) << reader.name << ", " << what << ": " << body;
    EXPECT_EQ(outcome.out, reader.noneOut) << reader.name << ", " << what;
    const auto error = LastError();
    EXPECT_FALSE(error.first.empty()) << reader.name << ", " << what;
    EXPECT_FALSE(error.second.empty()) << reader.name << ", " << what;
  }
  void ExpectWhole(const Reader& reader, const std::string& body, const std::string& what) {
    const Outcome outcome = Serve(reader, body);
    EXPECT_TRUE(outcome.ok) << reader.name << ", " << what << ": " << body << " " << LastMessage();
    EXPECT_EQ(outcome.out, reader.wholeOut) << reader.name << ", " << what;
  }
};

TEST_F(WholeReplyTest, EveryReaderTakesTheWholeReplyAndNoPrefixOfIt) {
  for (const Reader& reader : Readers()) {
    ExpectWhole(reader, reader.whole, "whole");
    // White space after the value is still the whole reply; anything else is not.
    ExpectWhole(reader, reader.whole + " \r\n", "white space after");
    ExpectFails(reader, reader.whole + "x", "text after");
    ExpectFails(reader, reader.whole + reader.whole, "two values");
    const auto places = CutPlaces(reader.whole);
    EXPECT_GE(places.size(), 4u) << reader.name;
    for (const auto& place : places) ExpectFails(reader, reader.whole.substr(0, place.second), place.first);
  }
}

TEST_F(WholeReplyTest, EveryCutOfTheListingAndChangeListPagesFails) {
  // The in-place page readers, at every length short of the whole reply.
  for (const Reader& reader : Readers()) {
    if (reader.path != std::string("/namespace") && reader.key != "lins") continue;
    if (reader.key == "attrs") continue;
    for (size_t length = 0; length < reader.whole.size(); ++length) {
      const Outcome outcome = Serve(reader, reader.whole.substr(0, length));
      EXPECT_FALSE(outcome.ok) << reader.name << " cut at " << length;
      EXPECT_EQ(outcome.out, reader.noneOut) << reader.name << " cut at " << length;
    }
  }
}

TEST_F(WholeReplyTest, EntriesThatAreNotRecordsFailAndMissingEntriesStayEmpty) {
  for (const Reader& reader : Readers()) {
    if (reader.key.empty()) continue;
    const std::string key = "\"" + reader.key + "\":";
    ExpectFails(reader, "{" + key + "[1,2]}", "numbers for entries");
    ExpectFails(reader, "{" + key + "[\"a\"]}", "a text for an entry");
    ExpectFails(reader, "{" + key + "\"x\"}", "a text for the entries");
    ExpectFails(reader, "{" + key + "{}}", "an object for the entries");
    // A whole reply that lacks the entries, or has them null, is an empty page where the
    // reader allows one.
    for (const std::string& body : {std::string("{\"other\":1}"), "{" + key + "null}", "{" + key + "[]}"}) {
      const Outcome outcome = Serve(reader, body, /*withLast=*/false);
      if (reader.emptyOut == "-") {
        EXPECT_FALSE(outcome.ok) << reader.name << ": " << body;
        EXPECT_EQ(outcome.out, reader.noneOut) << reader.name << ": " << body;
      } else {
        EXPECT_TRUE(outcome.ok) << reader.name << ": " << body << " " << LastMessage();
        EXPECT_EQ(outcome.out, reader.emptyOut) << reader.name << ": " << body;
      }
    }
  }
  // A paging token of another kind than a text would end a walk early without a word.
  for (const Reader& reader : Readers()) {
    if (reader.whole.find("\"resume\":\"") == std::string::npos) continue;
    const size_t at = reader.whole.find("\"resume\":\"") + 9;
    const size_t end = reader.whole.find('"', at + 1) + 1;
    for (const char* token : {"5", "[]", "{}", "true"}) {
      ExpectFails(reader, reader.whole.substr(0, at) + token + reader.whole.substr(end), token);
    }
  }
}

TEST_F(WholeReplyTest, NestingAtTheReadersLimitIsReadAndOneDeeperIsNot) {
  for (const Reader& reader : Readers()) {
    if (reader.whole[0] != '{') continue;
    // The reply's own object counts as one level.
    for (int depth : {jsonxx::kMaxDepth, jsonxx::kMaxDepth + 1}) {
      const int arrays = depth - 1;
      const std::string deep =
          std::string(static_cast<size_t>(arrays), '[') + std::string(static_cast<size_t>(arrays), ']');
      const std::string body = "{\"deep\":" + deep + "," + reader.whole.substr(1);
      if (depth <= jsonxx::kMaxDepth) {
        ExpectWhole(reader, body, "nesting " + std::to_string(depth));
      } else {
        ExpectFails(reader, body, "nesting " + std::to_string(depth));
      }
    }
  }
}

TEST_F(WholeReplyTest, NumbersOutOfEveryRangeFailTheReplyWhereverTheyStand) {
  for (const Reader& reader : Readers()) {
    if (reader.whole[0] != '{') continue;
    const std::string tail = reader.whole.substr(0, reader.whole.size() - 1);
    // The largest long double is about 1.19e4932.
    ExpectWhole(reader, "{\"big\":1e4932," + reader.whole.substr(1), "1e4932 first");
    ExpectWhole(reader, tail + ",\"big\":-1e4932}", "-1e4932 last");
    ExpectFails(reader, "{\"big\":2e5000," + reader.whole.substr(1), "2e5000 first");
    ExpectFails(reader, tail + ",\"big\":2e5000}", "2e5000 last");
    ExpectFails(reader, tail + ",\"big\":1.2e4932}", "1.2e4932 last");
  }
  // In an entry, before and after the token.
  for (const Reader& reader : Readers()) {
    if (reader.key != "children" && reader.key != "lins") continue;
    std::string body = reader.whole;
    body.replace(body.find("\"size\":12"), 9, "\"size\":2e5000");
    ExpectFails(reader, body, "an entry's size of 2e5000");
  }
}

// Every member of `value` and of the records and lists in it, as JSON pointers.
void MemberPointers(const nlohmann::ordered_json& value, const nlohmann::ordered_json::json_pointer& at,
                    std::vector<nlohmann::ordered_json::json_pointer>& out) {
  if (value.is_object()) {
    for (const auto& member : value.items()) {
      out.push_back(at / member.key());
      MemberPointers(member.value(), at / member.key(), out);
    }
  } else if (value.is_array()) {
    for (size_t i = 0; i < value.size(); ++i) MemberPointers(value[i], at / i, out);
  }
}

TEST_F(WholeReplyTest, AMemberThatIsNullReadsAsIfItWereAbsent) {
  // A cluster's reply may hold null wherever its description allows it (job ids, durations,
  // end times, names, counters): each reader takes it as it takes the member left out. Neither,
  // nor a member of another kind, may put a word on the host's standard error.
  for (const Reader& reader : Readers()) {
    const nlohmann::ordered_json whole = nlohmann::ordered_json::parse(reader.whole);
    std::vector<nlohmann::ordered_json::json_pointer> members;
    MemberPointers(whole, nlohmann::ordered_json::json_pointer(), members);
    if (whole.is_object()) {
      EXPECT_FALSE(members.empty()) << reader.name;
    }
    for (const auto& member : members) {
      nlohmann::ordered_json withNull = whole, without = whole;
      withNull[member] = nullptr;
      without[member.parent_pointer()].erase(member.back());
      // A reply of no members at all is refused whole: another member keeps it a reply.
      if (whole.is_object()) withNull["other"] = without["other"] = 1;
      nlohmann::ordered_json withOther = withNull;
      withOther[member] = nlohmann::ordered_json::array({nlohmann::ordered_json::object({{"x", 1}})});
      testing::internal::CaptureStderr();
      const Outcome absent = Serve(reader, without.dump());
      const auto absentError = LastError();
      const Outcome null = Serve(reader, withNull.dump());
      const auto nullErrorAsGiven = LastError();
      Serve(reader, withOther.dump());
      const std::string said = testing::internal::GetCapturedStderr();
      EXPECT_EQ(said.find("[JSONXX]"), std::string::npos) << reader.name << " " << member.to_string() << ": " << said;
      EXPECT_EQ(null.ok, absent.ok) << reader.name << " " << member.to_string() << ": " << withNull.dump();
      EXPECT_EQ(null.out, absent.out) << reader.name << " " << member.to_string();
      // A message that quotes the reply quotes its own.
      std::pair<std::string, std::string> nullError = nullErrorAsGiven;
      const size_t quoted = nullError.second.find(withNull.dump());
      if (quoted != std::string::npos) nullError.second.replace(quoted, withNull.dump().size(), without.dump());
      EXPECT_EQ(nullError, absentError) << reader.name << " " << member.to_string();
    }
  }
}

TEST_F(WholeReplyTest, ACutPageIsReportedWithItsTextAndCanBeAskedForAgain) {
  // Cut inside the token: the walk must neither end here nor lose the page it asked for.
  const std::string whole = Readers().front().whole;
  const std::string cut = whole.substr(0, whole.size() - 4);
  std::vector<_IsilonFileInfo> files(3);
  std::string resume = "prev";
  server().faults().add(Fault::replace("/namespace", 200, cut));
  EXPECT_FALSE(session().GetFileList(files, "/ifs/data", resume, 10));
  ExpectLastError("Internal Error", "Failed to parse json response:[" + cut + "]");
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(resume, "prev");

  unsigned long long older = 10, newer = 12;
  _IsilonChangeListInfo info;
  info.strResume = "prev";
  info.nTotal = 7;
  info.lstItems.resize(2);
  server().faults().add(Fault::replace("/platform/3/snapshot/changelists", 200, R"({"lins":[],"total":1,"resume":"n)"));
  EXPECT_TRUE(session().GetSnapshotChangeList(older, newer, info).IsError());
  EXPECT_EQ(LastCode(), "Internal Error");
  EXPECT_EQ(Pipe(info.strResume, info.nTotal, info.lstItems.size()), "prev|7|0");
}

TEST_F(WholeReplyTest, IsilonctlFindIsCompleteOnlyWhenEveryPageWasWhole) {
  if (!IsilonctlBuilt()) GTEST_SKIP() << "isilonctl is not built";
  ASSERT_EQ(module<isim::NamespaceModule>().tree().Generate("/ifs/many", 3000, 0, 10), isim::ns::Status::kOk);
  const CtlTarget target{address(), user(), password(), certPath()};
  // The first page of a directory of 3000 files, as the server sends it: one entry and no next
  // page is a whole (if short) listing; one byte less, or a token cut short, is none.
  const std::string whole =
      R"({"children":[{"name":"f0000000","type":"object","size":10,"mtime_val":1}],"resume":null})";
  struct Case {
    std::string page;
    bool complete;
  } const cases[] = {
      {whole, true},
      {whole.substr(0, whole.size() - 1), false},
      {whole.substr(0, whole.find("null")) + "\"1", false},
  };
  for (const Case& c : cases) {
    server().faults().clear();
    server().faults().add(Fault::replace("/namespace/ifs/many", 200, c.page).on("GET").count(1));
    const CtlRun run = RunIsilonctl(target, {"--json", "find", "/ifs/many"});
    const nlohmann::json out = run.Json();
    ASSERT_TRUE(out.is_object()) << c.page << ": " << run.out << run.err;
    EXPECT_EQ(out["complete"], c.complete) << c.page << ": " << run.err;
    EXPECT_EQ(run.exitCode == 0, c.complete) << c.page << ": " << run.err;
    EXPECT_TRUE(!c.complete || out["count"] == 1) << c.page << ": " << out["count"];
  }
}

TEST_F(WholeReplyTest, AnErrorReplyWithoutACodeStillGivesAReason) {
  struct Op {
    const char* name;
    const char* method;
    const char* path;
    std::function<bool(ManageIsilon&)> run;
  } const ops[] = {
      {"login", "POST", "/session/1/session",
       [](ManageIsilon& s) {
         s.CloseConnection();
         return s.OpenConnection();
       }},
      {"share create", "POST", "/platform/1/protocols/smb/shares",
       [](ManageIsilon& s) { return s.CreateCIFSShare("x", "/ifs/data", "", ""); }},
      {"listing", "GET", "/namespace",
       [](ManageIsilon& s) {
         std::vector<_IsilonFileInfo> files;
         std::string resume;
         return s.GetFileList(files, "/ifs/data", resume, 10);
       }},
      {"change list create", "POST", "/platform/3/job/jobs",
       [](ManageIsilon& s) {
         unsigned long long older = 10, newer = 12;
         return !s.CreateSnapshotChangeList(older, newer, /*wait=*/false).IsError();
       }},
  };
  // Each side of "the reply names a reason": a code and a message are passed on as they are.
  const std::string named = R"({"errors":[{"code":"AEC_X","message":"said"}]})";
  for (const Op& op : ops) {
    for (const std::string& body :
         {named, std::string(R"({"message":"only a message"})"), std::string(R"({"errors":[{}]})"),
          std::string(R"({"other":1})"), std::string("{}"), std::string(), std::string("<html>")}) {
      server().faults().clear();
      server().faults().add(Fault::replace(op.path, 500, body).on(op.method));
      EXPECT_FALSE(op.run(session())) << op.name << ": " << body;
      const auto error = LastError();
      EXPECT_FALSE(error.first.empty()) << op.name << ": " << body;
      EXPECT_FALSE(error.second.empty()) << op.name << ": " << body;
      EXPECT_TRUE(body != named || error == std::make_pair(std::string("AEC_X"), std::string("said"))) << op.name;
    }
  }
}

TEST(WholeJson, TheWholeReaderTakesOneValueAndNothingElse) {
  struct Case {
    std::string text;
    bool object, array;
  } const cases[] = {
      {R"({"a":[1,{"b":"c"}],"d":null})", true, false},
      {R"( ["x", 2, {"y": true}] )", false, true},
      {"{} // a comment after the value\n", true, false},
      {R"({"a":1,})", true, false},  // the lenient grammar's trailing comma stays
      {R"({"a":1}})", false, false},
      {R"([1]])", false, false},
      {R"({"a":1} {"b":2})", false, false},
      {"", false, false},
      {"   ", false, false},
      {R"("text")", false, false},
  };
  for (const Case& c : cases) {
    jsonxx::Object object;
    jsonxx::Array array;
    EXPECT_EQ(jsonxx::ParseWhole(c.text, object), c.object) << c.text;
    EXPECT_EQ(jsonxx::ParseWhole(c.text, array), c.array) << c.text;
    EXPECT_TRUE(c.object || object.empty()) << c.text;
    EXPECT_TRUE(c.array || array.empty()) << c.text;
  }
  // Every prefix of a whole value fails and leaves nothing.
  const std::string whole = R"({"k":"v","n":-12.5e1,"l":[true,false,null],"o":{"p":"\u00e9"}})";
  for (size_t length = 0; length < whole.size(); ++length) {
    jsonxx::Object object;
    EXPECT_FALSE(jsonxx::ParseWhole(whole.substr(0, length), object)) << length;
    EXPECT_TRUE(object.empty()) << length;
  }
  jsonxx::Object object;
  ASSERT_TRUE(jsonxx::ParseWhole(whole, object));
  EXPECT_EQ(object.size(), 4u);
  // A NUL after the value is text after it.
  EXPECT_FALSE(jsonxx::ParseWhole(whole + std::string(1, '\0'), object));
}

}  // namespace
