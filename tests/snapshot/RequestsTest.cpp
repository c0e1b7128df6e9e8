// Request forms and reply reading of the snapshot, change-list and job-type request classes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"
#include "tests/snapshot/SnapshotSim.h"

namespace {

const char kServer[] = "127.0.0.59";

bool Parse(IsilonJsonBase& request, std::string reply) { return request.ParseResponse(reply); }

TEST(SnapshotRequests, CreateBodyEscapesNameAndPath) {
  IsilonJsonSnapshotCreate request;
  request.Initialize(kServer, "/ifs/data", "daily");
  std::string uri = "x", body = "y";
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.59:8080/platform/1/snapshot/snapshots");
  EXPECT_EQ(body, R"({"path" : "/ifs/data","name" : "daily"})");

  // A quote or backslash stays inside the string instead of ending it.
  request.Initialize(kServer, "/ifs/a\\b", "x\",\"path\":\"/ifs");
  request.BuildRequest(uri, body);
  EXPECT_EQ(body, R"({"path" : "/ifs/a\\b","name" : "x\",\"path\":\"/ifs"})");
}

// Delete: the id before the name, the name encoded, no URI without either. List: the name, then
// the id, then the resume token, then the first page.
TEST(SnapshotRequests, DeleteAndListUris) {
  const std::string base = "https://127.0.0.59:8080/platform/1/snapshot/snapshots";
  const struct {
    const char* name;
    int id;
    const char* resume;
    std::string deleteUri, listUri;
  } rows[] = {
      {"daily", 42, "", base + "/42", base + "/daily"},
      {"a b/c?d#e", 0, "", base + "/a%20b/c%3Fd%23e", base + "/a%20b/c%3Fd%23e"},
      {"n&m", 7, "tok", base + "/7", base + "/n%26m"},
      {"", 7, "tok", base + "/7", base + "/7"},
      {"", 0, "a+b/c", "", base + "?resume=a+b/c"},
      {"", 0, "", "", base + "?sort=created&limit=50"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.id) + " " + row.resume);
    IsilonJsonSnapshotDelete remove;
    remove.Initialize(kServer, "/ifs/data", row.name, row.id);
    std::string uri = "x", body = "y";
    remove.BuildRequest(uri, body);
    EXPECT_EQ(uri, row.deleteUri);
    EXPECT_EQ(body, "");
    IsilonJsonSnapshotList list;
    list.Initialize(kServer, "/ifs", row.name, row.id, row.resume, 50);
    body = "y";
    list.BuildRequest(uri, body);
    EXPECT_EQ(uri, row.listUri);
    EXPECT_EQ(body, "");
  }
}

TEST(SnapshotRequests, ListPageReadsFieldsTruncatesAndRefusesEmptyObject) {
  IsilonJsonSnapshotList request;
  ASSERT_TRUE(Parse(request, R"({"snapshots":[
    {"name":"s1","id":12.9,"path":"/ifs/a","state":"active","size":4294967297,"created":1700000000,"has_locks":true},
    {"id":"not a number","path":7}],"resume":"next"})"));
  std::vector<_IsilonSnapInfo> list(5);
  ASSERT_TRUE(request.GetSnapsInfo(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(Fields(list[0]), "s1|12|/ifs/a|active|1|1700000000|1|0|0|");  // the size's low 32 bits
  EXPECT_EQ(Fields(list[1]), "|0|||0|0|0|0|0|");                          // members of the wrong kind read as defaults
  std::string token;
  request.GetResume(token);
  EXPECT_EQ(token, "next");

  ASSERT_TRUE(Parse(request, R"({"total":0})"));
  request.GetSnapsInfo(list);
  EXPECT_TRUE(list.empty());
  request.GetResume(token);
  EXPECT_EQ(token, "");
  for (const char* bad : {"", "{}", "not json", "[1,2]"}) EXPECT_FALSE(Parse(request, bad)) << bad;
}

TEST(ChangeListRequests, JobBodyIsExactAndStable) {
  IsilonJsonCreateChangeList request;
  request.Initialize(kServer, 10, 12);
  std::string uri, body, again;
  ASSERT_TRUE(request.BuildRequest(uri, body));
  EXPECT_EQ(uri, "https://127.0.0.59:8080/platform/3/job/jobs");
  EXPECT_EQ(body,
            "{\"changelistcreate_params\" : {\"newer_snapid\": 12, \"older_snapid\": 10, \"retain_repstate\": false}, "
            "\"allow_dup\": true, \"policy\": \"High\", \"priority\": 1, \"type\": \"ChangelistCreate\"}");
  request.BuildRequest(uri, again);
  EXPECT_EQ(body, again);
  request.Initialize(kServer, 18446744073709551615ULL, 9223372036854775808ULL);
  request.BuildRequest(uri, body);
  EXPECT_NE(body.find("\"newer_snapid\": 9223372036854775808, \"older_snapid\": 18446744073709551615,"),
            std::string::npos);
}

TEST(ChangeListRequests, StartAndStatusReplies) {
  IsilonJsonCreateChangeList start;
  unsigned long long jobId = 5;
  const std::pair<std::string, unsigned long long> replies[] = {
      {R"({"id":18446744073709551615})", 18446744073709551615ULL}, {"{}", 0}, {R"({"id":-3.5})", 0ULL - 3}};
  for (auto reply : replies) {  // a copy: the reader takes its text by reference
    EXPECT_TRUE(start.ParseResponse(reply.first, jobId)) << reply.first;
    EXPECT_EQ(jobId, reply.second) << reply.first;
  }

  IsilonJsonCreateChangeListJobStatus status;  // its URI: ChangeListTest
  status.Initialize(kServer);
  _IsilonChangeListCreateJobInfo info;
  EXPECT_TRUE(status.ParseResponse(R"({"jobs":[{"id":77,"state":"paused_user"},{"id":1,"state":"x"}]})", info));
  EXPECT_EQ(info.nJobId, 77u);
  EXPECT_EQ(info.strState, "paused_user");  // an empty job list: ChangeListTest
  EXPECT_FALSE(status.ParseResponse("{}", info));
  EXPECT_FALSE(status.ParseResponse("<html>", info));
}

TEST(ChangeListRequests, PageUriItemsAndReplacement) {
  IsilonJsonGetChangeList request;
  request.Initialize(kServer, 10, 12);
  // The first page's form: ChangeListTest, with the ids the session passes.
  std::string token = "abc+/=", uri;
  ASSERT_TRUE(request.BuildRequest(token, uri));
  EXPECT_EQ(uri, "https://127.0.0.59:8080/platform/3/snapshot/changelists/10_12/lins?resume=abc+/=");

  ASSERT_TRUE(Parse(request, R"({"lins":[{"id":"4295","path":"/ifs/a/f","size":18446744073709551615,"type":"regular",
    "atime":{"sec":9223372036854775808},"ctime":{"sec":2},"mtime":{"sec":3}},
    {"id":17,"path":"/ifs/a/g"}],"resume":"r1","total":4294967298})"));
  _IsilonChangeListInfo info;
  info.lstItems.resize(3);
  request.GetChangeList(info);
  EXPECT_EQ(info.strResume, "r1");
  EXPECT_EQ(info.nTotal, 2);
  ASSERT_EQ(info.lstItems.size(), 2u);
  EXPECT_EQ(Fields(info.lstItems.front()), "4295|/ifs/a/f|regular|18446744073709551615|9223372036854775808|2|3");
  EXPECT_EQ(Fields(info.lstItems.back()), "|/ifs/a/g||0|0|0|0");  // a numeric id reads as none

  // A page without "lins" hands over no items; without "resume" the walk ends.
  ASSERT_TRUE(Parse(request, R"({"resume":"r2","total":0})"));
  request.GetChangeList(info);
  EXPECT_TRUE(info.lstItems.empty());
  EXPECT_EQ(info.strResume, "r2");
  ASSERT_TRUE(Parse(request, R"({"lins":[{"id":"1"}]})"));
  request.GetChangeList(info);
  EXPECT_EQ(info.lstItems.size(), 1u);
  EXPECT_EQ(info.strResume, "");
  EXPECT_FALSE(Parse(request, "{}"));

  // Values of the wrong kind read as defaults instead of failing hard.
  ASSERT_TRUE(Parse(request, R"({"lins":[{"ctime":{"sec":"x"},"size":-1e400,"path":{}}],"total":"x"})"));
  request.GetChangeList(info);
  ASSERT_EQ(info.lstItems.size(), 1u);
  EXPECT_EQ(Fields(info.lstItems.back()), "|||9223372036854775808|0|0|0");  // -1e400 saturates
  EXPECT_EQ(info.nTotal, 0);
  // But an entry, a time or the entry list that is not a record (or list) fails the page.
  for (const char* reply : {R"({"lins":[7,{"id":"1"}],"total":1})", R"({"lins":[{"atime":5}],"total":1})",
                            R"({"lins":[{"mtime":[1]}],"total":1})", R"({"lins":"x","resume":"r"})"}) {
    EXPECT_FALSE(Parse(request, reply)) << reply;
  }
}

TEST(JobTypeRequests, ReadFirstTypeAndWriteOnlyEnabled) {
  IsilonGetChangeListCreateJobInfo get;  // the URIs: ChangeListTest
  get.Initialize(kServer);
  _ChangeListCreateJobInfo info;
  ASSERT_TRUE(get.ParseResponse(R"({"types":[{"allow_multiple_instances":true,"enabled":true,"policy":"LOW",
      "priority":4294967301},{"enabled":false,"priority":1}]})",
                                info));
  EXPECT_TRUE(info.bAllowMultipleInstances);
  EXPECT_TRUE(info.bEnabled);
  EXPECT_EQ(info.strPolicy, "LOW");
  EXPECT_EQ(info.nPriority, 5);
  ASSERT_TRUE(get.ParseResponse(R"({"types":[]})", info));
  EXPECT_TRUE(info.bEnabled);
  EXPECT_EQ(info.nPriority, 5);
  EXPECT_FALSE(get.ParseResponse("{}", info));

  IsilonSetChangeListCreateJobInfo set;
  set.Initialize(kServer);
  std::string uri, body;
  info.bEnabled = false;
  ASSERT_TRUE(set.BuildRequest(info, uri, body));
  EXPECT_EQ(body, "{\"enabled\": false}");
  info.bEnabled = true;
  set.BuildRequest(info, uri, body);
  EXPECT_EQ(body, "{\"enabled\": true}");
}

}  // namespace
