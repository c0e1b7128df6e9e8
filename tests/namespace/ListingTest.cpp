// Directory pages and path attributes through the real transport against the simulator.
#include <gtest/gtest.h>

#include <climits>

#include "tests/namespace/NamespaceFixture.h"

namespace {

using isim::Fault;
using isim::ns::Status;

const char kDetail[] = "/?detail=name,owner,mode,type,size,mtime_val&sort=name&limit=";

std::vector<std::string> Names(const std::vector<_IsilonFileInfo>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.strName);
  return names;
}

class ListingTest : public NamespaceFixture {
 protected:
  ListingTest() : NamespaceFixture("127.0.0.40") {}
};

TEST_F(ListingTest, PagesFollowResumeInNameOrderWithEncodedPath) {
  const std::string dir = "/ifs/data/my dir#1%";
  AddFile(dir + "/b.txt", 10);
  // Sizes from 2^63 up stay unsigned; times keep their low 32 bits.
  AddFile(dir + "/a.txt", 9223372036854775813ull, "bob", "0600", 4294967296ull + 7);
  ASSERT_EQ(tree().AddDirectory(dir + "/sub"), Status::kOk);
  AddFile(dir + "/c d", 3);
  AddFile(dir + "/e", 4);

  std::vector<_IsilonFileInfo> all, files;
  std::string resume;
  int pages = 0;
  do {
    ASSERT_TRUE(session().GetFileList(files, dir, resume, 2)) << LastError().second;
    all.insert(all.end(), files.begin(), files.end());
  } while (!resume.empty() && ++pages < 10);
  EXPECT_EQ(pages, 2);
  EXPECT_EQ(Names(all), (std::vector<std::string>{"a.txt", "b.txt", "c d", "e", "sub"}));

  const _IsilonFileInfo& a = all[0];
  EXPECT_EQ(a.strPath + " " + a.strOwner + " " + a.strMode + " " + a.strType, dir + "/a.txt bob 0600 object");
  EXPECT_EQ(a.nSize, 9223372036854775813ull);
  EXPECT_EQ(a.nMtime, 7u);
  EXPECT_EQ(all[4].strType, "container");
  EXPECT_EQ(all[4].nSize, 0u);

  const auto sent = Sent("GET");
  ASSERT_EQ(sent.size(), 3u);
  const std::string first = std::string("/namespace/ifs/data/my%20dir%231%25") + kDetail + "2";
  EXPECT_EQ(sent[0].target, first);
  // The token goes back as received, after the same query.
  EXPECT_EQ(sent[1].target.compare(0, first.size() + 8, first + "&resume="), 0) << sent[1].target;

  // A trailing slash on the directory doubles the slash in every entry path.
  resume.clear();
  ASSERT_TRUE(session().GetFileList(files, dir + "/", resume, 999999999));
  ASSERT_EQ(files.size(), 5u);
  EXPECT_EQ(files[2].strPath, dir + "//c d");
  EXPECT_TRUE(resume.empty());
}

TEST_F(ListingTest, RefusedInputFailuresAndOddReplies) {
  AddFile("/ifs/data/one", 1);
  std::vector<_IsilonFileInfo> files(1);
  std::string resume;
  // Page sizes the cluster cannot take are refused before anything is sent, even the login.
  for (int limit : {0, -1, 1000000000, INT_MIN, INT_MAX}) {
    EXPECT_FALSE(session().GetFileList(files, "/ifs/data", resume, limit)) << limit;
    ExpectLastError("Internal error", "Invalid input parameters");
  }
  EXPECT_FALSE(session().GetFileList(files, "", resume, 10));
  EXPECT_EQ(server().requestLog().size(), 0u);

  // A missing directory: the cluster's error, files emptied, the token kept for a retry.
  resume = "";
  EXPECT_FALSE(session().GetFileList(files, "/ifs/nothing", resume, 10));
  EXPECT_EQ(LastError().first, "AEC_NOT_FOUND");
  EXPECT_TRUE(files.empty());
  resume = "not-a-token";
  EXPECT_FALSE(session().GetFileList(files, "/ifs/data", resume, 10));
  EXPECT_EQ(LastError().first, "AEC_BAD_REQUEST");
  EXPECT_EQ(resume, "not-a-token");

  // A reply that is not JSON.
  server().faults().add(Fault::replace("/namespace", 200, "<html>busy</html>"));
  resume.clear();
  EXPECT_FALSE(session().GetFileList(files, "/ifs/data", resume, 10));
  ExpectLastError("Internal Error", "Failed to parse json response:[<html>busy</html>]");

  // An empty page with a null token ends the listing.
  server().faults().add(Fault::replace("/namespace", 200, R"({"children":[],"resume":null})"));
  resume = "x";
  EXPECT_TRUE(session().GetFileList(files, "/ifs/data", resume, 10));
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(resume, "");
}

// "path|name|owner|mode|type|size|mtime" of each record.
std::vector<std::string> Records(const std::vector<_IsilonFileInfo>& files) {
  std::vector<std::string> rows;
  for (const auto& f : files) {
    rows.push_back(f.strPath + "|" + f.strName + "|" + f.strOwner + "|" + f.strMode + "|" + f.strType + "|" +
                   std::to_string(f.nSize) + "|" + std::to_string(f.nMtime));
  }
  return rows;
}

TEST_F(ListingTest, RecordsTakenOverFromTheLastPageReadAsFreshOnes) {
  // Each string of the second page is shorter than, as long as, or longer than the one the
  // record held before, and so is the path; then the other way round.
  AddFile("/ifs/data/long-dir/aaaa", 1, "carol", "0640", 10);
  AddFile("/ifs/data/long-dir/bb", 2, "bob", "0600", 20);
  AddFile("/ifs/data/long-dir/cccccc", 3, "al", "0755", 30);
  ASSERT_EQ(tree().AddDirectory("/ifs/data/long-dir/dd"), Status::kOk);
  AddFile("/ifs/data/d/aaa", 4, "bo", "0640", 40);
  AddFile("/ifs/data/d/bbbbb", 5, "bob", "06000", 50);
  ASSERT_EQ(tree().AddDirectory("/ifs/data/d/cccccc"), Status::kOk);
  AddFile("/ifs/data/d/dddddddd", 6, "carolyn", "0", 60);
  std::vector<_IsilonFileInfo> reused;
  for (const char* dir : {"/ifs/data/long-dir", "/ifs/data/d", "/ifs/data/long-dir", "/ifs/data/d"}) {
    SCOPED_TRACE(dir);
    std::vector<_IsilonFileInfo> fresh;
    std::string resume, again;
    ASSERT_TRUE(session().GetFileList(reused, dir, resume, 10)) << LastError().second;
    ASSERT_TRUE(session().GetFileList(fresh, dir, again, 10)) << LastError().second;
    ASSERT_EQ(fresh.size(), 4u);
    EXPECT_EQ(Records(reused), Records(fresh));
  }
  EXPECT_EQ(Records(reused)[1], "/ifs/data/d/bbbbb|bbbbb|bob|06000|object|5|50");
  EXPECT_EQ(Records(reused)[2], "/ifs/data/d/cccccc|cccccc|root|0755|container|0|" + std::to_string(reused[2].nMtime));
}

TEST_F(ListingTest, PagesNotInThePlainFormReadIntoTakenOverRecordsAsIntoFreshOnes) {
  // The fast reader leaves these to the general one; a record taken over from a full page must
  // not keep anything of what it held.
  AddFile("/ifs/data/x/full-name", 77, "carol", "0640", 70);
  const std::string plain = R"("name":"a","owner":"u","mode":"0644","type":"object")";
  const std::string entry = "{" + plain + R"(,"size":3,"mtime_val":5})";
  const std::string other = "{" + plain + R"(,"size":8,"mtime_val":9})";
  const std::string pages[] = {
      R"({"children":[{)" + plain + R"(,"mtime_val":5}]})",                                   // no size
      R"({"children":[{"name":"a","mode":"0644","type":"object","size":3,"mtime_val":5}]})",  // no owner
      R"({"children":[{)" + plain + R"(,"size":3,"size":4,"mtime_val":5}]})",                 // size twice
      R"({"children":[)" + entry + "," + entry + R"(],"children":[)" + other + "]}",          // the list twice
      R"({"children":[)" + entry + R"(],"resume":"t1","resume":"t2"})",                       // the token twice
  };
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    std::vector<_IsilonFileInfo> reused, fresh;
    std::string resume, again;
    ASSERT_TRUE(session().GetFileList(reused, "/ifs/data/x", resume, 10)) << LastError().second;
    ASSERT_EQ(reused.size(), 1u);
    server().faults().add(Fault::replace("/namespace", 200, page).count(2));
    resume.clear();
    const bool readReused = session().GetFileList(reused, "/ifs/data/x", resume, 10);
    const bool readFresh = session().GetFileList(fresh, "/ifs/data/x", again, 10);
    EXPECT_EQ(readReused, readFresh);
    EXPECT_EQ(Records(reused), Records(fresh));
    EXPECT_EQ(resume, again);
  }
}

TEST_F(ListingTest, ReadsFileAndDirectoryAttributes) {
  AddFile("/ifs/data/a b#%/file 1", 4096, "carol", "0640", 1700000123);
  _IsilonFileInfo info;
  ASSERT_TRUE(session().GetPathAttributes(info, "/ifs/data/a b#%/file 1")) << LastError().second;
  EXPECT_EQ(info.strName + "|" + info.strPath + "|" + info.strOwner + "|" + info.strMode + "|" + info.strType,
            "file 1|/ifs/data/a b#%/file 1|carol|0640|object");
  EXPECT_EQ(info.nSize, 4096u);
  EXPECT_EQ(info.nMtime, 1700000123u);
  EXPECT_EQ(LastSent().target, "/namespace/ifs/data/a%20b%23%25/file%201/?metadata");

  ASSERT_TRUE(session().GetPathAttributes(info, "/ifs/data/a b#%"));
  EXPECT_EQ(info.strType + " " + info.strName, "container a b#%");

  // Failures leave the caller's record alone.
  info.strName = "kept";
  EXPECT_FALSE(session().GetPathAttributes(info, "/ifs/data/none"));
  EXPECT_EQ(LastError().first, "AEC_NOT_FOUND");
  EXPECT_EQ(info.strName, "kept");
  EXPECT_FALSE(session().GetPathAttributes(info, ""));
  ExpectLastError("Internal error", "Invalid input parameters");
  server().faults().add(Fault::replace("/namespace", 200, "[]"));
  EXPECT_FALSE(session().GetPathAttributes(info, "/ifs/data"));
  ExpectLastError("Internal error", "Failed to parse json response:[[]]");
  EXPECT_EQ(info.strName, "kept");
}

TEST_F(ListingTest, OddAttributeRepliesAndUnopenableSession) {
  server().faults().add(Fault::replace(
      "/namespace", 200,
      R"({"attrs":[{"name":"size","value":18446744073709551615},{"name":"mtime_val","value":4294967301},)"
      R"({"name":"other","value":1},{"name":"owner","value":9},{"name":"type","value":"object"}]})"));
  _IsilonFileInfo info;
  ASSERT_TRUE(session().GetPathAttributes(info, "/ifs/x"));
  EXPECT_EQ(info.nSize, ULLONG_MAX);
  EXPECT_EQ(info.nMtime, 5u);
  EXPECT_EQ(info.strOwner + "|" + info.strType + "|" + info.strPath, "|object|/ifs/x");

  // An attribute that is not a record: the reply is not one of attributes.
  server().faults().add(Fault::replace("/namespace", 200, R"({"attrs":[{"name":"size","value":1},3]})"));
  info.strName = "kept";
  EXPECT_FALSE(session().GetPathAttributes(info, "/ifs/x"));
  EXPECT_EQ(info.strName, "kept");
  EXPECT_EQ(LastCode(), "Internal error");

  // Without "attrs" the record stays at its default, path included.
  server().faults().add(Fault::replace("/namespace", 200, R"({"other":1})"));
  ASSERT_TRUE(session().GetPathAttributes(info, "/ifs/x"));
  EXPECT_EQ(info.strPath + info.strType, "");

  ManageIsilon& wrong = WrongPasswordSession();
  EXPECT_FALSE(wrong.GetPathAttributes(info, "/ifs/x"));
  std::string code, message;
  wrong.GetLastError(code, message);
  EXPECT_EQ(code + ": " + message, "AEC_UNAUTHORIZED: Authorization failed: invalid username or password");
  // The listing keeps what the failed login left.
  std::vector<_IsilonFileInfo> files;
  std::string resume;
  EXPECT_FALSE(wrong.GetFileList(files, "/ifs", resume, 10));
  wrong.GetLastError(code, message);
  EXPECT_NE(code, "Internal error");
  EXPECT_FALSE(code.empty());
}

}  // namespace
