#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

namespace {

struct Read {
  bool found;
  std::string code, message;
  std::vector<_IsilonErrorInfo> list;
};

Read ReadError(const std::string& reply) {
  IsilonJsonBase request;
  std::string text = reply;
  Read r;
  r.found = request.ParseError(text);
  request.getError(r.code, r.message);
  request.getErrorList(r.list);
  return r;
}

TEST(ErrorReply, TextThatIsNotAnObjectIsAnInternalError) {
  for (const char* reply : {"", "<html><body>401 Unauthorized</body></html>", "{}", "[1,2]", "   ", "{\"a\":"}) {
    SCOPED_TRACE(reply);
    Read r = ReadError(reply);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.code, "Internal error");
    EXPECT_EQ(r.message, "Internal error");
    EXPECT_TRUE(r.list.empty());
  }
}

TEST(ErrorReply, FirstEntryBecomesTheErrorAndAllAreKept) {
  Read r = ReadError(R"({"errors":[{"code":"AEC_NOT_FOUND","message":"Share not found"},)"
                     R"({"code":"AEC_OTHER","message":"second"}]})");
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.code, "AEC_NOT_FOUND");
  EXPECT_EQ(r.message, "Share not found");
  ASSERT_EQ(r.list.size(), 2u);
  EXPECT_EQ(r.list[1].strCode, "AEC_OTHER");
  EXPECT_EQ(r.list[1].strMessage, "second");
}

TEST(ErrorReply, TopLevelCodeAndMessageWhenErrorsIsEmptyOrAbsent) {
  Read r = ReadError(R"({"errors":[],"message":"only a message"})");
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.code, "");
  EXPECT_EQ(r.message, "only a message");
  EXPECT_TRUE(r.list.empty());

  r = ReadError(R"({"code":"AEC_X","message":5})");
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.code, "AEC_X");
  EXPECT_EQ(r.message, "");
}

TEST(ErrorReply, ObjectWithoutAnyErrorFindsNothing) {
  Read r = ReadError(R"({"shares":[]})");
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.code, "");
  EXPECT_EQ(r.message, "");
}

TEST(ErrorReply, EntriesOfTheWrongKindStillYieldRecords) {
  Read r = ReadError(R"({"errors":[{"code":404,"message":"numeric code"},"text",7,{"other":1}]})");
  EXPECT_TRUE(r.found);
  ASSERT_EQ(r.list.size(), 4u);
  EXPECT_EQ(r.list[0].strCode, "");
  EXPECT_EQ(r.list[0].strMessage, "numeric code");
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(r.list[i].strCode, "");
    EXPECT_EQ(r.list[i].strMessage, "");
  }
  EXPECT_EQ(r.code, "");
  EXPECT_EQ(r.message, "numeric code");
}

TEST(ErrorReply, ASecondReplyReplacesTheFirst) {
  IsilonJsonBase request;
  std::string first = R"({"errors":[{"code":"A","message":"a"},{"code":"B","message":"b"}]})";
  std::string second = R"({"errors":[{"code":"C","message":"c"}]})";
  ASSERT_TRUE(request.ParseError(first));
  ASSERT_TRUE(request.ParseError(second));
  std::vector<_IsilonErrorInfo> list;
  request.getErrorList(list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].strCode, "C");
}

TEST(ErrorReply, TruncatedReplyKeepsWhatWasRead) {
  Read r = ReadError(R"({"errors":[{"code":"AEC_CONFLICT","message":"exists"}],"more":)");
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.code, "AEC_CONFLICT");
}

}  // namespace
