// The lines an operation writes when the cluster refuses its request, and when the refusal's
// code means the goal holds anyway: their texts and the log context each line carries.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/smb/SmbFixture.h"
#include "tests/support/LogCapture.h"

namespace {

class SmbRefusalLines : public SmbFixture {
 protected:
  SmbRefusalLines() : SmbFixture("127.0.0.24") {}

  // Level and context of every captured line whose message is `text`, as "level/context".
  static std::vector<std::string> Where(const ScopedLogCapture& log, const std::string& text) {
    std::vector<std::string> found;
    for (const CapturedLine& line : log.Lines()) {
      if (line.message == text) found.push_back(std::to_string(line.level) + "/" + std::to_string(line.context));
    }
    return found;
  }
};

TEST_F(SmbRefusalLines, RefusalsAndCodesThatCountAsDoneAreLoggedOnce) {
  ManageIsilon own(42);  // a log context of its own, to tell the lines apart
  own.SetFileServer(address());
  own.SetUser(user());
  own.SetPasswd(password());
  ASSERT_TRUE(own.CreateCIFSShare("data", "/ifs/data", "", "")) << LastMessage();
  const std::string server = address();
  const struct {
    const char* what;
    std::function<bool()> run;
    bool expected;
    std::string line;   // the refusal's line
    std::string where;  // its level/context
    bool countsAsDone;  // followed by "Treating this as success." with the session's context
  } rows[] = {
      {"create of a share that is there", [&] { return own.CreateCIFSShare("data", "/ifs/data", "", ""); }, true,
       "Failed to create cifs share on filer[" + server +
           "]. Error[AEC_CONFLICT]:[Share name 'data' already exists in zone 'System']",
       "-1/0", true},
      {"delete of a share that is gone", [&] { return own.DeleteCIFSShare("gone", "/ifs/gone", ""); }, true,
       "Failed to delete cifs share on filer[" + server + "]. Error[AEC_NOT_FOUND]:[SMB share 'gone' not found]",
       "-1/42", true},
      {"ACL of a share that is gone", [&] { return own.SetSMBACLs(_IsilonSMBACLs(), "gone", ""); }, false,
       "Failed to modify acl for Share [gone, ]on filer[" + server +
           "]. Error[AEC_NOT_FOUND]:[SMB share 'gone' not found]",
       "-1/42", false},
  };
  for (const auto& row : rows) {
    ScopedLogCapture log;
    const bool result = row.run();
    EXPECT_EQ(result, row.expected) << row.what;
    EXPECT_EQ(Where(log, row.line), std::vector<std::string>{row.where}) << row.what << "\n" << log.All();
    EXPECT_EQ(Where(log, "Treating this as success.").size(), row.countsAsDone ? 1u : 0u) << row.what;
    if (row.countsAsDone) {
      EXPECT_EQ(Where(log, "Treating this as success."), std::vector<std::string>{"0/42"});
    }
  }
  own.CloseConnection();
}

}  // namespace
