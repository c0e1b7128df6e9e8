#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

namespace {

// One request object reads every reply in turn: each reply must replace all the previous one left.
TEST(ErrorReply, EachShapeOfReply) {
  struct Case {
    const char* reply;
    bool found;
    const char* error;  // "code|message"
    const char* list;   // "code|message;" for each entry
  };
  std::vector<Case> cases = {
      {R"({"errors":[{"code":"AEC_NOT_FOUND","message":"Share not found"},{"code":"AEC_OTHER","message":"x"}]})", true,
       "AEC_NOT_FOUND|Share not found", "AEC_NOT_FOUND|Share not found;AEC_OTHER|x;"},
      // Cut off after the list, or followed by other text: not the cluster's error.
      {R"({"errors":[{"code":"AEC_CONFLICT","message":"exists"}],"more":)", false, "Internal error|Internal error", ""},
      {R"({"errors":[{"code":"AEC_CONFLICT","message":"exists"}]}x)", false, "Internal error|Internal error", ""},
      {"{\"errors\":[{\"code\":\"AEC_CONFLICT\",\"message\":\"exists\"}]} \n", true, "AEC_CONFLICT|exists",
       "AEC_CONFLICT|exists;"},
      // No entries: the top-level code and message, if any.
      {R"({"errors":[],"message":"only a message"})", true, "|only a message", ""},
      {R"({"code":"AEC_X","message":5})", true, "AEC_X|", ""},
      // Whole, but without an error: the reply itself is the reason.
      {R"({"shares":[]})", false, R"(Internal error|Json response :[{"shares":[]}] does not include any errors.)", ""},
      // Entries of the wrong kind still yield records.
      {R"({"errors":[{"code":404,"message":"numeric code"},"text",7,{"other":1}]})", true, "|numeric code",
       "|numeric code;|;|;|;"},
  };
  // Not an object at all, or an empty one.
  for (const char* text : {"", "<html><body>401 Unauthorized</body></html>", "{}", "[1,2]", "   ", "{\"a\":"}) {
    cases.insert(cases.begin() + 2, {text, false, "Internal error|Internal error", ""});
  }
  IsilonJsonBase request;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::string text = c.reply, code, message;
    EXPECT_EQ(c.found, request.ParseError(text));
    request.getError(code, message);
    EXPECT_EQ(c.error, code + "|" + message);
    std::vector<_IsilonErrorInfo> list;
    request.getErrorList(list);
    std::string entries;
    for (const _IsilonErrorInfo& e : list) entries += e.strCode + "|" + e.strMessage + ";";
    EXPECT_EQ(c.list, entries);
  }
}

}  // namespace
