#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "isilon/ManageIsilon.h"
#include "src/config/Config.h"
#include "src/config/Settings.h"
#include "tests/support/Registry.h"

namespace {

// One registry rewritten between lookups: each value is read afresh.
TEST(Config, TraceSwitchAndWaitLimits) {
  ScopedRegistry registry("");
  EXPECT_FALSE(GetRegYes("sTraceCurl"));
  // Yes only for values starting with Y.
  for (const char* value : {"Yes", "no", "1", "yellow", "true", "Y", ""}) {
    const bool yes = *value == 'Y' || *value == 'y';
    registry.Rewrite(std::string("[NAS]\nsTraceCurl = ") + value + "\n");
    EXPECT_EQ(yes, GetRegYes("sTraceCurl")) << value;
  }

  // Wait limits below one fall back to their defaults.
  registry.Rewrite("");
  EXPECT_EQ(isilon::Settings::FromRegistry().changeListWaitSeconds, 900);
  for (auto [value, read] : {std::pair<const char*, int>{"-5", 900}, {"0", 900}, {"1", 1}, {"30", 30}}) {
    registry.Rewrite(std::string("[~Tarvex]\nIsilonChangeListGenerationWaitTime = ") + value + "\n");
    EXPECT_EQ(isilon::Settings::FromRegistry().changeListWaitSeconds, read) << value;
  }
}

TEST(Config, InstanceSectionsAreSeparate) {
  ScopedRegistry registry("[~Tarvex]\nnKey = 1\n[~Tarvex/backup1]\nnKey = 2\nsName = agent\n");
  int value = 0;
  EXPECT_TRUE(MIGetRegInt(nullptr, "nKey", &value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(MIGetRegInt("backup1", "nKey", &value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(MIGetRegInt("other", "nKey", &value));

  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(MIGetRegStr(nullptr, "sName", buffer, sizeof buffer));
  // "agent" and its terminator need six bytes.
  EXPECT_FALSE(MIGetRegStr("backup1", "sName", buffer, 5));
  EXPECT_TRUE(MIGetRegStr("backup1", "sName", buffer, 6));
  EXPECT_STREQ(buffer, "agent");
}

}  // namespace
